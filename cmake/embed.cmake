# Writes OUTPUT: a C++ source defining kWelcomeJpeg / kWelcomeJpegSize from the bytes of INPUT.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from ${NAME}; do not edit.\n#include \"wizard/welcome_picture.h\"\nnamespace kv {\nconst std::uint8_t kWelcomeJpeg[] = {\n${bytes}};\nconst std::size_t kWelcomeJpegSize = ${size};\n}  // namespace kv\n")

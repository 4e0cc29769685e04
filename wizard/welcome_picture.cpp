#include "wizard/welcome_picture.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace kv {

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void OnEmit(j_common_ptr info, int level) {
  if (level < 0) ++info->err->num_warnings;  // a warning; decoding goes on, nothing is printed
}
void OnMessage(j_common_ptr) {}
void OnFormat(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
void OnReset(j_common_ptr info) {
  info->err->num_warnings = 0;
  info->err->msg_code = 0;
}

// The library's standard error manager would bring in its message table and a formatted-output
// implementation only to print messages nobody sees; these handlers do what it does otherwise.
void InitErrors(jpeg_error_mgr* errors) {
  *errors = jpeg_error_mgr{};
  errors->error_exit = OnError;
  errors->emit_message = OnEmit;
  errors->output_message = OnMessage;
  errors->format_message = OnFormat;
  errors->reset_error_mgr = OnReset;
}

}  // namespace

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, Picture* picture) {
  *picture = Picture{};
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  InitErrors(&errors.base);
  info.err = &errors.base;
  // Everything that must survive a longjmp lives outside this frame's locals or in `picture`.
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    *picture = Picture{};
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  picture->width = static_cast<int>(info.output_width);
  picture->height = static_cast<int>(info.output_height);
  const std::size_t stride = std::size_t{info.output_width} * 3;
  picture->rgb.resize(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = picture->rgb.data() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace kv

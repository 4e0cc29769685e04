// The platform's plain C++ that both of its sides share: rich text read and written, the picture's
// resampling, and the owners of the platform's handles.
#include "platform/picture.h"
#include "platform/rich_text.h"
#include "platform/unique_handle.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

TEST(RichText, PlainTextOfDocuments) {
  const struct {
    const char* rtf;
    const char* text;
  } cases[] = {
      {"{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs18 Hello\\par World}", "Hello\r\nWorld"},
      {"{\\rtf1 a\\'e0\\'C9\\{\\}\\\\b}", "a\xe0\xc9{}\\b"},
      {"{\\rtf1{\\colortbl;\\red0\\green0\\blue0;}{\\*\\generator Pad;}Text}", "Text"},
      {"{\\rtf1{\\*\\unknown junk {nested}}ok}", "ok"},
      {"{\\rtf1{\\info{\\title T}}\\b0 bold\\b0\\tab x\\line y}", "bold\tx\r\ny"},
      {"{\\rtf1 \\u1040?a}", "?a"},                  // the stand-in after \uN is kept
      {"{\\rtf1 a\r\nb\\\nc}", "ab\r\nc"},           // raw line ends are nothing, escaped ones paragraphs
      {"{\\rtf1 a\\~b\\_c}", "a\xa0" "b-c"},
      {"{\\rtf1 {\\pict\\pngblip 89504e47}after}", "after"},
      {"{\\rtf1 unclosed {group", "unclosed group"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RtfToPlainText(c.rtf), c.text) << c.rtf;
}

// What the viewer is given as rich text reads back as the text it came from, each line end as one
// paragraph.
TEST(RichText, WrittenTextReadsBack) {
  const struct {
    std::string text, read_back;
  } cases[] = {
      {"Лицензия\r\nпункт 1\tдва", "Лицензия\r\nпункт 1\tдва"},
      {"{braces} and \\back\\slashes\\", "{braces} and \\back\\slashes\\"},
      {"lf\nonly\rcr\r\n\r\nend\r", "lf\r\nonly\r\ncr\r\n\r\nend\r\n"},
      {" leading blank and trailing ", " leading blank and trailing "},
      {"\xff\x80\xa0", "\xff\x80\xa0"},
  };
  for (const auto& c : cases) {
    const std::string rtf = Cp1251AsRichText(c.text);
    EXPECT_EQ(rtf.compare(0, 24, "{\\rtf1\\ansi\\ansicpg1251\\"), 0) << rtf;
    for (char ch : rtf) EXPECT_LT(static_cast<unsigned char>(ch), 0x80) << "7-bit only: " << rtf;
    EXPECT_EQ(RtfToPlainText(rtf), c.read_back) << rtf;
  }
}

Picture Filled(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Picture p{width, height, {}};
  for (int i = 0; i < width * height; ++i) p.rgb.insert(p.rgb.end(), {r, g, b});
  return p;
}

TEST(Picture, ResampledToEverySizeKeepsAUniformColour) {
  const struct {
    int from_width, from_height, width, height;
  } sizes[] = {{1, 1, 5, 3}, {417, 259, 802, 462}, {417, 259, 401, 231}, {417, 259, 501, 289},
               {3, 2, 1, 1}, {7, 5, 7, 5}};
  for (const auto& s : sizes) {
    const Picture out = Resampled(Filled(s.from_width, s.from_height, 10, 200, 255), s.width,
                                  s.height);
    ASSERT_EQ(out.width, s.width);
    ASSERT_EQ(out.height, s.height);
    ASSERT_EQ(out.rgb, Filled(s.width, s.height, 10, 200, 255).rgb)
        << s.from_width << "x" << s.from_height << " to " << s.width << "x" << s.height;
  }
}

TEST(Picture, ResampledAtTheSameSizeIsTheSameAndEnlargedRampIsSymmetric) {
  Picture source{5, 3, {}};
  for (int i = 0; i < 5 * 3 * 3; ++i) source.rgb.push_back(static_cast<std::uint8_t>(i * 37));
  EXPECT_EQ(Resampled(source, 5, 3).rgb, source.rgb);

  // Black to white, enlarged: the ends keep their colours, the values rise, and the result reads
  // the same from either end (pixel centres on pixel centres).
  Picture ramp{2, 1, {0, 0, 0, 255, 255, 255}};
  for (int width : {3, 4, 7, 10}) {
    const Picture out = Resampled(ramp, width, 2);
    for (int y = 0; y < 2; ++y) {
      const std::uint8_t* row = &out.rgb[static_cast<std::size_t>(y) * width * 3];
      EXPECT_EQ(row[0], 0) << width;
      EXPECT_EQ(row[(width - 1) * 3], 255) << width;
      for (int x = 1; x < width; ++x) EXPECT_LE(row[(x - 1) * 3], row[x * 3]) << width;
      for (int x = 0; x < width; ++x) {
        EXPECT_NEAR(row[x * 3] + row[(width - 1 - x) * 3], 255, 1) << width << " at " << x;
      }
    }
  }
}

// The sweeps check that every way out closes; here, that a moved owner closes nothing a second
// time and that a failed close is reported.
TEST(UniqueHandle, MovedOwnerClosesOnceAndAFailedCloseIsReported) {
  FakePlatform p;
  p.AddFile("C:\\a.txt", "a");
  FileHandle raw = kInvalidFile;
  {
    UniqueFile file(p, raw = p.OpenFile("C:\\a.txt", FileOpen::kOpenRead));
    UniqueFile assigned(p, p.OpenFile("C:\\a.txt", FileOpen::kOpenRead));
    assigned = std::move(file);  // closes the one it held
    EXPECT_FALSE(file);
    EXPECT_EQ(assigned.get(), raw);
    EXPECT_EQ(p.open_files(), 1);
  }
  EXPECT_EQ(p.open_files(), 0);
  EXPECT_FALSE(UniqueFile(p, raw).reset()) << "closed before: the close fails";
  EXPECT_TRUE(UniqueFile(p).reset()) << "holding nothing, nothing to close";
}

}  // namespace
}  // namespace kv::test

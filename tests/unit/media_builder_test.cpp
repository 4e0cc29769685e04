// The media builder: refusals, volume cutting, and media the installer unpacks again.
#include <filesystem>
#include <fstream>

#include "media/archive.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;

TEST(MediaBuilder, RefusesWhatTheInstallerCouldNotUnpack) {
  EXPECT_THROW(BuildArchive({}), MediaError);
  EXPECT_THROW(BuildArchive({{"a$b", "x"}}), MediaError);
  EXPECT_THROW(BuildArchive({{"sub\\a", "x"}}), MediaError);
  EXPECT_THROW(BuildArchive({{"CON", "x"}}), MediaError);
  EXPECT_THROW(BuildArchive({{"big", std::string(kMemberBufferSize + 1, 'a')}}), MediaError);
  EXPECT_NO_THROW(BuildArchive({{"edge", std::string(kMemberBufferSize, 'a')}}));
}

TEST(MediaBuilder, SameInputSameBytesInNameOrder) {
  const std::string a = BuildArchive({{"b.txt", "2"}, {"a.txt", "1"}});
  EXPECT_EQ(a, BuildArchive({{"a.txt", "1"}, {"b.txt", "2"}}));
  EXPECT_EQ(a.compare(0, 6, "a.txt$"), 0);
}

TEST(MediaBuilder, VolumesConcatenateToTheArchive) {
  const std::string archive(1000, 'x');
  auto even = CutVolumes(archive, 3, {});
  EXPECT_EQ(even[0].size(), 333u);
  EXPECT_EQ(even[0] + even[1] + even[2], archive);
  auto sized = CutVolumes(archive, 3, {100, 0});
  EXPECT_EQ(sized[0].size(), 100u);
  EXPECT_EQ(sized[1].size(), 0u);
  EXPECT_EQ(sized[2].size(), 900u);
  EXPECT_THROW(CutVolumes(archive, 2, {1, 2, 3}), MediaError);
  EXPECT_THROW(CutVolumes(archive, 2, {100, 100}), MediaError) << "sizes must add up";
}

TEST(MediaBuilder, DiskFoldersRoundTripThroughTheUnpacker) {
  const fs::path dir = fs::temp_directory_path() / ("mkmedia_test_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "product");
  for (const auto& [name, content] : SampleProduct()) {
    std::ofstream(dir / "product" / name, std::ios::binary) << content;
  }
  std::ofstream(dir / "licence.rtf") << "{\\rtf1 L}";
  MediaOptions o;
  o.product_dir = (dir / "product").string();
  o.out_dir = (dir / "out").string();
  o.licence = (dir / "licence.rtf").string();
  o.disks = true;
  const std::string report = WriteMedia(o);
  EXPECT_NE(report.find("6 members"), std::string::npos) << report;
  for (const char* f : {"disk1/xalarch.v0", "disk1/xalarch.v1", "disk1/licenz.doc",
                        "disk2/xalarch.v2", "disk3/xalarch.v3"}) {
    EXPECT_TRUE(fs::exists(dir / "out" / f)) << f;
  }
  std::string joined;
  for (const char* v : {"disk1/xalarch.v1", "disk2/xalarch.v2", "disk3/xalarch.v3"}) {
    std::ifstream in(dir / "out" / v, std::ios::binary);
    joined += std::string(std::istreambuf_iterator<char>(in), {});
  }
  FakePlatform p;
  p.AddFile("C:\\T\\a.pry", joined);
  p.SetCurrentDir("C:\\T");
  UnpackMembers(p, [] {}, "a.pry");
  for (const auto& [name, content] : SampleProduct()) EXPECT_EQ(p.Content("C:\\T\\" + name), content);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kv::test

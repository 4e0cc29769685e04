// The media builder: refusals, volume cutting, media the installer unpacks again, and the check.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "media/archive.h"
#include "tests/unit/test_support.h"
#include "tools/medium_check.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

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

// A product folder with the sample product and a licence, in a folder of its own.
struct Folder {
  Folder() {
    fs::remove_all(dir);
    fs::create_directories(dir / "product");
    for (const auto& [name, content] : SampleProduct()) Put("product/" + name, content);
    Put("licence.rtf", "{\\rtf1 L}");
  }
  ~Folder() { fs::remove_all(dir); }
  void Put(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary | std::ios::trunc) << content;
  }
  std::string Get(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  MediaOptions Options(const std::string& out) {
    MediaOptions o;
    o.product_dir = (dir / "product").string();
    o.out_dir = (dir / out).string();
    o.licence = (dir / "licence.rtf").string();
    return o;
  }
  MediumReport Check(const std::string& medium) { return CheckMedium((dir / medium).string()); }
  const fs::path dir = fs::temp_directory_path() / ("mkmedia_test_" + std::to_string(::getpid()));
};

std::string Errors(const MediumReport& r) {
  std::string all;
  for (const std::string& e : r.errors) all += e + "\n";
  return all;
}

TEST(MediaBuilder, DiskFoldersRoundTripThroughTheUnpacker) {
  Folder f;
  MediaOptions o = f.Options("out");
  o.disks = true;
  EXPECT_NE(WriteMedia(o).summary.find("full edition, 6 members"), std::string::npos);
  for (const char* file : {"disk1/xalarch.v0", "disk1/xalarch.v1", "disk1/licenz.doc",
                           "disk2/xalarch.v2", "disk3/xalarch.v3"}) {
    EXPECT_TRUE(fs::exists(f.dir / "out" / file)) << file;
  }
  FakePlatform p;
  p.AddFile("C:\\T\\a.pry", f.Get("out/disk1/xalarch.v1") + f.Get("out/disk2/xalarch.v2") +
                            f.Get("out/disk3/xalarch.v3"));
  p.SetCurrentDir("C:\\T");
  UnpackMembers(p, [] {}, "a.pry");
  for (const auto& [name, content] : SampleProduct()) {
    EXPECT_EQ(p.Content("C:\\T\\" + name), content);
  }
}

TEST(MediaBuilder, DisksAreFloppySizedAndAnArchiveThatDoesNotFitIsRefused) {
  Folder f;
  std::mt19937 noise(12);
  std::string data(1500000, '\0');
  for (char& c : data) c = static_cast<char>(noise());
  f.Put("product/xals2.hlp", data);
  f.Put("product/xals2.gid", data.substr(1000));
  MediaOptions o = f.Options("full");
  o.disks = true;
  EXPECT_THAT(WriteMedia(o).warnings, IsEmpty());
  const std::uint64_t v1 = f.Get("full/disk1/xalarch.v1").size();
  EXPECT_EQ(v1, kFloppyBytes - 512) << "the licence takes one allocation unit";
  EXPECT_EQ(f.Get("full/disk2/xalarch.v2").size(), kFloppyBytes);
  EXPECT_GT(f.Get("full/disk3/xalarch.v3").size(), 0u);
  const MediumReport full = f.Check("full");
  EXPECT_TRUE(full.WouldInstall()) << Errors(full);
  EXPECT_THAT(full.warnings, IsEmpty()) << "an archive near the full edition's progress scale";
  EXPECT_EQ(full.members.size(), 8u);

  o = f.Options("demo");
  o.disks = true;
  o.full_edition = false;
  EXPECT_THROW(WriteMedia(o), MediaError) << "does not fit on two disks";
  EXPECT_FALSE(fs::exists(f.dir / "demo")) << "nothing written";
  o.volume_sizes = {2000000};
  EXPECT_NO_THROW(WriteMedia(o)) << "sizes given: no floppy limit";
  EXPECT_EQ(f.Get("demo/disk1/xalarch.v1").size(), 2000000u);
}

// ---- The check ---------------------------------------------------------------------------------

TEST(MediumCheck, MediaFromTheBuilderInstallInFoldersAndOnDisks) {
  Folder f;
  for (const bool full : {true, false}) {
    for (const bool disks : {false, true}) {
      const std::string out = std::string(full ? "full" : "demo") + (disks ? "_disks" : "");
      MediaOptions o = f.Options(out);
      o.full_edition = full;
      o.disks = disks;
      WriteMedia(o);
      if (!full) f.Put(out + (disks ? "/disk1" : "") + "/xalarch.v3", "stray");
      const MediumReport r = f.Check(out);
      EXPECT_TRUE(r.WouldInstall()) << out << Errors(r);
      EXPECT_EQ(r.full_edition, full) << out;
      EXPECT_EQ(r.disks, disks) << out;
      EXPECT_EQ(r.volumes.size(), full ? 3u : 2u) << out;
      EXPECT_EQ(r.archive_size, BuildArchive(SampleProduct()).size()) << out;
      auto product = SampleProduct();
      std::sort(product.begin(), product.end());
      ASSERT_EQ(r.members.size(), product.size()) << out;
      for (std::size_t i = 0; i < product.size(); ++i) {
        EXPECT_EQ(r.members[i].name, product[i].first);
        EXPECT_EQ(r.members[i].unpacked, product[i].second.size());
      }
      EXPECT_EQ(r.notes.size(), full ? 1u : 2u) << out << ": no setup.exe; the demo's stray v3";
      ASSERT_EQ(r.warnings.size(), 1u) << out;
      EXPECT_NE(r.warnings[0].find("progress bar would stop"), std::string::npos) << out;
    }
  }
  MediaOptions o = f.Options("nolicence");
  o.licence.clear();
  EXPECT_THAT(WriteMedia(o).warnings, Contains(NoLicenceWarning()));
  EXPECT_THAT(f.Check("nolicence").warnings, Contains(NoLicenceWarning()));
  const char8_t shown[] = u8"\"Файл licenz.doc не обнаружен!\"";
  EXPECT_NE(NoLicenceWarning().find(reinterpret_cast<const char*>(shown)), std::string::npos)
      << "the installer's text, in the console's character set";
}

TEST(MediumCheck, DamagedTruncatedAndEscapingMediaFailAtTheirVolumeAndOffset) {
  Folder f;
  // The second volume starts with the third member's payload.
  auto product = SampleProduct();
  std::sort(product.begin(), product.end());
  std::vector<std::string> packed;
  for (const auto& [name, content] : product) packed.push_back(PackMember(name, content));
  const auto payload_at = [&](int i) {
    return packed[i].find('$', product[i].first.size() + 1) + 1;
  };
  const std::size_t third = packed[0].size() + packed[1].size() + payload_at(2);
  MediaOptions o = f.Options("good");
  o.full_edition = false;
  o.volume_sizes = {third};
  WriteMedia(o);
  const std::string v1 = f.Get("good/xalarch.v1"), v2 = f.Get("good/xalarch.v2");
  std::string damaged = v2;
  damaged[3] ^= 0x55;
  const std::string sub = PackMember("sub\\a.txt", "x"), a = PackMember("a.txt", "x");
  const struct {
    const char* what;
    std::string v1, v2;
    std::string error;  // "": installs
    std::size_t members;
  } cases[] = {
      {"damaged payload", v1, damaged, "xalarch.v2, byte 0: member 3", 2},
      {"truncated", v1, v2.substr(0, v2.size() - 5),
       "xalarch.v2, byte " + std::to_string(v2.size() - packed[5].size() + payload_at(5)) +
           ": member 6: xalbase.dat: the archive ends",
       5},
      {"trailing bytes", v1, v2 + "xyz",
       "xalarch.v2, byte " + std::to_string(v2.size()) + ": member 7", 6},
      {"member name in a volume cut", v1.substr(0, 3), v1.substr(3) + v2, "", 6},
      {"escaping name", PackMember("..\\evil.txt", "x"), "", "xalarch.v1, byte 0: member 1", 0},
      {"a folder the installer would not create", a, sub,
       "member 2 \"sub\\a.txt\" lies in a folder", 2},
      {"no second volume", v1, "-", "no xalarch.v2", 0},
      {"no first volume", "-", v2, "no xalarch.v1", 0},
  };
  for (const auto& c : cases) {
    fs::remove_all(f.dir / "bad");
    fs::create_directories(f.dir / "bad");
    if (c.v1 != "-") f.Put("bad/xalarch.v1", c.v1);
    if (c.v2 != "-") f.Put("bad/xalarch.v2", c.v2);
    const MediumReport r = f.Check("bad");
    EXPECT_EQ(r.members.size(), c.members) << c.what;
    if (c.error.empty()) {
      EXPECT_TRUE(r.WouldInstall()) << c.what << Errors(r);
    } else {
      ASSERT_EQ(r.errors.size(), 1u) << c.what << Errors(r);
      EXPECT_NE(r.errors[0].find(c.error), std::string::npos) << c.what << ": " << r.errors[0];
    }
  }
  // The same file twice: it installs, the later member wins, and the check says so.
  f.Put("bad/xalarch.v1", a + PackMember("A.TXT", "y"));
  f.Put("bad/xalarch.v2", "");
  EXPECT_THAT(f.Check("bad").warnings, Contains(HasSubstr("member 2 \"A.TXT\" replaces member 1")));
}

}  // namespace
}  // namespace kv::test

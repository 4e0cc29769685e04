// The media builder: refusals, volume cutting, media the installer unpacks again, and the check.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include <csignal>
#include <ctime>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "media/archive.h"
#include "tests/unit/test_support.h"
#include "tools/media_builder.h"
#include "tools/medium_check.h"
#include "tools/mkmedia_command.h"
#include "tools/signing.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(MediaBuilder, RefusesWhatTheInstallerCouldNotUnpack) {
  EXPECT_THROW(BuildArchive({}), MediaError);
  EXPECT_THROW(BuildArchive({{"a$b", "x"}}), MediaError);
  EXPECT_THROW(BuildArchive({{"sub\\a", "x"}}), MediaError);
  EXPECT_THROW(BuildArchive({{"CON", "x"}}), MediaError);
  EXPECT_THROW(BuildArchive({{"a.txt", "x"}, {"A.TXT", "y"}}), MediaError) << "one file on Windows";
  EXPECT_THROW(BuildArchive({{"\x90.txt", "x"}, {"\x80.txt", "y"}}), MediaError) << "Cyrillic dje";
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
  EXPECT_THROW(CutVolumes(archive, 3, {5000, 0, 0}), MediaError) << "more than the archive";
  EXPECT_EQ(CutVolumes(archive, 3, {(1ull << 32) + 1, 0})[0], archive) << "a size past 32 bits";
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

std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// What `dir` holds, every level, sorted; "-" when it does not exist.
std::vector<std::string> Listing(const fs::path& dir) {
  if (!fs::exists(dir)) return {"-"};
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    names.push_back(e.path().lexically_relative(dir).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// mkmedia's command line, "@x" naming x in the test folder.
int Mkmedia(Folder& f, std::vector<std::string> args, std::string* said = nullptr) {
  for (std::string& a : args) {
    if (a[0] == '@') a = (f.dir / a.substr(1)).string();
  }
  std::string out, err;
  const int code = RunMkmedia(args, out, err);
  if (said) *said = out + err;
  return code;
}

// Each row: what is there before, the command, its exit code, what the folder it names last
// holds after it, and what it says.
TEST(MediaBuilder, EachCommandExitsAndLeavesTheMediumAsked) {
  const std::vector<std::string> full = {"licenz.doc", "xalarch.v0", "xalarch.v1", "xalarch.v2",
                                         "xalarch.v3"};
  const std::vector<std::string> demo = {"xalarch.v1", "xalarch.v2"}, none = {"-"};
  const auto product = [](std::u8string name) {
    return [name](Folder& f) { f.Put("product/" + U8(name), "x"); };
  };
  const auto medium = [](std::function<void(Folder&)> then) {
    return [then](Folder& f) {
      Mkmedia(f, {"--licence", "@licence.rtf", "@product", "@m"});
      if (then) then(f);
    };
  };
  const std::vector<std::string> build = {"--demo", "@product", "@out"};
  const auto program = [](Folder& f) { f.Put("setup.exe", TinyProgram()); };
  rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  const struct {
    const char* what;
    std::function<void(Folder&)> before;
    std::vector<std::string> command;
    int code;
    std::vector<std::string> left;
    std::string said;
  } rows[] = {
      {"a new folder", {}, {"--licence", "@licence.rtf", "@product", "@out"}, 0, full, "6 members"},
      {"an empty folder", [](Folder& f) { fs::create_directory(f.dir / "out"); }, build, 0, demo, ""},
      {"--disks over a medium in one folder", medium({}), {"--disks", "@product", "@m"}, 1, full,
       "is not empty"},
      {"a Cyrillic name, listed", [&](Folder& f) {
         product(u8"Справка.txt")(f);
         medium({})(f);
       }, {"list", "@m"}, 0, full, U8(u8"Справка.txt\n")},
      {"two names Windows takes for one", [&](Folder& f) {
         product(u8"Справка.txt")(f);
         product(u8"СПРАВКА.TXT")(f);
       }, build, 1, none, "Windows takes both names for one file"},
      {"a name without Windows-1251", product(u8"naïve.txt"), build, 1, none, "U+00EF"},
      {"a name that is not UTF-8", [](Folder& f) { f.Put("product/\xC0.txt", ""); }, build, 1, none,
       "not UTF-8"},
      {"C:\\Kelvanto\\ and 247 bytes", product(std::u8string(247, u8'n')), build, 0, demo, ""},
      {"C:\\Kelvanto\\ and 248 bytes", product(std::u8string(248, u8'n')), build, 1, none,
       "260 characters"},
      {"COM and the byte B9", product(u8"COM№.txt"), build, 0, demo, "names a device"},
      {"an 8.3 alias", product(u8"UNINST~1.EXE"), build, 0, demo, "short 8.3 name"},
      {"--volumes past 64 bits", {}, {"--volumes", "99999999999999999999999,1", "@product", "@out"},
       2, none, "bad volume size"},
      {"--volumes with four sizes", {}, {"--volumes", "1,2,3,4", "@product", "@out"}, 2, none,
       "takes 2 or 3 sizes"},
      {"--pass-file without a key", {}, {"--pass-file", "@p", "@product", "@out"}, 2, none, ""},
      {"--one-file", program, {"--one-file", "--setup", "@setup.exe", "@product", "@out"}, 0,
       {"setup.exe"}, "inside"},
      {"--one-file without --setup", {}, {"--one-file", "@product", "@out"}, 2, none,
       "needs --setup"},
      {"--one-file with --disks", program,
       {"--one-file", "--disks", "--setup", "@setup.exe", "@product", "@out"}, 2, none, "do not apply"},
      {"--one-file with --volumes", program,
       {"--one-file", "--volumes", "1,2", "--setup", "@setup.exe", "@product", "@out"}, 2, none,
       "do not apply"},
      {"--one-file from a program that carries data already", [](Folder& f) {
         f.Put("setup.exe", TinyProgram() + "overlay");
       }, {"--one-file", "--setup", "@setup.exe", "@product", "@out"}, 1, none, "after its last section"},
      {"an empty output folder, run in an empty folder", [](Folder& f) {
         fs::create_directory(f.dir / "here");
         fs::current_path(f.dir / "here");
       }, {"--demo", "@product", ""}, 2, {}, "give a product folder and an output folder"},
      {"a marker and a volume named with a trailing blank and dot", medium([](Folder& f) {
         fs::rename(f.dir / "m/xalarch.v0", f.dir / "m/xalarch.v0 ");
         fs::rename(f.dir / "m/xalarch.v2", f.dir / "m/xalarch.v2.");
       }), {"check", "@m"}, 1, {"licenz.doc", "xalarch.v0 ", "xalarch.v1", "xalarch.v2.", "xalarch.v3"},
       "no xalarch.v2: the installer would ask"},
      {"a 3 GiB licence", medium([](Folder& f) { fs::resize_file(f.dir / "m/licenz.doc", 3ull << 30); }),
       {"check", "@m"}, 0, full, "licenz.doc has 3221225472 bytes, more than the 268435456"},
      {"an empty licence", medium([](Folder& f) { fs::resize_file(f.dir / "m/licenz.doc", 0); }),
       {"check", "@m"}, 0, full, "licenz.doc is empty"},
      {"a member too long", [](Folder& f) {
         fs::create_directory(f.dir / "m");
         f.Put("m/xalarch.v1", PackMember(std::string(248, 'n'), "x"));
         f.Put("m/xalarch.v2", "");
       }, {"check", "@m"}, 1, demo, "its path would have 260 characters"},
      {"a licence above what the installer loads",
       [](Folder& f) { fs::resize_file(f.dir / "licence.rtf", kLicenceLoadLimit + 1); },
       {"--licence", "@licence.rtf", "@product", "@out"}, 1, none,
       "more than the " + std::to_string(kLicenceLoadLimit)},
      {"a licence copy the disk does not take", [&](Folder& f) {
         f.Put("licence.rtf", std::string(1 << 20, 'L'));
         std::signal(SIGXFSZ, SIG_IGN);
         const rlimit small = {1 << 19, limit.rlim_max};
         setrlimit(RLIMIT_FSIZE, &small);
       }, {"--licence", "@licence.rtf", "@product", "@out"}, 1, none, "cannot write /"},
  };
  const fs::path was = fs::current_path();
  for (const auto& row : rows) {
    Folder f;
    if (row.before) row.before(f);
    std::string said;
    EXPECT_EQ(Mkmedia(f, row.command, &said), row.code) << row.what << ": " << said;
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::string& last = row.command.back();
    EXPECT_EQ(Listing(last.empty() ? fs::current_path() : f.dir / last.substr(1)), row.left)
        << row.what;
    fs::current_path(was);
    EXPECT_THAT(said, HasSubstr(row.said)) << row.what;
  }
}

// A one-file medium: check and list read it as the installer does; a changed or missing byte is
// found; the same inputs give the same file.
TEST(OneFileMedium, CheckAndListReadItAndFindADamagedCopy) {
  Folder f;
  f.Put("setup.exe", TinyProgram());
  for (const bool full : {true, false}) {
    MediaOptions o = f.Options(full ? "full" : "demo");
    o.full_edition = full;
    o.one_file = true;
    o.setup_exe = (f.dir / "setup.exe").string();
    WriteMedia(o);
    const std::string medium = (full ? "full" : "demo") + std::string("/setup.exe");
    const MediumReport r = f.Check(medium);
    EXPECT_TRUE(r.WouldInstall()) << Errors(r);
    EXPECT_TRUE(r.one_file && r.sealed);
    EXPECT_EQ(r.full_edition, full);
    EXPECT_EQ(r.seal.entries.size(), full ? 3u : 1u) << "the archive, the marker, the licence";
    ASSERT_EQ(r.members.size(), SampleProduct().size());
    std::string said;
    EXPECT_EQ(Mkmedia(f, {"list", "@" + medium}, &said), 0);
    EXPECT_THAT(said, HasSubstr("kelvanto.exe"));

    o.out_dir = (f.dir / "again").string();
    WriteMedia(o);
    EXPECT_EQ(f.Get("again/setup.exe"), f.Get(medium)) << "reproducible";
    fs::remove_all(f.dir / "again");

    const std::string file = f.Get(medium);
    f.Put("changed.exe", file.substr(0, 0x800) + char(file[0x800] ^ 1) + file.substr(0x801));
    EXPECT_THAT(Errors(f.Check("changed.exe")),
                HasSubstr("xalarch.v1 does not match the seal in setup.exe"));
    f.Put("short.exe", file.substr(0, file.size() - 1));
    EXPECT_THAT(Errors(f.Check("short.exe")), HasSubstr("is cut short or damaged"));
    EXPECT_EQ(Mkmedia(f, {"check", "@short.exe"}), 1);
  }
  EXPECT_THAT(Errors(f.Check("setup.exe")), HasSubstr("carries no medium"));
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

// One medium per side of each rule: the check's verdict must be what the installer does with
// the same bytes (run on the fake machine), and the builder must refuse what the check refuses.
TEST(MediumCheck, AgreesWithTheInstallerOnEachSideOfEveryRule) {
  Folder f;
  const std::vector<ProductFile> product = SampleProduct();
  std::string base;
  for (const auto& [name, content] : product) base += PackMember(name, content);
  const struct {
    const char* member;  // added after the product
    bool installs;
  } cases[] = {
      {"extra.txt", true},     {"extra?.txt", false},  {"extra*.txt", false},
      {"extra<.txt", false},   {"extra>.txt", false},  {"extra|.txt", false},
      {"extra\".txt", false}, {"xalarch.pry", false}, {"XALARCH.PRY", false},
      {"xalarch.pry.", false}, {"xalarch.prx", true},  {"\xC6\xF3\xEA.txt", true},
  };
  for (const auto& c : cases) {
    const std::string archive = base + PackMember(c.member, "x");
    fs::remove_all(f.dir / "m");
    fs::create_directories(f.dir / "m");
    f.Put("m/xalarch.v1", archive);
    f.Put("m/xalarch.v2", "");
    const MediumReport r = f.Check("m");
    EXPECT_EQ(r.WouldInstall(), c.installs) << c.member << Errors(r);

    Installer t;
    t.p.AddFile("C:\\MEDIUM\\xalarch.v1", archive);
    t.p.AddFile("C:\\MEDIUM\\xalarch.v2", "");
    t.Install();
    EXPECT_EQ(t.ctx.WizardState == 6 && t.ctx.StepOk, c.installs) << c.member;
    EXPECT_EQ(t.BoxTexts().empty(), c.installs) << c.member;

    std::vector<ProductFile> files = product;
    files.emplace_back(c.member, "x");
    if (c.installs) {
      EXPECT_NO_THROW(BuildArchive(files)) << c.member;
    } else {
      EXPECT_THROW(BuildArchive(files), MediaError) << c.member;
    }
  }
  // Volumes named in capitals, as a FAT floppy may show them: the installer finds them.
  fs::remove_all(f.dir / "m");
  fs::create_directories(f.dir / "m");
  f.Put("m/XALARCH.V1", base);
  f.Put("m/XALARCH.V2", "");
  EXPECT_TRUE(f.Check("m").WouldInstall()) << Errors(f.Check("m"));
  Installer t;
  t.p.AddFile("C:\\MEDIUM\\XALARCH.V1", base);
  t.p.AddFile("C:\\MEDIUM\\XALARCH.V2", "");
  t.Install();
  EXPECT_EQ(t.ctx.WizardState, 6);
}

TEST(MediumCheck, TheThirdVolumeIsLookedForInTheDiskInTheDrive) {
  Folder f;
  const std::string archive = BuildArchive(SampleProduct());
  const std::vector<std::string> v = CutVolumes(archive, 3, {});
  const struct {
    const char* what;
    const char* v2_on;  // the disk folders that hold each volume
    const char* v3_on;
    bool installs;
  } cases[] = {
      {"each on its disk", "disk2", "disk3", true},
      {"the third beside the second", "disk2", "disk2", true},
      {"both on the first disk", "disk1", "disk1", true},
      {"the third on the first disk, after the second disk went in", "disk2", "disk1", false},
      {"the third on the second disk, which is never asked for", "disk1", "disk2", false},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::vector<ProductFile>> disks = {
        {"disk1", {{"xalarch.v0", ""}, {"licenz.doc", "{\\rtf1 L}"}, {"xalarch.v1", v[0]}}}};
    disks[c.v2_on].emplace_back("xalarch.v2", v[1]);
    disks[c.v3_on].emplace_back("xalarch.v3", v[2]);
    fs::remove_all(f.dir / "d");
    for (const char* disk : {"disk1", "disk2", "disk3"}) {
      fs::create_directories(f.dir / "d" / disk);
      for (const auto& [name, content] : disks[disk]) f.Put("d/" + std::string(disk) + "/" + name, content);
    }
    const MediumReport r = f.Check("d");
    EXPECT_EQ(r.WouldInstall(), c.installs) << c.what << Errors(r);
    if (!c.installs) {
      EXPECT_THAT(Errors(r), HasSubstr("no xalarch.v3")) << c.what;
    }

    // The installer, with a user who puts in the disk each prompt asks for, and cancels when
    // the volume is not there either.
    Installer t;
    const auto insert = [&](const std::string& disk) {
      for (const char* name : {"xalarch.v0", "licenz.doc", "xalarch.v1", "xalarch.v2", "xalarch.v3"}) {
        t.p.EraseFile(std::string("C:\\MEDIUM\\") + name);
      }
      for (const auto& [name, content] : disks[disk]) t.p.AddFile("C:\\MEDIUM\\" + name, content);
    };
    insert("disk1");
    std::string asked;
    t.p.answer = [&](const FakePlatform::Box& box) {
      if (box.text == asked) return kIdCancel;
      asked = box.text;
      insert(box.text == "Вставьте диск 2:" ? "disk2" : "disk3");
      return kIdOk;
    };
    t.Install();
    EXPECT_EQ(t.ctx.WizardState == 6, c.installs) << c.what;
  }
}

TEST(MediumCheck, LicenceDiskUseProductSetAndCopySteps) {
  Folder f;
  // A licence that never ends: the check reads only regular files, and an unreadable licence is
  // what the installer reports and goes past.
  MediaOptions o = f.Options("fifo");
  WriteMedia(o);
  fs::remove(f.dir / "fifo/licenz.doc");
  fs::create_symlink("/dev/zero", f.dir / "fifo/licenz.doc");
  MediumReport r = f.Check("fifo");
  EXPECT_TRUE(r.WouldInstall()) << Errors(r);
  EXPECT_THAT(r.warnings, Contains(HasSubstr("licenz.doc cannot be read")));
  EXPECT_THAT(r.warnings, Not(Contains(HasSubstr("product's files"))));
  ASSERT_EQ(::mkfifo((f.dir / "fifo/pipe").c_str(), 0600), 0);
  fs::rename(f.dir / "fifo/pipe", f.dir / "fifo/xalarch.v3");
  EXPECT_THAT(Errors(f.Check("fifo")), HasSubstr("xalarch.v3 is not a regular file"));
  EXPECT_THROW(WriteMedia(o), MediaError) << "an output folder that holds anything";
  EXPECT_TRUE(fs::is_fifo(f.dir / "fifo/xalarch.v3")) << "left as it was, not written through";
  EXPECT_THAT(r.warnings, Not(Contains(HasSubstr("at its peak"))));
  EXPECT_EQ(r.peak_disk_use, r.archive_size + 6 * 3000 + 100 * (7 + 12 + 17 + 22 + 27 + 32));

  // The archive and the unpacked files together above the free space the installer asks for.
  std::mt19937 noise(5);
  std::string data(9000000, '\0');
  for (char& c : data) c = static_cast<char>(noise());
  f.Put("product/xali.dac", data);
  f.Put("product/extra.txt", "x");
  fs::remove(f.dir / "product/kelvanto.exe");
  WriteMedia(f.Options("big"));
  r = f.Check("big");
  EXPECT_TRUE(r.WouldInstall()) << Errors(r);
  EXPECT_GT(r.peak_disk_use, 18000000u);
  EXPECT_THAT(r.warnings, Contains(HasSubstr("bytes at its peak")));
  EXPECT_THAT(r.warnings, Contains(HasSubstr("product's files: \"extra.txt\"")));
  EXPECT_THAT(r.warnings, Contains(HasSubstr("no member kelvanto.exe")));
  EXPECT_THAT(r.warnings, Not(Contains(HasSubstr("no member Uninstall.exe"))));

  // The copy's own count of its progress steps, on volumes around a chunk's size.
  for (const std::uint64_t first : {0u, 2047u, 2048u, 2049u}) {
    Installer t;
    t.p.AddFile("C:\\MEDIUM\\xalarch.v1", std::string(first, 'a'));
    t.p.AddFile("C:\\MEDIUM\\xalarch.v2", "");
    t.ToFolderPage();
    t.ctx.TargetDir = "C:\\Kelvanto\\";
    t.p.AddFolder("C:\\Kelvanto");
    t.form->JoinVolumes();
    fs::remove_all(f.dir / "s");
    fs::create_directories(f.dir / "s");
    f.Put("s/xalarch.v1", std::string(first, 'a'));
    f.Put("s/xalarch.v2", "");
    EXPECT_EQ(f.Check("s").copy_steps, static_cast<std::uint64_t>(t.view[Ctl::ProgressBar1].position))
        << first;
  }
}

// ---- Signing -----------------------------------------------------------------------------------

TEST(MediaSigning, SignsReproduciblyAndTheCheckVerifiesAndNamesTheSigner) {
  if (!ProgramAvailable("osslsigncode") || !ProgramAvailable("openssl")) {
    GTEST_SKIP() << "osslsigncode and openssl are installed by scripts/setup";
  }
  Folder f;
  f.Put("setup.exe", TinyProgram());
  const std::string cert = (f.dir / "cert.pem").string(), key = (f.dir / "key.pem").string();
  ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "
                         "/CN=Test\\ Vendor -keyout " + key + " -out " + cert + " 2>/dev/null")
                            .c_str()),
            0);
  EXPECT_EQ(ReadPeSignature((f.dir / "setup.exe").string()), PeSignature::kUnsigned);
  MediaOptions o = f.Options("one");
  o.setup_exe = (f.dir / "licence.rtf").string();
  EXPECT_THROW(WriteMedia(o), MediaError) << "not a program";
  o.setup_exe = (f.dir / "setup.exe").string();
  WriteMedia(o);
  EXPECT_THAT(f.Check("one").notes, Contains(HasSubstr("setup.exe is not signed")));
  EXPECT_THAT(f.Check("one").notes, Contains(HasSubstr("sealed but not signed")));

  o.cert = cert;
  o.key = key;
  o.signing_time = 1700000000;
  fs::remove_all(f.dir / "one");
  WriteMedia(o);
  o.out_dir = (f.dir / "two").string();
  WriteMedia(o);
  const std::string signed_setup = f.Get("one/setup.exe");
  EXPECT_EQ(ReadPeSignature((f.dir / "one/setup.exe").string()), PeSignature::kSigned);
  EXPECT_EQ(signed_setup, f.Get("two/setup.exe")) << "the same inputs, the same bytes";
  MediumReport r = f.Check("one");
  EXPECT_TRUE(r.WouldInstall()) << Errors(r);
  EXPECT_EQ(r.signer, "/CN=Test Vendor");
  EXPECT_THAT(FormatCheck(r), HasSubstr(", setup.exe signed by /CN=Test Vendor, every file sealed\n"));
  ASSERT_EQ(r.seal.entries.size(), 5u) << "three volumes, the marker and the licence";

  // Each file the installer reads, changed by one byte or taken from another medium, is named;
  // the medium is put back after each.
  o.product_dir = (f.dir / "product").string();
  f.Put("product/other.dat", "another product's file");
  o.out_dir = (f.dir / "other").string();
  WriteMedia(o);
  for (const char* name : {"xalarch.v1", "xalarch.v3", "licenz.doc", "xalarch.v0"}) {
    for (const bool swap : {false, true}) {
      const std::string kept = f.Get(std::string("one/") + name);
      std::string bad = swap ? f.Get(std::string("other/") + name) : kept + "x";
      if (bad == kept) bad += "x";
      f.Put(std::string("one/") + name, bad);
      EXPECT_THAT(Errors(f.Check("one")),
                  HasSubstr(std::string(name) + " does not match the seal in setup.exe"))
          << name << (swap ? " from another medium" : " changed");
      f.Put(std::string("one/") + name, kept);
    }
  }
  fs::remove(f.dir / "one/xalarch.v0");
  EXPECT_THAT(Errors(f.Check("one")), HasSubstr("xalarch.v0 does not match the seal"));
  f.Put("one/xalarch.v0", "");
  EXPECT_TRUE(f.Check("one").WouldInstall());

  std::string changed = signed_setup;
  changed[0x201] ^= 1;  // in the code, after signing
  f.Put("one/setup.exe", changed);
  r = f.Check("one");
  EXPECT_FALSE(r.WouldInstall());
  EXPECT_THAT(Errors(r), HasSubstr("setup.exe's signature does not verify: the file was changed"));

  // A one-file medium: the signature covers the medium inside, and the same inputs give the
  // same signed file.
  o.one_file = true;
  o.setup_exe = (f.dir / "setup.exe").string();
  f.Put("setup.exe", TinyProgram());
  for (const char* out : {"single", "single2"}) {
    o.out_dir = (f.dir / out).string();
    WriteMedia(o);
  }
  EXPECT_EQ(f.Get("single/setup.exe"), f.Get("single2/setup.exe"));
  r = f.Check("single/setup.exe");
  EXPECT_TRUE(r.WouldInstall()) << Errors(r);
  EXPECT_EQ(r.signer, "/CN=Test Vendor");
  changed = f.Get("single/setup.exe");
  changed[TinyProgram().size() + 10] ^= 1;  // in the archive
  f.Put("single/setup.exe", changed);
  EXPECT_THAT(Errors(f.Check("single/setup.exe")),
              HasSubstr("setup.exe's signature does not verify: the file was changed"));
  o.one_file = false;

  // Without osslsigncode: said so, and nothing written.
  const std::string path = std::getenv("PATH");
  setenv("PATH", (f.dir / "none").c_str(), 1);
  o.out_dir = (f.dir / "three").string();
  try {
    WriteMedia(o);
    ADD_FAILURE() << "signed without osslsigncode";
  } catch (const MediaError& e) {
    EXPECT_THAT(e.what(), HasSubstr("osslsigncode is not installed"));
  }
  setenv("PATH", path.c_str(), 1);
  EXPECT_FALSE(fs::exists(f.dir / "three"));
}

// Certificates out of their dates, an encrypted key, helpers looked for where they may not be,
// and the scratch folder of old planted with links.
TEST(MediaSigning, EachSigningCaseExitsAndLeavesTheMediumAsked) {
  if (!ProgramAvailable("osslsigncode") || !ProgramAvailable("openssl")) {
    GTEST_SKIP() << "osslsigncode and openssl are installed by scripts/setup";
  }
  Folder f;
  f.Put("setup.exe", TinyProgram());
  f.Put("pass", "secret\n");
  // NAME FROM TO ISSUER EXTENSIONS...: certificates and keys (tests/e2e/test-pki).
  const auto make = [&](const std::string& certificates) {
    return std::system((std::string(KV_SOURCE_DIR) + "/tests/e2e/test-pki " + f.dir.string() +
                        " " + certificates).c_str());
  };
  const std::string ever = "20200101000000Z 20400101000000Z ";
  ASSERT_EQ(make("old 20200101000000Z 20210101000000Z '' '' "
                 "new 20400101000000Z 20410101000000Z '' '' now " + ever + "'' '' root " + ever + "'' ca_cert int " + ever + "root ca_cert "
                 "leaf " + ever + "int code tsa " + ever + "root tsa && cd " + f.dir.string() +
                 " && openssl rsa -in now.key -aes256 -passout pass:secret -out locked.key "
                 "2>/dev/null && cat int.pem root.pem > chain.pem"),
            0);
  // A time-stamping server of the test's own on a free port, stopped when the test ends.
  const std::string server = std::string(KV_SOURCE_DIR) + "/tests/e2e/timestamp-server";
  ASSERT_EQ(std::system(("cd " + f.dir.string() + " && { python3 " + server +
                         " port tsa.cnf tsa.key tsa.pem root.pem & echo $! > server.pid; }")
                            .c_str()),
            0);
  struct Stop {
    fs::path pid;
    ~Stop() {
      std::ifstream in(pid);
      pid_t server = 0;
      if (in >> server && server > 0) kill(server, SIGTERM);
    }
  } stop{f.dir / "server.pid"};
  for (int i = 0; i < 100 && !fs::exists(f.dir / "port"); ++i) usleep(50000);
  ASSERT_TRUE(fs::exists(f.dir / "port")) << "the time-stamping server did not start";
  const std::string tsa = "http://127.0.0.1:" + f.Get("port");
  fs::create_directories(f.dir / "tools");
  fs::create_symlink(FindProgram("osslsigncode"), f.dir / "tools/osslsigncode");
  const std::vector<std::string> signed_full = {"licenz.doc", "setup.exe",  "xalarch.v0",
                                                "xalarch.v1", "xalarch.v2", "xalarch.v3"};
  const auto sign = [](const char* cert, const char* key, std::vector<std::string> more = {}) {
    more.insert(more.end(), {"--licence", "@licence.rtf", "--setup", "@setup.exe", "--cert", cert,
                             "--key", key, "@product", "@out"});
    return more;
  };
  // An osslsigncode that, while the builder signs, plants a link to a file of the user's where
  // the first volume is to be written.
  f.Put("victim", "the user's");
  fs::create_directories(f.dir / "planting");
  f.Put("planting/osslsigncode", "#!/bin/sh\nmkdir -p " + (f.dir / "out").string() + " && ln -s " +
                                     (f.dir / "victim").string() + " " +
                                     (f.dir / "out/xalarch.v1").string() + " 2>/dev/null\nexec " +
                                     FindProgram("osslsigncode").string() + " \"$@\"\n");
  fs::permissions(f.dir / "planting/osslsigncode", fs::perms::owner_all);
  std::vector<std::string> unlocked = sign("@now.pem", "@locked.key");
  unlocked.insert(unlocked.begin(), {"--pass-file", "@pass"});
  const std::string path = std::getenv("PATH");
  const struct {
    const char* what;
    std::vector<std::string> command;
    std::string path;  // PATH, when not the test's own
    int code;
    std::vector<std::string> left;
    std::string said;
    std::string checked = "";  // what `check` then says of the medium
  } rows[] = {
      {"expired", sign("@old.pem", "@old.key"), "", 0, signed_full,
       "/CN=old has expired (valid from Jan  1 00:00:00 2020 GMT to Jan  1 00:00:00 2021 GMT)"},
      {"a chain up to a root it carries", sign("@leaf.pem", "@leaf.key", {"--chain", "@chain.pem"}),
       "", 0, signed_full, "(signed)",
       "setup.exe is signed by /CN=leaf (issued by /CN=int), whose root certificate /CN=root this "
       "system does not trust"},
      {"a chain short of its root", sign("@leaf.pem", "@leaf.key", {"--chain", "@int.pem"}), "", 1,
       {"-"}, "lead to no root certificate"},
      {"a timestamp", sign("@leaf.pem", "@leaf.key", {"--chain", "@chain.pem", "--timestamp", tsa}),
       "", 0, signed_full, "(signed)", " by /CN=tsa, whose root certificate this system does not"},
      {"a timestamp server that does not answer",
       sign("@now.pem", "@now.key", {"--timestamp", "http://127.0.0.1:1"}), "", 1, {"-"},
       "Failed to get data from http://127.0.0.1:1"},
      {"--chain without --cert", {"--chain", "@chain.pem", "@product", "@out"}, "", 2, {"-"},
       "--chain and --timestamp go with --cert and --key"},
      {"not yet valid", sign("@new.pem", "@new.key"), "", 0, signed_full, "/CN=new is not yet valid"},
      {"an encrypted key", sign("@now.pem", "@locked.key"), "", 1, {"-"},
       "osslsigncode says: Failed to decode private key file: " + (f.dir / "locked.key").string() +
           " (Wrong password?) (an encrypted key: give the file that holds its passphrase with "
           "--pass-file)\n"},
      {"an encrypted key and its passphrase", unlocked, "", 0, signed_full, "(signed)"},
      {"a link planted in the output folder meanwhile", sign("@now.pem", "@now.key"),
       (f.dir / "planting").string() + ":" + path, 1, {"xalarch.v1"},
       "xalarch.v1 appeared while the medium was written"},
      {"no openssl to verify with", sign("@now.pem", "@now.key"), (f.dir / "tools").string(), 1,
       {"-"}, "openssl is not installed"},
  };
  for (const auto& row : rows) {
    fs::remove_all(f.dir / "out");
    setenv("PATH", (row.path.empty() ? path : row.path).c_str(), 1);
    std::string said;
    EXPECT_EQ(Mkmedia(f, row.command, &said), row.code) << row.what << ": " << said;
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(Listing(f.dir / "out"), row.left) << row.what;
    EXPECT_THAT(said, HasSubstr(row.said)) << row.what;
    if (!row.checked.empty()) {
      EXPECT_EQ(Mkmedia(f, {"check", "@out"}, &said), 0) << row.what << ": " << said;
      EXPECT_THAT(said, HasSubstr(row.checked)) << row.what;
    }
  }

  // A byte of the signer's signature value changed (the end of the signature, or of its
  // timestamp token when it carries one): never taken for an intact signature of an unknown root.
  for (const bool stamped : {false, true}) {
    fs::remove_all(f.dir / "out");
    std::vector<std::string> more = {"--chain", "@chain.pem"};
    if (stamped) more.insert(more.end(), {"--timestamp", tsa});
    ASSERT_EQ(Mkmedia(f, sign("@leaf.pem", "@leaf.key", more)), 0);
    ASSERT_EQ(std::system(("osslsigncode extract-signature -in " + (f.dir / "out/setup.exe").string() +
                           " -out " + (f.dir / "signature.der").string() + " >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string signature = f.Get("signature.der");
    std::string program = f.Get("out/setup.exe");
    const std::size_t at = program.find(signature);
    ASSERT_NE(at, std::string::npos);
    program[at + signature.size() - 5] ^= 1;
    f.Put("out/setup.exe", program);
    fs::remove(f.dir / "signature.der");
    std::string said;
    EXPECT_EQ(Mkmedia(f, {"check", "@out"}, &said), 1) << said;
    EXPECT_THAT(said, HasSubstr(stamped ? "setup.exe's signature does not verify: its timestamp "
                                        : "setup.exe's signature does not verify: its signature "))
        << said;
  }

  // Two media signed with a timestamp: the same volumes, marker and licence, and the same
  // setup.exe once the signature is taken off again.
  for (const char* out : {"out", "again"}) {
    fs::remove_all(f.dir / out);
    std::vector<std::string> command = sign("@leaf.pem", "@leaf.key", {"--chain", "@chain.pem",
                                                                       "--timestamp", tsa});
    command.back() = std::string("@") + out;
    ASSERT_EQ(Mkmedia(f, command), 0);
    ASSERT_EQ(std::system(("cd " + (f.dir / out).string() + " && osslsigncode remove-signature "
                           "-in setup.exe -out ../" + out + ".exe >/dev/null 2>&1").c_str()),
              0);
  }
  for (const char* name : {"xalarch.v1", "xalarch.v2", "xalarch.v3", "xalarch.v0", "licenz.doc"}) {
    EXPECT_EQ(f.Get(std::string("out/") + name), f.Get(std::string("again/") + name)) << name;
  }
  EXPECT_EQ(f.Get("out.exe"), f.Get("again.exe")) << "setup.exe, its signature taken off";
  fs::remove_all(f.dir / "again");
  fs::remove_all(f.dir / "out");

  // A certificate that expires seconds after it signed with a timestamp: the timestamp lies
  // within its validity, so check takes the signature as valid once it has expired; without one
  // the same certificate is out of date.
  const auto utc = [](std::time_t t) {
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", std::gmtime(&t));
    return std::string(text);
  };
  {
    const std::time_t until = std::time(nullptr) + 8;
    ASSERT_EQ(make("brief " + utc(until - 86400) + " " + utc(until) + " int code"), 0);
    fs::remove_all(f.dir / "out");
    ASSERT_EQ(Mkmedia(f, sign("@brief.pem", "@brief.key",
                              {"--chain", "@chain.pem", "--timestamp", tsa})),
              0);
    ASSERT_LT(std::time(nullptr), until) << "signed too slowly to test this";
    fs::rename(f.dir / "out", f.dir / "stamped");
    ASSERT_EQ(Mkmedia(f, sign("@brief.pem", "@brief.key", {"--chain", "@chain.pem"})), 0);
    while (std::time(nullptr) <= until + 1) usleep(200000);
    std::string said;
    EXPECT_EQ(Mkmedia(f, {"check", "@stamped"}, &said), 0) << said;
    EXPECT_THAT(said, Not(HasSubstr("expired"))) << said;
    EXPECT_THAT(said, HasSubstr("timestamped ")) << said;
    EXPECT_EQ(Mkmedia(f, {"check", "@out"}, &said), 0) << said;
    EXPECT_THAT(said, HasSubstr("the certificate of /CN=brief has expired")) << said;
    fs::remove_all(f.dir / "stamped");
    fs::remove_all(f.dir / "out");
  }

  // check from a folder that holds an osslsigncode of its own, with PATH naming the current
  // folder (an empty entry) and a folder below it (a relative one), and every name the scratch
  // folder used to have taken by a link to a file of the user's.
  ASSERT_EQ(Mkmedia(f, sign("@now.pem", "@now.key")), 0);
  f.Put("out/osslsigncode", "#!/bin/sh\necho planted > planted.txt\n");
  fs::permissions(f.dir / "out/osslsigncode", fs::perms::owner_all);
  fs::create_directories(f.dir / "tmp");
  for (int n = 1; n < 10; ++n) {
    fs::create_symlink(f.dir / "victim", f.dir / "tmp" / ("mkmedia-" + std::to_string(getpid()) +
                                                         "-" + std::to_string(n)));
  }
  const fs::path was = fs::current_path();
  fs::current_path(f.dir / "out");
  setenv("PATH", ("::.:" + path).c_str(), 1);
  setenv("TMPDIR", (f.dir / "tmp").c_str(), 1);
  std::string said;
  EXPECT_EQ(Mkmedia(f, {"check", "."}, &said), 0) << said;
  unsetenv("TMPDIR");
  setenv("PATH", path.c_str(), 1);
  fs::current_path(was);
  EXPECT_THAT(said, HasSubstr("setup.exe signed by /CN=now"));
  EXPECT_FALSE(fs::exists(f.dir / "out/planted.txt"));
  EXPECT_EQ(f.Get("victim"), "the user's");
  EXPECT_EQ(Listing(f.dir / "tmp").size(), 9u) << "the scratch folders removed, the links left";
}

}  // namespace
}  // namespace kv::test

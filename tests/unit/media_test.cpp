// The archive reader, volume joining and unpacking, and Cancel in the middle of either.
#include <zlib.h>

#include <functional>

#include "media/archive.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Unpacks `archive` from C:\T\a.pry into C:\T; returns the reader's error or "".
std::string Unpack(FakePlatform& p, const std::string& archive, int* members = nullptr) {
  p.AddFile("C:\\T\\a.pry", archive);
  p.SetCurrentDir("C:\\T");
  int count = 0;
  try {
    UnpackMembers(p, [&] { ++count; }, "C:\\T\\a.pry");
  } catch (const ArchiveError& e) {
    if (members) *members = count;
    return e.what();
  }
  if (members) *members = count;
  return "";
}

TEST(Archive, TheDocumentedMemberBytes) {
  const std::string member = PackMember("a.txt", "abc");
  const unsigned char expected[] = {0x61, 0x2E, 0x74, 0x78, 0x74, 0x24, 0x31, 0x31, 0x24, 0x78,
                                    0x9C, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27};
  EXPECT_EQ(member, std::string(reinterpret_cast<const char*>(expected), sizeof expected));
  FakePlatform p;
  EXPECT_EQ(Unpack(p, member), "");
  EXPECT_EQ(p.Content("C:\\T\\a.txt"), "abc");
  EXPECT_EQ(p.open_files(), 0);
}

TEST(Archive, LengthField) {
  EXPECT_EQ(ParseMemberLength("11"), 11);
  EXPECT_EQ(ParseMemberLength("  +11"), 11);
  EXPECT_EQ(ParseMemberLength("12x"), 12);
  EXPECT_EQ(ParseMemberLength(""), 0);
  EXPECT_EQ(ParseMemberLength("-5"), -5);
  EXPECT_GT(ParseMemberLength("99999999999999999999"), kMemberBufferSize);
  EXPECT_EQ(ParseMemberLength(std::string(5000, ' ') + "11"), 11);
  // Any number of leading blanks, and anything after the digits, in the archive too.
  for (const std::string& field : {std::string("  +11"), std::string(5000, ' ') + "11",
                                   "11" + std::string(5000, 'x')}) {
    FakePlatform p;
    std::string member = PackMember("a.txt", "abc");
    member.replace(6, 2, field);
    EXPECT_EQ(Unpack(p, member), "") << field.size();
    EXPECT_EQ(p.Content("C:\\T\\a.txt"), "abc");
  }
}

TEST(Archive, ManyMembersAndTrailingBytesInAPayload) {
  std::string archive;
  for (int i = 0; i < 14; ++i) archive += PackMember("f" + std::to_string(i), std::string(i, 'z'));
  std::string padded = PackMember("p.bin", "payload");
  const std::size_t at = padded.find('$', 6);
  padded = "p.bin$" + std::to_string(std::stoi(padded.substr(6, at - 6)) + 3) + "$" +
           padded.substr(at + 1) + "xyz";
  archive += padded;
  FakePlatform p;
  int members = 0;
  EXPECT_EQ(Unpack(p, archive, &members), "");
  EXPECT_EQ(members, 15);
  EXPECT_EQ(p.Content("C:\\T\\f13"), std::string(13, 'z'));
  EXPECT_EQ(p.Content("C:\\T\\p.bin"), "payload");
}

TEST(Archive, InstalledBytesCountEachFileOnceAtItsLastSize) {
  FakePlatform p;
  p.AddFile("C:\\T\\a.pry", PackMember("a.txt", std::string(1000, 'a')) +
                                PackMember("empty", "") + PackMember("b.bin", std::string(24, 'b')) +
                                PackMember("A.TXT", std::string(10, 'A')));
  p.SetCurrentDir("C:\\T");
  EXPECT_EQ(UnpackMembers(p, [] {}, "C:\\T\\a.pry"), 34u);
  EXPECT_EQ(p.Content("C:\\T\\a.txt"), std::string(10, 'A'));
}

TEST(Archive, DamagedArchivesFailAndLeaveTheInterruptedMemberEmpty) {
  const std::string good = PackMember("a.txt", "abcdef");
  const std::size_t payload = good.find('$', 6) + 1;
  std::string corrupt = good;
  corrupt[payload + 3] ^= 0x55;
  const struct {
    const char* what;
    std::string archive;
    bool member_file;
  } cases[] = {
      {"empty", "", false},
      {"ends in the name", "a.t", false},
      {"ends in the length", "a.txt$1", true},
      {"ends in the payload", good.substr(0, good.size() - 2), true},
      {"damaged payload", corrupt, true},
      {"negative length", "a.txt$-4$xxxx", true},
      {"length beyond the buffer", "a.txt$10485762$", true},
      {"absurd length", "a.txt$99999999999$", true},
  };
  for (const auto& c : cases) {
    FakePlatform p;
    EXPECT_NE(Unpack(p, c.archive), "") << c.what;
    EXPECT_EQ(p.HasFile("C:\\T\\a.txt"), c.member_file) << c.what;
    EXPECT_EQ(p.Content("C:\\T\\a.txt"), "") << c.what;
    EXPECT_EQ(p.open_files(), 0) << c.what << ": archive and member closed";
  }
}

TEST(Archive, ContentLargerThanTheBufferFails) {
  const std::string big(kMemberBufferSize + 1, 'q');
  FakePlatform p;
  EXPECT_NE(Unpack(p, PackMember("big.dat", big)), "");
  EXPECT_EQ(p.Content("C:\\T\\big.dat"), "");
}

TEST(Archive, HostileNamesWriteNothingOutsideTheFolder) {
  for (const char* name : {"..\\evil.txt", "sub\\..\\..\\evil.txt", "\\evil.txt", "/evil.txt",
                           "C:\\evil.txt", "C:evil.txt", "CON", "nul.txt", "Com1", "lpt9.log",
                           "aux .txt", "..", ".", ""}) {
    FakePlatform p;
    const auto before = p.Tree();
    EXPECT_NE(Unpack(p, PackMember(name, "x")), "") << name;
    auto after = p.Tree();
    std::erase(after, "C:\\T\\");
    std::erase(after, "C:\\T\\a.pry");
    EXPECT_EQ(after, before) << name;
  }
  EXPECT_TRUE(IsSafeMemberName("Readme.doc"));
  EXPECT_TRUE(IsSafeMemberName("console.exe"));
  EXPECT_TRUE(IsSafeMemberName("com10"));
  EXPECT_TRUE(IsSafeMemberName("sub\\file.txt"));
}

// The fake machine folds the case of names from their Unicode letters; the name rule from its own
// Windows-1251 table. Both must tell the same bytes apart.
TEST(Archive, TheFakeMachineAndTheNameRuleFoldTheSameLetters) {
  for (int byte = 0x21; byte < 0x100; ++byte) {
    if (byte == '/') continue;  // a separator to the rule
    const std::string name = "a" + std::string(1, static_cast<char>(byte)) + "z";
    EXPECT_EQ(FakePlatform::Upper(name), FileNameIdentity(name)) << std::hex << byte;
  }
}

// ---- Joining -----------------------------------------------------------------------------------

struct Joining : Installer {
  explicit Joining(bool full) {
    MakeMedium(full);
    ToFolderPage();
    ctx.TargetDir = "C:\\Kelvanto\\";
    p.AddFolder("C:\\Kelvanto");
    ctx.WizardState = 2;
    form->SetVisible(Ctl::ProgressBar1, true);
  }
  std::string Joined() { return p.Content("C:\\Kelvanto\\xalarch.pry"); }
};

TEST(Join, AllVolumesInOrderWithoutPromptAndTheDemoIgnoresAThirdVolume) {
  Joining full(true);
  full.form->JoinVolumes();
  EXPECT_EQ(full.Joined(), full.archive);
  EXPECT_THAT(full.p.boxes, IsEmpty());
  EXPECT_EQ(full.view[Ctl::ProgressBar1].maximum, 1323);
  EXPECT_EQ(full.ctx.WizardState, 3);
  EXPECT_TRUE(full.ctx.StepOk);

  Joining demo(false);
  demo.p.AddFile("C:\\MEDIUM\\xalarch.v3", "stray");
  demo.form->JoinVolumes();
  EXPECT_EQ(demo.Joined(), demo.archive);
  EXPECT_EQ(demo.view[Ctl::ProgressBar1].maximum, 872);
  EXPECT_EQ(demo.form->temp_archive_stream(), kInvalidFile);
  EXPECT_EQ(demo.form->volume_stream(), kInvalidFile);
}

TEST(Join, ProgressAdvancesOncePerChunkPlusTheEmptyRead) {
  Joining t(false);
  t.p.AddFile("C:\\MEDIUM\\xalarch.v1", std::string(4096, 'a'));  // an exact multiple of 2048
  t.p.AddFile("C:\\MEDIUM\\xalarch.v2", "");                       // an empty volume
  t.form->JoinVolumes();
  EXPECT_EQ(t.view[Ctl::ProgressBar1].position, (4096 / 2048 + 1) + 1);
  EXPECT_EQ(t.Joined(), std::string(4096, 'a'));
}

TEST(Join, DiskPromptRepeatsWhileAbsentThenCopies) {
  Joining t(true);
  t.p.EraseFile("C:\\MEDIUM\\xalarch.v2");
  const std::string v2 = t.archive.substr(t.archive.size() / 3, t.archive.size() / 3);
  int prompts = 0;
  t.p.answer = [&](const FakePlatform::Box& box) {
    if (box.text == "Вставьте диск 2:" && ++prompts == 2) t.p.AddFile("C:\\MEDIUM\\xalarch.v2", v2);
    return kIdOk;
  };
  t.form->JoinVolumes();
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(t.p.boxes[0].caption, "Внимание");
  EXPECT_EQ(t.p.boxes[0].flags, kMbOkCancel | kMbIconExclamation);
  EXPECT_EQ(t.Joined(), t.archive);
}

TEST(Join, CancelAtTheThirdDiskPromptRollsBackAtOnce) {
  Joining t(true);
  t.p.EraseFile("C:\\MEDIUM\\xalarch.v3");
  t.CancelOn("Вставьте диск 3:");
  t.form->SetEnabled(Ctl::Button1, false);
  t.form->JoinVolumes();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Вставьте диск 3:"));
  EXPECT_FALSE(t.ctx.StepOk);
  EXPECT_EQ(t.ctx.WizardState, 8);
  EXPECT_FALSE(t.p.HasFile("C:\\Kelvanto\\xalarch.pry"));
  EXPECT_FALSE(t.p.HasFolder("C:\\Kelvanto"));
  EXPECT_TRUE(t.view[Ctl::Button1].enabled);
  EXPECT_EQ(t.p.open_files(), 0);
}

TEST(Join, FirstVolumeMissingReportsOnceAndAsksForNothing) {
  Joining t(true);
  t.p.EraseFile("C:\\MEDIUM\\xalarch.v1");
  t.form->JoinVolumes();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу скопировать файлы !"));
  EXPECT_FALSE(t.ctx.StepOk);
  EXPECT_TRUE(t.p.HasFile("C:\\Kelvanto\\xalarch.pry"));
  EXPECT_EQ(t.p.open_files(), 0);
}

TEST(Join, FailedReadOrShortWriteIsACopyFailureNotATruncatedArchive) {
  {
    Joining t(true);
    t.p.FailReads("C:\\MEDIUM\\xalarch.v2");
    t.form->JoinVolumes();
    EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу скопировать файлы !"));
    EXPECT_FALSE(t.ctx.StepOk);
    EXPECT_EQ(t.p.open_files(), 0);
  }
  {
    Joining t(true);
    t.p.drive('C').free_bytes = t.archive.size() / 2;
    t.form->JoinVolumes();
    EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу скопировать файлы !"));
    EXPECT_FALSE(t.ctx.StepOk);
    EXPECT_EQ(t.p.open_files(), 0);
  }
}

// A sealed medium: each volume checked when it ends, before the next disk is asked for.
TEST(Join, ASealedVolumeThatDoesNotMatchStopsTheCopyWithItsName) {
  const struct {
    const char* name;
    std::function<void(Joining&)> damage;
    std::vector<std::string> boxes;
  } cases[] = {
      {"intact", [](Joining&) {}, {}},
      {"first volume, one byte changed",
       [](Joining& t) {
         std::string v1 = t.p.Content("C:\\MEDIUM\\xalarch.v1");
         v1[v1.size() / 2] ^= 1;
         t.p.AddFile("C:\\MEDIUM\\xalarch.v1", v1);
       },
       {"Файл xalarch.v1 поврежден или взят с другого дистрибутива !"}},
      {"another medium's disk 2 at the prompt",
       [](Joining& t) {
         t.p.EraseFile("C:\\MEDIUM\\xalarch.v2");
         t.p.answer = [&t](const FakePlatform::Box& box) {
           if (box.text == "Вставьте диск 2:") t.p.AddFile("C:\\MEDIUM\\xalarch.v2", "other");
           return kIdOk;
         };
       },
       {"Вставьте диск 2:", "Файл xalarch.v2 поврежден или взят с другого дистрибутива !"}},
      {"third volume cut short",
       [](Joining& t) {
         const std::string v3 = t.p.Content("C:\\MEDIUM\\xalarch.v3");
         t.p.AddFile("C:\\MEDIUM\\xalarch.v3", v3.substr(0, v3.size() - 1));
       },
       {"Файл xalarch.v3 поврежден или взят с другого дистрибутива !"}},
  };
  for (const auto& c : cases) {
    Joining t(true);
    t.SealMedium();
    t.ctx.Sealed = ReadSealBlock(t.p.seal_block, &t.ctx.MediumSeal) == SealState::kSealed;
    c.damage(t);
    t.form->JoinVolumes();
    EXPECT_EQ(t.BoxTexts(), c.boxes) << c.name;
    EXPECT_EQ(t.ctx.StepOk, c.boxes.empty()) << c.name;
    if (c.boxes.empty()) {
      EXPECT_EQ(t.Joined(), t.archive);
    }
    EXPECT_EQ(t.p.open_files(), 0) << c.name;
  }
}

TEST(Join, CancelConfirmedDuringTheCopyStopsAtTheNextChunk) {
  for (const int medium : {0, 1, 2}) {  // a folder, a sealed folder, the program's own file
  const bool sealed = medium == 1;
  Installer t;
  std::vector<ProductFile> files = {{"kelvanto.exe", std::string(300000, '\0')}};
  for (int i = 0; i < 300000; ++i) files[0].second[i] = static_cast<char>((static_cast<unsigned>(i) * 7919u) >> 3);
  if (medium == 2) {
    t.MakeOneFile(true, files);
  } else {
    t.MakeMedium(true, files);
  }
  if (sealed) t.SealMedium();
  t.p.on_pump = [&](int pump) {
    if (pump == 5) t.form->Button2Click();
  };
  t.Install();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Вы хотите прервать установку ?"));
  EXPECT_EQ(t.ctx.WizardState, 8);
  EXPECT_FALSE(t.ctx.StepOk);
  EXPECT_FALSE(t.p.HasFolder("C:\\Kelvanto"));
  EXPECT_EQ(t.p.open_files(), 0);
  EXPECT_LT(t.p.pumps, 10) << "the copy loop stopped";
  }
}

// ---- A medium in the program's own file --------------------------------------------------------

// Each row changes a sound one-file program; what the installer makes of its trailer.
TEST(OneFile, OnlyATrailerThatFitsItsProgramExactlyIsAMedium) {
  const std::string archive(5000, 'a'), licence = "{\\rtf1 L}";
  const std::string program = TinyProgram();
  const std::string full = program + OneFilePayload(program.size(), archive, licence, true);
  const std::size_t trailer = full.size() - kOneFileTrailerSize;
  const auto put = [](std::string& s, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
  };
  const struct {
    const char* what;
    std::function<void(std::string&)> change;
    OneFileState state;
  } rows[] = {
      {"sound", [](std::string&) {}, OneFileState::kPresent},
      {"the program alone", [&](std::string& s) { s = program; }, OneFileState::kNone},
      {"cut short by a byte", [](std::string& s) { s.pop_back(); }, OneFileState::kDamaged},
      {"cut inside the archive", [&](std::string& s) { s.resize(program.size() + 100); },
       OneFileState::kDamaged},
      {"a byte appended", [](std::string& s) { s += '\0'; }, OneFileState::kDamaged},
      {"another magic", [&](std::string& s) { s[trailer] = 'X'; }, OneFileState::kDamaged},
      {"version 2", [&](std::string& s) { s[trailer + 8] = 2; }, OneFileState::kDamaged},
      {"an unknown flag", [&](std::string& s) { s[trailer + 12] = 3; }, OneFileState::kDamaged},
      {"the archive a byte later", [&](std::string& s) { put(s, trailer + 16, program.size() + 1); },
       OneFileState::kDamaged},
      {"an archive of 2^64 - 1 bytes", [&](std::string& s) { put(s, trailer + 24, ~0ull); },
       OneFileState::kDamaged},
      {"an empty archive", [&](std::string& s) { put(s, trailer + 24, 0); }, OneFileState::kDamaged},
      {"a licence that wraps around",
       [&](std::string& s) { put(s, trailer + 40, ~0ull - program.size()); }, OneFileState::kDamaged},
      {"a licence in the demo edition", [&](std::string& s) { s[trailer + 12] = 0; },
       OneFileState::kDamaged},
      {"a signature's table after it",
       [&](std::string& s) {
         put(s, 0x58 + 96 + 32, s.size());  // data directory 4: where it begins, its size
         s[0x58 + 96 + 36] = 8;
         s += std::string(8, 'S');
       },
       OneFileState::kPresent},
      {"a signature's table past the end (the file cut short)",
       [&](std::string& s) {
         put(s, 0x58 + 96 + 32, s.size() + 8);
         s[0x58 + 96 + 36] = 8;
       },
       OneFileState::kPresent},
  };
  for (const auto& row : rows) {
    std::string file = full;
    row.change(file);
    ProgramExtent extent;
    ASSERT_TRUE(ReadProgramExtent(file.substr(0, kOneFileHeadersSize), file.size(), &extent));
    const std::string last = file.substr(file.size() - std::min<std::size_t>(file.size(), 48));
    OneFileLayout layout;
    const std::string at_end = extent.payload_end >= kOneFileTrailerSize
        ? file.substr(extent.payload_end - kOneFileTrailerSize, kOneFileTrailerSize) : last;
    EXPECT_EQ(ReadOneFileTrailer(at_end, extent, &layout), row.state) << row.what;
    if (row.state != OneFileState::kPresent) continue;
    EXPECT_EQ(file.substr(layout.archive_offset, layout.archive_size), archive) << row.what;
    EXPECT_EQ(file.substr(layout.licence_offset, layout.licence_size), licence) << row.what;
    EXPECT_EQ(extent.payload_end % 8, 0u) << row.what << ": signing adds no padding";
  }
}

// ---- Unpacking ---------------------------------------------------------------------------------

TEST(Extract, MissingArchiveRollsBackSilently) {
  Joining t(false);
  t.ctx.WizardState = 3;
  t.form->ExtractArchive();
  EXPECT_THAT(t.p.boxes, IsEmpty());
  EXPECT_EQ(t.ctx.WizardState, 8);
  EXPECT_FALSE(t.view[Ctl::ProgressBar1].visible);
}

TEST(Extract, DamagedArchiveReportsAndRollsBack) {
  Joining t(false);
  t.ctx.WizardState = 3;
  t.p.AddFile("C:\\Kelvanto\\xalarch.pry", t.archive.substr(0, t.archive.size() - 10));
  t.form->ExtractArchive();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу распаковать !"));
  EXPECT_EQ(t.ctx.WizardState, 8);
  EXPECT_FALSE(t.p.HasFolder("C:\\Kelvanto")) << "every file closed, so the folder could go";
  EXPECT_EQ(t.view[Ctl::ProgressBar1].position, t.view[Ctl::ProgressBar1].maximum);
  EXPECT_EQ(t.p.pointers.back(), Pointer::kArrow);
}

TEST(Extract, ProgressCountsMembersUpToTwelve) {
  Joining t(false);
  t.ctx.WizardState = 3;
  t.p.AddFile("C:\\Kelvanto\\xalarch.pry", t.archive);
  int seen = -1;
  t.p.on_pump = [&](int) {
    if (seen < 0 && t.view[Ctl::ProgressBar1].position > 0) seen = t.view[Ctl::ProgressBar1].position;
  };
  t.form->ExtractArchive();
  EXPECT_TRUE(t.ctx.StepOk);
  EXPECT_EQ(seen, static_cast<int>(SampleProduct().size()));
  EXPECT_EQ(t.view[Ctl::ProgressBar1].maximum, 12);
  EXPECT_FALSE(t.view[Ctl::ProgressBar1].visible);
}

}  // namespace
}  // namespace kv::test

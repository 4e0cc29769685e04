// The folder checks, the folder browser, the product file set and the rollback by state.
#include "target/folders.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kNoSpace = " недостаточно свободного места !";

// The wizard on the folder page with `folder` typed, and Next pressed.
struct FolderPage : Installer {
  explicit FolderPage(bool full = true) {
    MakeMedium(full);
    ToFolderPage();
  }
  bool Next(const std::string& folder) {
    view.Type(folder);
    p.boxes.clear();
    form->Button1Click();
    return ctx.WizardState != 1;
  }
};

TEST(FreeSpace, ThresholdIsEnoughOneByteLessIsNotInBothEditions) {
  for (bool full : {true, false}) {
    const std::uint64_t threshold = full ? 17000000 : 15000000;
    for (std::uint64_t free : {threshold, threshold - 1}) {
      FolderPage t(full);
      t.p.AddDrive('D', {kDriveFixed, true, free});
      t.ctx.TargetDir = "D:\\K\\";
      EXPECT_EQ(t.form->CheckFreeSpace(), free == threshold) << full << " " << free;
      if (free != threshold) {
        EXPECT_THAT(t.BoxTexts(), ElementsAre("На диске D:\\" + kNoSpace));
        EXPECT_EQ(t.p.boxes[0].flags, kMbOk | kMbIconError);
      }
    }
  }
}

TEST(FreeSpace, FloppiesAndCdromRefusedOnlyWhenTheQueryAnswers) {
  for (char letter : {'A', 'a', 'B', 'b'}) {
    FolderPage t;
    t.p.AddDrive(letter, {kDriveRemovable, true, 1ull << 30});
    t.ctx.TargetDir = std::string(1, letter) + ":\\K\\";
    EXPECT_FALSE(t.form->CheckFreeSpace()) << letter;
    EXPECT_THAT(t.BoxTexts(), ElementsAre("На диске " + std::string(1, letter) + ":\\" + kNoSpace));
    t.p.drive(letter).medium = false;
    EXPECT_TRUE(t.form->CheckFreeSpace()) << "no medium: the query fails and the drive passes";
  }
  FolderPage t;
  t.p.AddDrive('E', {kDriveCdrom, true, 1ull << 30});
  t.ctx.TargetDir = "E:\\K\\";
  EXPECT_FALSE(t.form->CheckFreeSpace());
  t.p.AddDrive('F', {kDriveFixed, true, 0, true});
  t.ctx.TargetDir = "F:\\K\\";
  EXPECT_TRUE(t.form->CheckFreeSpace()) << "a failed query accepts the drive";
  t.p.AddDrive('G', {kDriveFixed, true, 64ull << 30});
  t.ctx.TargetDir = "G:\\K\\";
  EXPECT_TRUE(t.form->CheckFreeSpace()) << "many gigabytes";
}

TEST(FolderCheck, RefusalForSpaceRemovesOnlyTheDeepestEmptyLevel) {
  FolderPage t;
  t.p.drive('C').free_bytes = 1000;
  EXPECT_FALSE(t.Next("C:\\A\\B\\C"));
  EXPECT_FALSE(t.p.HasFolder("C:\\A\\B\\C"));
  EXPECT_TRUE(t.p.HasFolder("C:\\A\\B"));
  EXPECT_EQ(t.view[Ctl::Edit1].text, "C:\\A\\B\\C") << "the editor keeps the user's text";
  t.p.AddFile("C:\\Full\\mine.txt");
  EXPECT_FALSE(t.Next("C:\\Full"));
  EXPECT_TRUE(t.p.HasFile("C:\\Full\\mine.txt"));
}

TEST(FolderCheck, PathsThatCannotBeFormedResetTheEditor) {
  FolderPage t;
  t.p.AddFile("C:\\order.txt", "the user's");
  t.p.AddDrive('D', {});
  t.p.AddFolder("C:\\MEDIUM\\Ke");
  std::string overlong = "C:";
  while (overlong.size() < 300) overlong += "\\a";
  // Not a full path (each would be resolved against whatever folder is current at each step),
  // overlong, on no drive, or with characters the file system rejects; or with a name the system
  // would not keep as typed (a last blank or dot, a colon), so that the folder made would not be
  // the folder installed into.
  for (const std::string& bad : std::vector<std::string>{"Kelvanto", "Work\\Kelvanto", "..\\Kelvanto", "Ke\\Kelvanto",
                                 "Ke", "C:Kelvanto", "\\Kelvanto", "\\\\.\\C:\\K", overlong,
                                 overlong.substr(0, 260), "Q:\\Kelvanto", "C:\\a|b", "C:\\x?",
                                 "C:\\KelvSp ", "C:\\KelvDot.", "C:\\K:", "C:\\Sp \\Kelvanto",
                                 "C:\\Dot.\\Kelvanto", "C:\\Kelvanto\\..", "C:/KelvSp /",
                                 // A root, whose product-named files are the user's own.
                                 "C:\\", "c:/\\", "\\\\server\\share", "\\\\server\\share\\\\"}) {
    const auto tree = t.p.Tree();
    t.view.Type("changed");
    EXPECT_FALSE(t.Next(bad)) << bad;
    EXPECT_THAT(t.BoxTexts(), ElementsAre("Путь введен неверно !")) << bad;
    EXPECT_EQ(t.view[Ctl::Edit1].text, "C:\\Kelvanto") << bad;
    EXPECT_EQ(t.view.focused, Ctl::Edit1);
    EXPECT_EQ(t.p.Tree(), tree) << bad;
  }
  EXPECT_TRUE(CreateFolderPath(t.p, "ab")) << "two characters: nothing to create";
  EXPECT_TRUE(CreateFolderPath(t.p, "C:\\")) << "a drive root";
  EXPECT_TRUE(CreateFolderPath(t.p, "D:\\x\\y\\"));
  EXPECT_TRUE(t.p.HasFolder("D:\\x\\y"));
  // The system's own rules, which the refusals above stand on: a last blank goes, unless a
  // backslash follows it, and no folder path reaches 248 characters.
  EXPECT_TRUE(t.p.MakeDir("D:\\sp "));
  EXPECT_TRUE(t.p.HasFolder("D:\\sp"));
  EXPECT_EQ(t.p.OpenFile("D:\\sp \\f", FileOpen::kCreateAlways), kInvalidFile);
  EXPECT_FALSE(t.p.MakeDir("D:\\" + std::string(245, 'x')));
  EXPECT_EQ(RootOf("\\\\srv\\share\\K\\"), "\\\\srv\\share\\") << "the free-space query's root";
}

// The folder that passes is the folder installed into: slashes name it as backslashes do, and an
// existing folder without room below MAX_PATH for the longest file the installation writes in it
// ("Uninstall.exe") is refused before anything changes, not half installed.
TEST(FolderCheck, SlashesInstallAndAFolderTooLongForItsFilesIsRefused) {
  FolderPage t;
  EXPECT_TRUE(t.Next("C:/Mine/Sub"));
  EXPECT_EQ(t.ctx.TargetDir, "C:\\Mine\\Sub\\");
  EXPECT_TRUE(t.p.HasFile("C:\\Mine\\Sub\\Uninstall.exe"));
  for (std::size_t length : {245, 246, 247, 259}) {
    FolderPage u;
    const std::string folder = "C:\\" + std::string(120, 'a') + "\\" + std::string(length - 124, 'b');
    u.p.AddFolder(folder);
    const auto tree = u.p.Tree();
    const bool installed = u.Next(folder);
    EXPECT_EQ(installed, length == 245) << length;
    if (installed) {
      EXPECT_EQ(u.ctx.WizardState, 6);
      EXPECT_TRUE(u.p.HasFile(folder + "\\Uninstall.exe"));
    } else {
      EXPECT_THAT(u.BoxTexts(), ElementsAre("Путь введен неверно !")) << length;
      EXPECT_EQ(u.p.Tree(), tree) << length;
    }
  }
}

// Every step and the rollback work in the one folder that was checked, whichever folder is
// current: the medium's, the target's after unpacking, the Windows folder after a rollback.
TEST(FolderCheck, NothingOutsideTheCheckedFolderChangesThroughInstallAndRollback) {
  for (const char* target : {"C:\\Distrib\\Kelvanto", "\\\\server\\share\\Kelvanto"}) {
    Installer t;
    t.p.current_dir = "C:\\Distrib\\MEDIUM";
    t.p.AddFolder(t.p.current_dir);
    t.p.AddFolder("C:\\Distrib\\MEDIUM\\Ke");
    t.MakeMedium(true);
    for (const char* name : {"kelvanto.exe", "Readme.txt"}) {
      t.p.AddFile(std::string("C:\\Kelvanto\\") + name, "another installation");
    }
    t.Start();
    t.ToFolderPage("..\\Kelvanto");
    const auto tree = t.p.Tree();
    t.form->Button1Click();
    EXPECT_EQ(t.ctx.WizardState, 1) << "refused";
    EXPECT_EQ(t.p.Tree(), tree);
    t.view.Type(target);
    t.form->Button1Click();
    const bool unc = target[0] == '\\';  // no such share in this machine: refused likewise
    ASSERT_EQ(t.ctx.WizardState, unc ? 1 : 6) << target;
    if (!unc) {
      t.CancelOn("");
      t.form->Button2Click();  // confirmed: the whole installation is rolled back
    }
    EXPECT_EQ(t.p.Tree(), tree) << target;
    EXPECT_EQ(t.p.Content("C:\\Kelvanto\\kelvanto.exe"), "another installation");
  }
}

TEST(Browser, ConfirmedCancelledAndRootPicks) {
  FolderPage t;
  t.p.AddFolder("D:\\Work");
  t.p.AddDrive('D', {});
  t.p.AddFolder("D:\\Work");
  t.p.browser = [](const std::string&, std::string* path) {
    *path = "D:\\Work";
    return true;
  };
  t.form->Edit1ButtonClick();
  EXPECT_EQ(t.view[Ctl::Edit1].text, "D:\\Work\\Kelvanto");
  EXPECT_EQ(t.p.browse_starts.back(), "\\") << "C:\\Kelvanto does not exist yet";
  t.p.browser = [](const std::string&, std::string* path) {
    *path = "C:\\";
    return true;
  };
  t.form->Edit1ButtonClick();
  EXPECT_EQ(t.view[Ctl::Edit1].text, "C:\\Kelvanto");
  t.view.Type("D:\\Work");
  t.p.browser = [](const std::string&, std::string*) { return false; };
  t.form->Edit1ButtonClick();
  EXPECT_EQ(t.p.browse_starts.back(), "D:\\Work");
  EXPECT_EQ(t.view[Ctl::Edit1].text, "D:\\Work") << "a cancelled browser keeps the text";
  t.p.browser = [](const std::string&, std::string* path) {
    path->clear();  // a folder the system's code page cannot name
    return true;
  };
  t.form->Edit1ButtonClick();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Путь введен неверно !"));
  EXPECT_EQ(t.view[Ctl::Edit1].text, "D:\\Work");
  std::string empty;
  bool action = true;
  t.form->Edit1AfterDialog(empty, action);
  EXPECT_EQ(empty, "C:\\Kelvanto");
}

TEST(ProductFiles, ExactlyTheTwentyGoAndFoldersOrReadOnlyFilesStaySilently) {
  FolderPage t;
  t.ctx.TargetDir = "C:\\T\\";
  for (const char* name : kProductFileSet) t.p.AddFile(std::string("C:\\T\\") + name, "x");
  t.p.AddFile("C:\\T\\mine.txt");
  t.p.AddFile("C:\\T\\README.TXT");  // the same name as Readme.txt: names ignore case
  t.form->DeleteProductFiles();
  EXPECT_THAT(t.p.Tree(), ::testing::Contains("C:\\T\\mine.txt"));
  for (const char* name : kProductFileSet) EXPECT_FALSE(t.p.HasFile(std::string("C:\\T\\") + name));
  EXPECT_EQ(t.view[Ctl::Label2].text, "Удаляю файлы из каталога C:\\T\\ ...");
  EXPECT_EQ(t.p.pointers.back(), Pointer::kArrow);

  t.p.AddFolder("C:\\T\\order.txt");
  t.p.AddFile("C:\\T\\kelvanto.exe", "old", true);
  t.p.AddFile("C:\\T\\wizard.exe");
  t.form->DeleteProductFiles();
  EXPECT_TRUE(t.p.HasFolder("C:\\T\\order.txt"));
  EXPECT_TRUE(t.p.HasFile("C:\\T\\kelvanto.exe"));
  EXPECT_FALSE(t.p.HasFile("C:\\T\\wizard.exe"));
  EXPECT_THAT(t.p.boxes, IsEmpty());
}

// A product file that another program holds (the product, running) is found before anything in
// the folder changes. Each row: what holds which file, and how the boxes are answered (the program
// lets go of the file while question number `let_go_at` is up).
TEST(FilesInUse, AskedBeforeAnythingChangesUntilLetGoOrTurnedBack) {
  const std::string kT = "C:\\Kelvanto\\";
  struct Case {
    const char* name;
    const char* held;     // the file held open, or none
    const char* program;  // what Restart Manager names (UTF-8)
    int let_go_at, cancel_at, asked;
    const char* named;  // the holder the question names (Windows-1251)
    int state;
  } cases[] = {
      {"held, Cancel", "kelvanto.exe", "", 0, 1, 1, "", 1},
      {"named, OK while held, then let go", "kelvanto.exe", "Kelvantor", 2, 0, 2, "Kelvantor", 6},
      {"a name 1251 cannot hold", "Readme.txt", "\xE7\xA8\x8B\xE5\xBA\x8F", 1, 0, 1, "", 6},
      {"a Cyrillic name", "wizard.exe", "\xD0\x9C\xD0\xB8\xD1\x80", 1, 0, 1, "Мир", 6},
      // As before: the deletion passes over it, and the unpacking then fails.
      {"read-only, not held", nullptr, "", 0, 0, 0, "", 8},
      {"the user's own file held", "mine.doc", "", 0, 0, 0, "", 6},
  };
  for (const Case& c : cases) {
    FolderPage t;
    for (const ProductFile& f : SampleProduct()) t.p.AddFile(kT + f.first, "old");
    t.p.AddFile(kT + "mine.doc", "mine");
    if (!c.held) t.p.SetReadOnly(kT + "kelvanto.exe", true);
    const std::string held = c.held ? c.held : "";
    if (c.held) t.p.HoldOpenBy(kT + held, c.program);
    const auto before = t.p.Tree();
    int asked = 0;
    t.p.answer = [&](const FakePlatform::Box& box) {
      if (box.flags != (kMbOkCancel | kMbIconExclamation)) return kIdOk;
      ++asked;
      EXPECT_EQ(t.p.Tree(), before) << c.name << ": asked before anything changed";
      EXPECT_EQ(box.text, FileInUseMessage(held, c.named)) << c.name;
      EXPECT_EQ(box.caption, "Внимание") << c.name;
      if (asked == c.let_go_at) t.p.LetGo(kT + held);
      return asked == c.cancel_at ? kIdCancel : kIdOk;
    };
    t.Next("C:\\Kelvanto");
    EXPECT_EQ(asked, c.asked) << c.name;
    EXPECT_EQ(t.ctx.WizardState, c.state) << c.name;
    if (c.state == 1) {
      EXPECT_EQ(t.p.Tree(), before) << c.name;
      EXPECT_EQ(t.p.Content(kT + "kelvanto.exe"), "old") << c.name;
      EXPECT_TRUE(t.view[Ctl::Edit1].visible) << c.name;
      EXPECT_TRUE(t.view[Ctl::Button1].enabled) << c.name;
    } else if (c.state == 6) {
      EXPECT_EQ(t.p.Content(kT + "kelvanto.exe"), SampleProduct()[0].second) << c.name;
    }
  }
  EXPECT_THAT(FileInUseMessage("kelvanto.exe", "Kelvantor"),
              ::testing::StartsWith("Файл kelvanto.exe занят программой \"Kelvantor\"."));
}

TEST(TempArchive, AbsentPresentAndHeldOpen) {
  FolderPage t;
  t.ctx.TargetDir = "C:\\T\\";
  t.p.AddFolder("C:\\T");
  t.form->DeleteTempArchive();
  EXPECT_EQ(t.view[Ctl::Label2].text, "Удаляю временные файлы ...");
  t.p.AddFile("C:\\T\\xalarch.pry", "abc");
  t.form->DeleteTempArchive();
  EXPECT_FALSE(t.p.HasFile("C:\\T\\xalarch.pry"));
  EXPECT_THAT(t.p.boxes, IsEmpty());
  t.p.AddFile("C:\\T\\xalarch.pry", "abc");
  t.p.HoldOpen("C:\\T\\xalarch.pry");
  t.form->DeleteTempArchive();
  EXPECT_TRUE(t.p.HasFile("C:\\T\\xalarch.pry"));
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу удалить временные файлы !"));
}

TEST(RollBack, EachStateUndoesItsColumn) {
  const std::string uninstall = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  for (int state : {0, 10, 1, 2, 3, 4, 5, 6}) {
    FolderPage t;
    t.ctx.TargetDir = "C:\\T\\";
    t.ctx.WizardState = state;
    t.p.AddFile("C:\\T\\xalarch.pry", "abc");
    t.p.AddFile("C:\\T\\kelvanto.exe", "x");
    t.p.AddFile("C:\\Users\\user\\Start Menu\\Programs\\Kelvantor 3.01\\Help.lnk");
    t.p.AddFile("C:\\Users\\user\\Desktop\\Kelvantor 3.01.lnk");
    t.p.SetRegValue(uninstall + "Kelvantor 3.01", "DisplayName", kRegSz, "K");
    t.form->RollBack();
    const bool undone = state >= 2 && state <= 6;
    EXPECT_EQ(t.p.HasFile("C:\\T\\xalarch.pry"), !undone) << state;
    EXPECT_EQ(t.p.HasFile("C:\\T\\kelvanto.exe"), !(state >= 3 && state <= 6)) << state;
    EXPECT_EQ(t.p.HasFolder("C:\\T"), !(state >= 3 && state <= 6)) << state;
    EXPECT_EQ(t.p.HasFolder("C:\\Users\\user\\Start Menu\\Programs\\Kelvantor 3.01"),
              !(state >= 4 && state <= 6)) << state;
    EXPECT_EQ(t.p.HasRegKey(uninstall + "Kelvantor 3.01"), !(state == 5 || state == 6)) << state;
    EXPECT_EQ(t.p.HasFile("C:\\Users\\user\\Desktop\\Kelvantor 3.01.lnk"), state != 6) << state;
    EXPECT_EQ(t.ctx.WizardState, 8);
    EXPECT_THAT(t.p.boxes, IsEmpty()) << state;
  }
}

TEST(RollBack, ForeignFilesSurviveAndASecondRunUndoesNothing) {
  FolderPage t;
  t.p.AddFile("C:\\Kelvanto\\mine.doc", "the user's");
  t.p.AddFile("C:\\Kelvanto\\kelvanto.exe", "old product");
  t.Next("C:\\Kelvanto");
  EXPECT_EQ(t.ctx.WizardState, 6);
  t.form->RollBack();
  EXPECT_EQ(t.p.Content("C:\\Kelvanto\\mine.doc"), "the user's");
  EXPECT_FALSE(t.p.HasFile("C:\\Kelvanto\\kelvanto.exe"));
  const auto tree = t.p.Tree();
  const std::size_t deletes = t.p.reg_deletes.size();
  t.form->RollBack();
  EXPECT_EQ(t.p.Tree(), tree);
  EXPECT_EQ(t.p.reg_deletes.size(), deletes);
  EXPECT_EQ(t.view[Ctl::Label3].text, "Установка прервана !");
}

}  // namespace
}  // namespace kv::test

// The command line, the unattended run (/S) and the log, through the program's entry.
#include "app/command_line.h"
#include "app/entry.h"
#include "app/install_log.h"
#include "app/silent_view.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(CommandLineParse, AcceptedLines) {
  struct Case {
    const char* line;
    bool silent;
    const char* log;
    bool has_folder;
    const char* folder;
  } cases[] = {
      {"", false, "", false, ""},
      {"  /S  ", true, "", false, ""},
      {"/s /log=C:\\a.log", true, "C:\\a.log", false, ""},
      {"/S /LOG=C:\\a.log /D=C:\\Program Files\\Kelvanto", true, "C:\\a.log", true,
       "C:\\Program Files\\Kelvanto"},
      {"/d=C:\\Program Files\\Kelvanto  \t", false, "", true, "C:\\Program Files\\Kelvanto"},
      {"/S \"/D=C:\\Program Files\\Kelvanto\"", true, "", true, "C:\\Program Files\\Kelvanto"},
      {"/D=\"C:\\a b\\\"", false, "", true, "C:\\a b\\"},
      {"\"/LOG=C:\\my logs\\a.log\" \"/S\"", true, "C:\\my logs\\a.log", false, ""},
      {"/Log=\"C:\\my logs\\a.log\" /S", true, "C:\\my logs\\a.log", false, ""},
      {"/D=C:\\Новая папка", false, "", true, "C:\\Новая папка"},
      // UTF-8, as the Unicode command line comes.
      {"/S /D=C:\\Caf\xC3\xA9", true, "", true, "C:\\Caf\xC3\xA9"},
  };
  for (const Case& c : cases) {
    CommandLine cl;
    ASSERT_TRUE(ParseCommandLine(c.line, &cl)) << c.line;
    EXPECT_EQ(cl.silent, c.silent) << c.line;
    EXPECT_EQ(cl.log_file, c.log) << c.line;
    EXPECT_EQ(cl.has_folder, c.has_folder) << c.line;
    EXPECT_EQ(cl.folder, c.folder) << c.line;
  }
}

TEST(CommandLineParse, WrongLinesAndWhetherTheyAskedForSilence) {
  struct Case {
    const char* line;
    bool silent;
  } cases[] = {
      {"/X", false},          {"/X /S", true},           {"/SILENT", true},
      {"/S /S", true},        {"/S/D=C:\\x", true},       {"\"/s/LOG=a\" /D=C:\\x", true},
      {"/X/S", false},        {"/LOG=\xEF\xBC\x82" "a b\xEF\xBC\x82", false},  // a full-width quote
      {"Kelvanto", false},    {"-S", false},             {"/D=", false},
      {"/S /D=   ", true},    {"/D=\"\"", false},        {"/LOG=", false},
      {"/LOG=a /LOG=b", false}, {"/LOG=\"a b", false},   {"/D=C:\\x /S", true},
      {"/D=C:\\x /LOG=a", false}, {"\"/D=C:\\x\" /S", true}, {"/D=\"C:\\x\" y", false},
      {"/LOG=a /S/D=C:\\x", true},
  };
  for (const Case& c : cases) {
    CommandLine cl;
    EXPECT_FALSE(ParseCommandLine(c.line, &cl)) << c.line;
    EXPECT_EQ(cl.silent, c.silent) << c.line;
  }
}

TEST(SilentView, DeclinesQuestionsAndTakesErrorsAsRead) {
  FakePlatform p;
  SilentView v(p);
  EXPECT_EQ(v.ShowMessage("Вставьте диск 2:", "Внимание", kMbOkCancel | kMbIconExclamation),
            kIdCancel);
  EXPECT_EQ(v.ShowMessage("Путь введен неверно !", "Ошибка", kMbOk | kMbIconError), kIdOk);
  v.SetText(Ctl::Label2, "status");
  v.SetText(Ctl::Edit1, "C:\\Mine");
  EXPECT_EQ(v.EditText(), "C:\\Mine");
  v.SetEditTextUtf8("C:\\Caf\xC3\xA9");
  EXPECT_EQ(v.EditText(), "") << "1251 cannot hold it: the folder checks refuse it";
  p.code_page = 1252;
  v.SetEditTextUtf8("C:\\Caf\xC3\xA9");
  EXPECT_EQ(v.EditText(), "C:\\Caf\xE9");
}

TEST(InstallLogFile, Utf8LinesWithTimeAndAFailingWriteStopsOnlyTheLog) {
  EXPECT_EQ(Cp1251ToUtf8("Ёё Яя №\x98"), "\xD0\x81\xD1\x91 \xD0\xAF\xD1\x8F \xE2\x84\x96\xEF\xBF\xBD");
  FakePlatform p;
  p.code_page = 1252;
  {
    InstallLog log(p);
    EXPECT_EQ(log.Open("C:\\NOWHERE\\x.log"), InstallLog::Opened::kNo);
    log.Event("nothing");  // no file, no error
    ASSERT_EQ(log.Open("C:\\x.log"), InstallLog::Opened::kYes);
    log.Event("Путь\r\nвведен");
    // The program's text by its table, a path of the system by the system's code page (1252
    // here), a Unicode text as it came.
    log.Event("folder: ", LogText::kSystem, "C:\\Caf\xE9\\");
    log.Event("setup.exe ", LogText::kUnicode, "/D=C:\\\xD0\x96");
  }
  EXPECT_EQ(p.Content("C:\\x.log"), "2026-01-02 03:04:00.000  \xD0\x9F\xD1\x83\xD1\x82\xD1\x8C "
                                    "\xD0\xB2\xD0\xB2\xD0\xB5\xD0\xB4\xD0\xB5\xD0\xBD\r\n"
                                    "2026-01-02 03:04:01.000  folder: C:\\Caf\xC3\xA9\\\r\n"
                                    "2026-01-02 03:04:02.000  setup.exe /D=C:\\\xD0\x96\r\n");
  EXPECT_EQ(p.open_files(), 0);
}

// A machine with a medium in C:\MEDIUM whose system fonts are not Cyrillic.
struct Machine : Installer {
  explicit Machine(bool full = true) {
    MakeMedium(full);
    p.metrics.caption_font.char_set = 0;
  }
  // The user's way to the folder page of the window RunSetup made, typing `folder` there.
  void Walk(TForm1& f, const std::string& folder = "C:\\Kelvanto") {
    f.Button1Click();
    if (f.context().WizardState == kStateLicence) f.Button1Click();
    view.Type(folder);
  }
  // The log as the text it was written in (UTF-8), without the times.
  std::string Log(const std::string& path = "C:\\setup.log") {
    std::string text, line;
    for (const char c : p.Content(path)) {
      line += c;
      if (c != '\n') continue;
      text += line.substr(25, line.size() - 27) + "\n";
      line.clear();
    }
    return text;
  }
};

std::string U(const std::string& cp1251) { return Cp1251ToUtf8(cp1251); }

TEST(Unattended, InstallsIntoAFolderWithBlanksWithoutWindowBoxOrFontSwitch) {
  Machine m;
  EXPECT_EQ(RunSetup(m.p, "/S /LOG=C:\\setup.log /D=C:\\Program Files\\Kelvanto"), 0);
  EXPECT_TRUE(m.p.HasFile("C:\\Program Files\\Kelvanto\\kelvanto.exe"));
  EXPECT_FALSE(m.p.HasFile("C:\\Program Files\\Kelvanto\\xalarch.pry"));
  EXPECT_TRUE(m.p.HasRegKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                            "Kelvantor 3.01"));
  EXPECT_THAT(m.p.boxes, IsEmpty());
  EXPECT_FALSE(m.p.view.visible);
  EXPECT_THAT(m.p.metrics_set, IsEmpty()) << "nothing is drawn, so nothing is switched";
  EXPECT_EQ(m.p.app_title, "setup");
  ASSERT_FALSE(m.p.dde_executed.empty());
  EXPECT_THAT(m.p.dde_executed[0], HasSubstr("Order form")) << "FontsAdjusted still decided";
  const std::string log = m.Log();
  EXPECT_THAT(log, HasSubstr("full edition, Kelvantor 3.01, medium C:\\MEDIUM\\\n"));
  EXPECT_THAT(log, HasSubstr("folder: C:\\Program Files\\Kelvanto\\\n"));
  for (const char* step : {"removing old product files", "joining volumes", "unpacking",
                           "program group", "registry entries", "desktop shortcut"}) {
    EXPECT_THAT(log, HasSubstr(std::string(step) + ": done\n"));
  }
  EXPECT_THAT(log, HasSubstr("installed\nexit code 0\n"));
  EXPECT_EQ(m.p.open_files(), 0);
}

TEST(Unattended, RefusedFolderDamagedMediumAndMissingVolumeEndWithOneAndALog) {
  struct Case {
    const char* name;
    std::function<void(Machine&)> damage;
    const char* folder;
    std::vector<std::string> logged;
  } cases[] = {
      {"relative folder", [](Machine&) {}, "Kelvanto",
       {"message \"Ошибка\": Путь введен неверно !", "answer: OK", "folder refused"}},
      {"damaged archive",
       [](Machine& m) { m.p.AddFile("C:\\MEDIUM\\xalarch.v1", std::string(3000, 'x')); },
       "C:\\Target",
       {"message \"Ошибка\": Не могу распаковать !", "unpacking: failed", "not installed",
        "rollback from state 3", "undo: deleting the product files",
        "undo: removing the target folder if empty", "installation aborted"}},
      {"missing third volume",
       [](Machine& m) { m.p.EraseFile("C:\\MEDIUM\\xalarch.v3"); }, "C:\\Target",
       {"volume not found: C:\\MEDIUM\\xalarch.v3", "message \"Внимание\": Вставьте диск 3:",
        "answer: Cancel", "rollback from state 3", "joining volumes: failed", "not installed"}},
      {"drive root, the user's files there",
       [](Machine& m) {
         m.p.AddFile("C:\\order.txt", "mine");
         m.p.AddFile("C:\\count.dat", "mine");
       },
       "C:\\", {"folder: C:\\", "message \"Ошибка\": Путь введен неверно !", "folder refused"}},
      {"share root", [](Machine&) {}, "\\\\server\\share\\",
       {"message \"Ошибка\": Путь введен неверно !", "folder refused"}},
      // A sealed medium: a volume is found when it ends, the marker and licence at the start.
      {"sealed, a volume from another medium",
       [](Machine& m) {
         m.SealMedium();
         m.p.AddFile("C:\\MEDIUM\\xalarch.v2", "another medium's volume");
       },
       "C:\\Target",
       {"the medium is sealed: 5 files", "does not match the seal: C:\\MEDIUM\\xalarch.v2",
        "message \"Ошибка\": Файл xalarch.v2 поврежден или взят с другого дистрибутива !",
        "joining volumes: failed", "rollback from state 3", "not installed"}},
      {"sealed, a byte added to the marker",
       [](Machine& m) {
         m.SealMedium();
         m.p.AddFile("C:\\MEDIUM\\xalarch.v0", "x");
       },
       "C:\\Target",
       {"message \"Ошибка\": Файл xalarch.v0 поврежден или взят с другого дистрибутива !"}},
      {"sealed, the marker gone",
       [](Machine& m) {
         m.SealMedium();
         m.p.EraseFile("C:\\MEDIUM\\xalarch.v0");
       },
       "C:\\Target",
       {"message \"Ошибка\": Файл xalarch.v0 поврежден или взят с другого дистрибутива !"}},
      {"sealed, another licence",
       [](Machine& m) {
         m.SealMedium();
         m.p.AddFile("C:\\MEDIUM\\licenz.doc", "{\\rtf1 Other terms}");
       },
       "C:\\Target",
       {"message \"Ошибка\": Файл licenz.doc поврежден или взят с другого дистрибутива !"}},
      {"sealed, the licence gone",
       [](Machine& m) {
         m.SealMedium();
         m.p.EraseFile("C:\\MEDIUM\\licenz.doc");
       },
       "C:\\Target",
       {"message \"Ошибка\": Файл licenz.doc поврежден или взят с другого дистрибутива !"}},
      {"one file, a byte of its archive changed",
       [](Machine& m) {
         m.MakeOneFile(true);
         std::string file = m.p.Content(kOwnProgram);
         file[TinyProgram().size() + 100] ^= 1;
         m.p.AddFile(kOwnProgram, file);
       },
       "C:\\Target",
       {"message \"Ошибка\": Файл Kelvantor-setup.exe поврежден или загружен не полностью !",
        "joining volumes: failed", "not installed"}},
      {"one file, cut short",
       [](Machine& m) {
         m.MakeOneFile(false);
         m.p.AddFile(kOwnProgram, m.p.Content(kOwnProgram).substr(0, TinyProgram().size() + 999));
       },
       "C:\\Target",
       {"the program's file is cut short or damaged: Kelvantor-setup.exe",
        "message \"Ошибка\": Файл Kelvantor-setup.exe поврежден или загружен не полностью !"}},
      {"one file, not sealed",
       [](Machine& m) {
         m.MakeOneFile(false);
         m.p.seal_block = std::string(kSealBlockSize, '\0');
       },
       "C:\\Target",
       {"message \"Ошибка\": Файл Kelvantor-setup.exe поврежден или загружен не полностью !"}},
      {"one file, another licence",
       [](Machine& m) {
         m.MakeOneFile(true);
         std::string file = m.p.Content(kOwnProgram);
         file[file.size() - 60] ^= 1;
         m.p.AddFile(kOwnProgram, file);
       },
       "C:\\Target",
       {"message \"Ошибка\": Файл Kelvantor-setup.exe поврежден или загружен не полностью !"}},
      {"a damaged seal", [](Machine& m) { m.p.seal_block = std::string(kSealBlockSize, '\x01'); },
       "C:\\Target",
       {"message \"Ошибка\": Файл setup.exe поврежден или взят с другого дистрибутива !"}},
      {"a product file held open",
       [](Machine& m) {
         m.p.AddFile("C:\\Target\\Readme.txt", "old");
         m.p.AddFile("C:\\Target\\kelvanto.exe", "old");
         m.p.HoldOpenBy("C:\\Target\\kelvanto.exe", "Kelvantor");
       },
       "C:\\Target",
       {"file in use: C:\\Target\\kelvanto.exe", "held by Kelvantor", "answer: Cancel",
        "installation not begun: a product file is in use"}},
  };
  for (const Case& c : cases) {
    Machine m;
    c.damage(m);
    const auto before = m.p.Tree();
    EXPECT_EQ(RunSetup(m.p, std::string("/s /log=C:\\setup.log /d=") + c.folder), 1) << c.name;
    EXPECT_THAT(m.p.boxes, IsEmpty()) << c.name;
    const std::string log = m.Log();
    for (const std::string& line : c.logged) EXPECT_THAT(log, HasSubstr(U(line) + "\n")) << c.name;
    EXPECT_THAT(log, HasSubstr("\nexit code 1\n")) << c.name;
    auto after = m.p.Tree();
    after.erase(std::remove(after.begin(), after.end(), "C:\\setup.log"), after.end());
    EXPECT_EQ(after, before) << c.name << ": rolled back";
    EXPECT_FALSE(m.p.HasRegKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                               "Kelvantor 3.01")) << c.name;
  }
}

// Also a log named like a file of the medium or of the product, in any case or folder, or with a
// name the system would change or take for a device: the medium and an installed program stay
// byte for byte.
TEST(Unattended, WrongCommandLineDoesNothingAndShowsTheUsageOnlyWithoutS) {
  for (const char* line : {"/LOG=C:\\setup.log /Q", "/S /LOG=C:\\setup.log /Q", "/S /LOG=licenz.doc",
                           "/LOG=..\\MEDIUM\\XALARCH.V1", "/S /LOG=C:\\Kelvanto\\kelvanto.exe",
                           "/S /LOG=xalarch.pry", "/S /LOG=a.log.", "/S /LOG=licenz.doc::$DATA",
                           "/S /LOG=C:\\x\\lpt1.log", "/S /LOG=C:\\COM\xC2\xB9.log",
                           "/LOG=lpt\xC2\xB3", "/S /LOG=C:\\Logs\\KELVANTOR-SETUP.EXE"}) {
    Machine m;
    m.p.AddFile("C:\\Kelvanto\\kelvanto.exe", "installed");
    m.p.own_program = kOwnProgram;
    const auto before = m.p.Tree();
    const std::string licence = m.p.Content("C:\\MEDIUM\\licenz.doc");
    const bool silent = line[1] == 'S';
    EXPECT_EQ(RunSetup(m.p, line), 2) << line;
    EXPECT_EQ(m.p.Tree(), before) << "no log, no folder: " << line;
    EXPECT_EQ(m.p.Content("C:\\MEDIUM\\licenz.doc"), licence) << line;
    EXPECT_EQ(m.p.Content("C:\\Kelvanto\\kelvanto.exe"), "installed") << line;
    EXPECT_THAT(m.p.metrics_set, IsEmpty());
    ASSERT_EQ(m.p.boxes.size(), silent ? 0u : 1u) << line;
    if (!silent) {
      EXPECT_THAT(m.p.boxes[0].text, HasSubstr("setup.exe [/S] [/LOG=файл] [/D=папка]"));
      EXPECT_EQ(m.p.boxes[0].caption, "Ошибка");
    }
  }
}

// The medium in the program's own file is the one installed, whatever the current folder holds.
TEST(Unattended, OneFileMediumInstallsFromAFolderHoldingNothingOrAnotherMedium) {
  for (const bool full : {true, false}) {
    for (const bool other_medium : {false, true}) {
      Installer m;
      m.p.metrics.caption_font.char_set = 0;
      if (other_medium) m.MakeMedium(!full, {{"kelvanto.exe", "another medium's"}});
      const std::vector<ProductFile> product = SampleProduct();
      m.MakeOneFile(full, product);
      EXPECT_EQ(RunSetup(m.p, "/S /LOG=C:\\setup.log /D=C:\\Target"), 0) << full << other_medium;
      for (const auto& [name, content] : product) {
        EXPECT_EQ(m.p.Content("C:\\Target\\" + name), content) << name;
      }
      EXPECT_FALSE(m.p.HasFile("C:\\Target\\xalarch.pry"));
      const std::string log = m.p.Content("C:\\setup.log");
      EXPECT_THAT(log, HasSubstr("the medium is in the program's file Kelvantor-setup.exe"));
      EXPECT_THAT(log, HasSubstr(full ? "licence accepted" : "demo edition"));
      EXPECT_EQ(m.p.open_files(), 0);
    }
  }
}

TEST(Unattended, NoFirstVolumeAndAnUnwritableLogNeitherAskNorStopTheRun) {
  FakePlatform p;
  EXPECT_EQ(RunSetup(p, "/S /LOG=C:\\setup.log"), 1);
  EXPECT_THAT(p.boxes, IsEmpty());
  EXPECT_THAT(p.Content("C:\\setup.log"),
              HasSubstr(U("message \"Ошибка\": Файл xalarch.v1 не обнаружен !\r\n")));

  Machine m(false);
  EXPECT_EQ(RunSetup(m.p, "/S \"/LOG=C:\\No such folder\\setup.log\""), 0);
  EXPECT_TRUE(m.p.HasFile("C:\\Kelvanto\\kelvanto.exe")) << "the proposed folder";
}

// The wizard's exit code follows what the installation came to, not how the window went.
TEST(WizardExitCode, InstalledOrNotHoweverTheWindowEnds) {
  struct Case {
    const char* name;
    std::function<void(Machine&, TForm1&)> user;
    int code;
  } cases[] = {
      {"Ok after success", [](Machine& m, TForm1& f) { m.Walk(f); f.Button1Click(); f.Button1Click(); }, 0},
      {"close box after success", [](Machine& m, TForm1& f) { m.Walk(f); f.Button1Click(); }, 0},
      {"close box on the welcome page", [](Machine&, TForm1&) {}, 1},
      {"close box while unpacking",
       [](Machine& m, TForm1& f) {
         m.Walk(f);
         m.p.on_pump = [&](int) {
           if (f.context().WizardState == kStateCopying) m.view.Close();
         };
         f.Button1Click();
       },
       0},
      {"&Ok after Cancel", [](Machine&, TForm1& f) { f.Button2Click(); f.Button1Click(); }, 1},
      {"Cancel after success", [](Machine& m, TForm1& f) { m.Walk(f); f.Button1Click(); f.Button2Click(); }, 1},
      {"refused folder", [](Machine& m, TForm1& f) { m.Walk(f, "Kelvanto"); f.Button1Click(); }, 1},
      {"an error escapes after success",
       [](Machine& m, TForm1& f) { m.Walk(f); f.Button1Click(); throw std::bad_alloc(); }, 0},
  };
  for (const Case& c : cases) {
    Machine m;
    m.p.on_message_loop = [&](TForm1& f) { c.user(m, f); };
    EXPECT_EQ(RunSetup(m.p, "/LOG=C:\\setup.log"), c.code) << c.name;
    EXPECT_THAT(m.Log(), HasSubstr("exit code " + std::to_string(c.code) + "\n")) << c.name;
    EXPECT_TRUE(m.view.closed) << c.name;
  }
  Machine m;
  m.p.window_fails = true;
  EXPECT_EQ(RunSetup(m.p, "/LOG=C:\\setup.log"), 1) << "no window: nobody could end the run";
  EXPECT_THAT(m.Log(), HasSubstr("the window could not be created\nexit code 1\n"));
  EXPECT_THAT(m.p.metrics_set, Not(IsEmpty())) << "switched";
  EXPECT_EQ(m.p.metrics.caption_font.char_set, 0) << "and back";
}

TEST(WizardExitCode, FolderSwitchFillsTheEditorAndTheLogKeepsEveryAnswer) {
  Machine m(false);
  m.CancelOn("Вы хотите прервать установку ?");
  m.p.on_message_loop = [&](TForm1& f) {
    EXPECT_EQ(m.view[Ctl::Edit1].text, "C:\\Program Files\\Kelvanto");
    f.Button2Click();
    f.Button2Click();
  };
  EXPECT_EQ(RunSetup(m.p, "/LOG=C:\\setup.log /D=C:\\Program Files\\Kelvanto"), 1);
  EXPECT_TRUE(m.view.visible);
  EXPECT_THAT(m.Log(), HasSubstr(U("message \"Внимание\": Вы хотите прервать установку ?\n"
                                   "answer: Cancel\n")));
  EXPECT_THAT(m.Log(), Not(HasSubstr("installation aborted")));
  // A folder the code page cannot hold stands in the editor as given, and Next refuses it.
  Machine u(false);
  u.p.on_message_loop = [&](TForm1& f) {
    EXPECT_EQ(u.view[Ctl::Edit1].text, "C:\\Caf\xC3\xA9");
    f.Button1Click();
    f.Button1Click();
  };
  EXPECT_EQ(RunSetup(u.p, "/LOG=C:\\setup.log /D=C:\\Caf\xC3\xA9"), 1);
  EXPECT_THAT(u.BoxTexts(), ElementsAre("Путь введен неверно !"));
  EXPECT_FALSE(u.p.HasFolder("C:\\Cafe"));
  // The log names it as given, once: at the start, not again when Next refused it.
  const std::string log = u.Log(), named = "cannot hold the folder C:\\Caf\xC3\xA9\n";
  EXPECT_NE(log.find(named), std::string::npos) << log;
  EXPECT_EQ(log.find(named), log.rfind(named)) << log;
}

// One setup at a time: a second start, with or without /S, while the wizard of the first shows
// its licence, changes nothing and shows no wizard; the first then installs.
TEST(OneSetupAtATime, ASecondStartBringsTheWizardForwardOrEndsAtOnce) {
  Machine first;
  first.p.on_message_loop = [&](TForm1& f) {
    f.Button1Click();  // the licence page
    for (const char* line : {"/LOG=C:\\setup.log", "/S /LOG=C:\\setup.log /D=C:\\Kelvanto"}) {
      Machine second;
      second.p.machine = first.p.machine;
      const auto before = second.p.Tree();
      EXPECT_EQ(RunSetup(second.p, line), 1) << line;
      EXPECT_FALSE(second.p.view.visible) << line;
      EXPECT_THAT(second.p.boxes, IsEmpty()) << line;
      EXPECT_THAT(second.p.metrics_set, IsEmpty()) << line;
      auto after = second.p.Tree();
      after.erase(std::remove(after.begin(), after.end(), "C:\\setup.log"), after.end());
      EXPECT_EQ(after, before) << line;
      EXPECT_THAT(second.Log(), HasSubstr("another setup is running\n")) << line;
    }
    EXPECT_EQ(first.p.brought_to_front, 1) << "by the start without /S only";
    f.Button1Click();
    first.view.Type("C:\\Kelvanto");
    f.Button1Click();
    f.Button1Click();
  };
  EXPECT_EQ(RunSetup(first.p, "/LOG=C:\\setup.log"), 0);
  EXPECT_TRUE(first.p.HasFile("C:\\Kelvanto\\kelvanto.exe"));

  // No wizard to bring forward (an unattended run, or one still starting), or another user's
  // lock that may not be opened: one box says why.
  for (const bool denied : {false, true}) {
    Machine other, second;
    second.p.machine = other.p.machine;
    if (denied) {
      other.p.machine->lock_denied = true;
    } else {
      ASSERT_EQ(other.p.LockSetup(), SetupLock::kTaken);
    }
    EXPECT_EQ(RunSetup(second.p), 1);
    EXPECT_THAT(second.BoxTexts(), ElementsAre(text::kMsgSetupRunning));
    EXPECT_FALSE(second.p.view.visible);
  }
}

}  // namespace
}  // namespace kv::test

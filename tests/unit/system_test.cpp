// Program group, desktop shortcut, removal of a previous version and the system fonts.
#include "system/program_group.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kPrograms = "C:\\Users\\user\\Start Menu\\Programs\\";
const std::string kDesktop = "C:\\Users\\user\\Desktop\\";

TEST(GroupMacro, ByteForByteForBothEditionsAndBothFontStates) {
  InstallContext c;
  c.ProductName = "Kelvantor 3.01 demo";
  c.TargetDir = "C:\\Program Files\\My Kelvanto\\";
  c.FontsAdjusted = false;
  const std::string d = c.TargetDir;
  const std::string expected =
      "[DeleteGroup(\"Kelvantor 3.01 demo\",0)]\r\n"
      "[CreateGroup(\"Kelvantor 3.01 demo\",0)]\r\n"
      "[DeleteItem(\"Uninstall\")]\r\n"
      "[AddItem(\"C:\\Program Files\\My Kelvanto\\Uninstall.exe\",\"Uninstall\")]\r\n"
      "[DeleteItem(\"Kelvantor 3.01 demo\")]\r\n"
      "[AddItem(\"C:\\Program Files\\My Kelvanto\\Kelvanto.exe\",\"Kelvantor 3.01 demo\")]\r\n"
      "[DeleteItem(\"Help\")]\r\n"
      "[AddItem(\"C:\\Program Files\\My Kelvanto\\kelvanto.hlp\",\"Help\")]\r\n"
      "[DeleteItem(\"Readme.doc\")]\r\n"
      "[AddItem(\"C:\\Program Files\\My Kelvanto\\Readme.doc\",\"Readme.doc\")]\r\n"
      "[DeleteItem(\"Заказать\")]\r\n"
      "[AddItem(\"C:\\Program Files\\My Kelvanto\\wizard.exe\",\"Заказать\")]\r\n"
      "[ShowGroup(\"Kelvantor 3.01 demo\",1,0)]\r\n";
  EXPECT_EQ(ProgramGroupMacro(c), expected);
  c.FontsAdjusted = true;
  c.ProductName = "Kelvantor 3.01";
  const std::string english = ProgramGroupMacro(c);
  EXPECT_NE(english.find("[DeleteItem(\"Order form\")]\r\n[AddItem(\"" + d +
                         "wizard.exe\",\"Order form\")]\r\n"),
            std::string::npos);
  EXPECT_EQ(english.find("Заказать"), std::string::npos);
  const std::string last = "[ShowGroup(\"Kelvantor 3.01\",1,0)]\r\n";
  EXPECT_EQ(english.rfind(last), english.size() - last.size());
}

TEST(Group, SentOverOneConversationOrSilentlyNotAtAll) {
  Installer t;
  t.MakeMedium(true);
  t.Start();
  t.ctx.TargetDir = "C:\\K\\";
  t.form->CreateProgramGroup();
  ASSERT_EQ(t.p.dde_executed.size(), 1u);
  EXPECT_EQ(t.p.dde_executed[0], ProgramGroupMacro(t.ctx));
  EXPECT_EQ(t.p.dde_open, 0) << "the conversation is closed after the request";
  EXPECT_EQ(t.ctx.WizardState, 4);
  EXPECT_EQ(t.view[Ctl::Label2].text, "Создаю группу \"Kelvantor 3.01\"...");

  // No server. Program Manager files planted in the medium and the current (target) folder are
  // never started; with none in the system or Windows folder nothing is started at all.
  t.p.dde_server = false;
  t.p.progman_startable = true;
  t.p.AddFile("C:\\MEDIUM\\progman.exe");
  t.p.AddFile("C:\\K\\progman.exe");
  t.p.SetCurrentDir("C:\\K");
  t.form->CreateProgramGroup();
  EXPECT_THAT(t.p.win_execs, IsEmpty());
  EXPECT_EQ(t.p.dde_executed.size(), 1u);
  EXPECT_THAT(t.p.boxes, IsEmpty());

  // The Windows folder's copy is the fallback; the system folder's comes first.
  t.p.AddFile("C:\\WINDOWS\\progman.exe");
  t.form->CreateProgramGroup();
  EXPECT_THAT(t.p.win_execs, ElementsAre("\"C:\\WINDOWS\\progman.exe\" ProgMan"));
  EXPECT_EQ(t.p.dde_executed.size(), 2u) << "started, then connected once more";
  t.p.dde_server = false;
  t.p.AddFile("C:\\WINDOWS\\SYSTEM\\PROGMAN.EXE");
  t.form->CreateProgramGroup();
  EXPECT_EQ(t.p.win_execs.back(), "\"C:\\WINDOWS\\SYSTEM\\progman.exe\" ProgMan");
}

TEST(Group, DeletionLeavesAFolderWithAStrangerAndSaysSo) {
  Installer t;
  t.MakeMedium(false);
  t.Start();
  const std::string folder = kPrograms + "Kelvantor 3.01 demo\\";
  for (const char* link : {"Kelvantor 3.01 demo.lnk", "Uninstall.lnk", "Help.lnk",
                           "Readme.doc.lnk", "Order form.lnk", "Заказать.lnk"}) {
    t.p.AddFile(folder + link);
  }
  t.p.AddFile(folder + "mine.lnk");
  t.p.AddFile(kPrograms + "Kelvantor 3.01\\Help.lnk");  // the other edition's group
  t.form->DeleteProgramGroup();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу удалить группу !"));
  EXPECT_THAT(t.p.Tree(), ::testing::Contains(folder + "mine.lnk"));
  EXPECT_FALSE(t.p.HasFile(folder + "Help.lnk"));
  EXPECT_TRUE(t.p.HasFile(kPrograms + "Kelvantor 3.01\\Help.lnk"));
  t.p.EraseFile(folder + "mine.lnk");
  t.p.boxes.clear();
  t.form->DeleteProgramGroup();
  EXPECT_FALSE(t.p.HasFolder(folder));
  t.form->DeleteProgramGroup();  // nothing there any more: silent
  EXPECT_THAT(t.p.boxes, IsEmpty());
}

TEST(Shortcut, PropertiesAndName) {
  Installer t;
  t.MakeMedium(true);
  t.Start();
  t.ctx.TargetDir = "C:\\Kelvanto\\";
  t.form->CreateDesktopShortcut();
  ASSERT_EQ(t.p.links.size(), 1u);
  const ShellLinkRequest& link = t.p.links.begin()->second;
  EXPECT_EQ(link.file, kDesktop + "Kelvantor 3.01.lnk");
  EXPECT_EQ(link.description, "Kelvantor 3.01");
  EXPECT_EQ(link.path, "C:\\Kelvanto\\Kelvanto.exe");
  EXPECT_EQ(link.working_directory, "C:\\Kelvanto\\");
  EXPECT_EQ(link.icon_path, "C:\\Kelvanto\\Kelvanto.exe");
  EXPECT_EQ(link.icon_index, 0);
  EXPECT_EQ(t.ctx.WizardState, 6);
}

TEST(Shortcut, NoLinkObjectIsSilentAndAReadOnlyLinkIsReportedAtRollback) {
  Installer t;
  t.MakeMedium(true);
  t.p.link_outcome = ShellLinkOutcome::kNoLinkObject;
  t.Install();
  EXPECT_THAT(t.p.boxes, IsEmpty());
  EXPECT_EQ(t.ctx.WizardState, 6);
  EXPECT_EQ(t.view[Ctl::Label3].text, "Установка успешно завершена !");
  t.p.AddFile(kDesktop + "Kelvantor 3.01.lnk", "", true);
  t.p.AddFile(kDesktop + "Kelvantor 3.01 demo.lnk");
  t.form->Button2Click();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Вы хотите прервать установку ?", "Не могу удалить ярлык !"));
  EXPECT_TRUE(t.p.HasFile(kDesktop + "Kelvantor 3.01 demo.lnk"));
  EXPECT_EQ(t.ctx.WizardState, 8) << "the rollback went on";
}

// ---- Removal of a previous version ---------------------------------------------------------------

struct Previous : Installer {
  Previous(const std::string& previous_dir, const std::string& previous_name,
           const std::string& target) {
    MakeMedium(true);
    Start();
    ctx.PreviousDir = previous_dir;
    ctx.PreviousProductName = previous_name;
    ctx.TargetDir = target;
    p.SetRegValue(kUninstall + previous_name, "DisplayName", kRegSz, previous_name);
    p.AddFile(kDesktop + previous_name + ".lnk");
    p.AddFile(kPrograms + previous_name + "\\" + previous_name + ".lnk");
    p.AddFile(kPrograms + previous_name + "\\Заказать.lnk");
  }
  bool Removed() {
    form->RemovePreviousVersion();
    EXPECT_EQ(view[Ctl::Label2].text, "Удаляю старую версию...");
    EXPECT_THAT(p.boxes, IsEmpty());
    const std::string& name = ctx.PreviousProductName;
    const bool key = p.HasRegKey(kUninstall + name);
    const bool link = p.HasFile(kDesktop + name + ".lnk");
    const bool group = p.HasFolder(kPrograms + name);
    EXPECT_TRUE(key == link && link == group) << "all three blocks ran, or none";
    return !key;
  }
  const std::string kUninstall = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
};

TEST(PreviousVersion, EntryTest) {
  EXPECT_TRUE(Previous("C:\\Kelvanto\\", "Kelvantor 3.01 demo", "C:\\Kelvanto\\").Removed());
  EXPECT_TRUE(Previous("C:\\Kelvanto", "Kelvantor", "C:\\Kelvanto\\").Removed())
      << "first installation into the default folder";
  EXPECT_FALSE(Previous("C:\\Kelvanto\\", "Kelvantor 3.01", "C:\\Kelvanto\\").Removed())
      << "same edition";
  EXPECT_FALSE(Previous("D:\\Other\\", "Kelvantor 3.01 demo", "C:\\Kelvanto\\").Removed());
  EXPECT_FALSE(Previous("C:\\KELVANTO\\", "Kelvantor 3.01 demo", "C:\\Kelvanto\\").Removed())
      << "letter case counts";
  EXPECT_FALSE(Previous("C:\\Kelvanto\\\\", "Kelvantor 3.01 demo", "C:\\Kelvanto\\").Removed());
}

TEST(PreviousVersion, EmptyNameOrMissingShellFoldersRemoveNothingShared) {
  Previous t("C:\\Kelvanto\\", "", "C:\\Kelvanto\\");
  t.p.AddFile(kPrograms + "Other Product\\x.lnk");
  const auto tree = t.p.Tree();
  t.form->RemovePreviousVersion();
  EXPECT_EQ(t.p.Tree(), tree);
  EXPECT_THAT(t.p.reg_deletes, IsEmpty());

  Previous u("C:\\Kelvanto\\", "Kelvantor 3.01 demo", "C:\\Kelvanto\\");
  u.p.special_folders.clear();
  u.p.AddFile(kPrograms + "mine.txt");
  u.form->RemovePreviousVersion();
  EXPECT_FALSE(u.p.HasRegKey(u.kUninstall + "Kelvantor 3.01 demo")) << "the registry block ran";
  EXPECT_TRUE(u.p.HasFile(kDesktop + "Kelvantor 3.01 demo.lnk"));
}

TEST(PreviousVersion, AGroupFolderWithTheUsersFileStaysQuietly) {
  Previous t("C:\\Kelvanto\\", "Kelvantor 3.01 demo", "C:\\Kelvanto\\");
  t.p.AddFile(kPrograms + "Kelvantor 3.01 demo\\mine.txt");
  t.form->RemovePreviousVersion();
  EXPECT_TRUE(t.p.HasFile(kPrograms + "Kelvantor 3.01 demo\\mine.txt"));
  EXPECT_FALSE(t.p.HasFile(kPrograms + "Kelvantor 3.01 demo\\Заказать.lnk"));
  EXPECT_THAT(t.p.boxes, IsEmpty());
}

// ---- System fonts --------------------------------------------------------------------------------

TEST(Fonts, SwitchRules) {
  struct Case {
    const char* what;
    std::uint8_t caption, sm_caption, menu, status, message;
    bool adjusted, caption_arial, message_arial;
  } cases[] = {
      {"all Cyrillic", 204, 204, 204, 204, 204, false, false, false},
      {"caption only", 0, 204, 204, 204, 204, true, true, false},
      {"caption and message", 0, 204, 204, 204, 238, true, true, true},
      {"menu only", 204, 204, 0, 204, 204, true, false, false},
      {"status only", 204, 204, 204, 161, 204, true, false, false},
      {"small caption only", 204, 0, 204, 204, 204, false, false, false},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    InstallContext ctx;
    p.metrics.caption_font.char_set = c.caption;
    p.metrics.caption_font.height = -13;
    p.metrics.caption_font.weight = 700;
    p.metrics.sm_caption_font.char_set = c.sm_caption;
    p.metrics.menu_font.char_set = c.menu;
    p.metrics.status_font.char_set = c.status;
    p.metrics.message_font.char_set = c.message;
    const NonClientMetrics before = p.metrics;
    AdjustSystemFonts(p, ctx);
    EXPECT_EQ(ctx.FontsAdjusted, c.adjusted) << c.what;
    ASSERT_EQ(p.metrics_set.size(), c.adjusted ? 1u : 0u) << c.what;
    if (c.adjusted) {
      const NonClientMetrics& set = p.metrics_set[0];
      EXPECT_EQ(set.cb_size, 340u);
      const char arial[32] = "Arial";
      EXPECT_EQ(std::memcmp(set.caption_font.face_name, c.caption_arial ? arial : before.caption_font.face_name, 32), 0) << c.what;
      EXPECT_EQ(set.caption_font.char_set, c.caption_arial ? 204 : c.caption) << c.what;
      EXPECT_EQ(set.caption_font.height, -13);
      EXPECT_EQ(set.caption_font.weight, 700);
      EXPECT_EQ(std::memcmp(set.message_font.face_name, c.message_arial ? arial : before.message_font.face_name, 32), 0) << c.what;
      EXPECT_EQ(set.menu_font.char_set, c.menu);
      EXPECT_EQ(set.status_font.char_set, c.status);
    }
    RestoreSystemFonts(p, ctx);
    EXPECT_EQ(p.metrics_set.size(), c.adjusted ? 2u : 0u);
    EXPECT_EQ(std::memcmp(&p.metrics, &before, sizeof before), 0) << c.what;
  }
}

TEST(Fonts, FailedQueryChangesNothingNowOrAtTheEnd) {
  FakePlatform p;
  InstallContext ctx;
  p.metrics_query_ok = false;
  AdjustSystemFonts(p, ctx);
  RestoreSystemFonts(p, ctx);
  EXPECT_FALSE(ctx.FontsAdjusted);
  EXPECT_THAT(p.metrics_set, IsEmpty());
}

}  // namespace
}  // namespace kv::test

// Start-up: the entry's branches, edition detection, the licence and the proposed folder.
#include "app/entry.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

using ::testing::ElementsAre;

TEST(Entry, FolderWithFirstVolumeStartsTheWizardWithTheTitle) {
  FakePlatform p;
  p.AddFile("C:\\MEDIUM\\xalarch.v1", "x");
  std::string source;
  p.on_message_loop = [&](TForm1& form) { source = form.context().SourceDir; };
  EXPECT_EQ(RunSetup(p), 1) << "closed without installing";
  EXPECT_EQ(source, "C:\\MEDIUM\\");
  EXPECT_EQ(p.app_title, "Установка Kelvantor");
  EXPECT_TRUE(p.view.visible);
  EXPECT_EQ(p.view.focused, Ctl::Button1);
  EXPECT_EQ(p.dde_instances, 0) << "the DDE instance is released at exit";
}

TEST(Entry, DriveRootKeepsTheDefaultTitleAndTheRootAsSource) {
  FakePlatform p;
  p.AddDrive('A', {kDriveRemovable, true, 1000000});
  p.AddFile("A:\\xalarch.v1", "x");
  p.current_dir = "A:\\";
  std::string source;
  p.on_message_loop = [&](TForm1& form) { source = form.context().SourceDir; };
  EXPECT_EQ(RunSetup(p), 1) << "closed without installing";
  EXPECT_EQ(source, "A:\\");
  EXPECT_EQ(p.app_title, "setup");
}

TEST(Entry, MissingFirstVolumeShowsOneBoxAndNoWindowNorFontSwitch) {
  FakePlatform p;
  p.AddFile("C:\\PROGRAM\\xalarch.v1", "beside the program, not in the current folder");
  p.metrics.caption_font.char_set = 0;  // would be switched if the fonts were touched
  EXPECT_EQ(RunSetup(p), 1);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text, "Файл xalarch.v1 не обнаружен !");
  EXPECT_EQ(p.boxes[0].caption, "Ошибка");
  EXPECT_EQ(p.boxes[0].flags, kMbOk | kMbIconError);
  EXPECT_FALSE(p.view.visible);
  EXPECT_TRUE(p.metrics_set.empty());
}

TEST(Entry, FontsSwitchedAtStartAreRestoredOnceHoweverTheProgramEnds) {
  for (const bool stray_error : {false, true}) {
    FakePlatform p;
    p.AddFile("C:\\MEDIUM\\xalarch.v1", "x");
    p.metrics.caption_font.char_set = 0;
    const NonClientMetrics before = p.metrics;
    int sets_while_running = -1;
    p.on_message_loop = [&](TForm1&) {
      sets_while_running = static_cast<int>(p.metrics_set.size());
      if (stray_error) throw std::runtime_error("an error no step caught");
    };
    EXPECT_EQ(RunSetup(p), 1) << "an error no step caught: not installed";
    EXPECT_EQ(sets_while_running, 1);
    ASSERT_EQ(p.metrics_set.size(), 2u) << stray_error;
    EXPECT_EQ(std::memcmp(&p.metrics_set[1], &before, sizeof before), 0);
  }
}

TEST(Edition, FullEditionCaptionNameAndRtfLicence) {
  Installer t;
  t.MakeMedium(true);
  t.Start();
  EXPECT_TRUE(t.ctx.FullEdition);
  EXPECT_EQ(t.ctx.ProductName, "Kelvantor 3.01");
  EXPECT_EQ(t.view[Ctl::RxLabel1].text, "версия 3.01/5");
  EXPECT_EQ(t.view.licence, "{\\rtf1 Licence}");
  EXPECT_TRUE(t.view.licence_rtf);
  EXPECT_TRUE(t.p.boxes.empty());
  EXPECT_EQ(t.ctx.WizardState, 0);
  EXPECT_TRUE(t.ctx.StepOk);
}

TEST(Edition, DemoEditionIgnoresALicenceWithoutTheMarker) {
  Installer t;
  t.MakeMedium(false);
  t.p.AddFile("C:\\MEDIUM\\licenz.doc", "{\\rtf1 x}");
  t.Start();
  EXPECT_FALSE(t.ctx.FullEdition);
  EXPECT_EQ(t.ctx.ProductName, "Kelvantor 3.01 demo");
  EXPECT_EQ(t.view[Ctl::RxLabel1].text, "демо-версия 3.01/5");
  EXPECT_TRUE(t.view.licence.empty());
}

TEST(Licence, PlainTextMissingAndUnreadable) {
  {
    Installer t;
    t.MakeMedium(true);
    t.p.AddFile("C:\\MEDIUM\\licenz.doc", "Plain licence text");
    t.Start();
    EXPECT_EQ(t.view.licence, "Plain licence text");
    EXPECT_FALSE(t.view.licence_rtf);
  }
  {
    // A viewer that takes no rich text (no rich-text library on the system) shows the text of
    // it: never the markup, never an empty page.
    Installer t;
    t.MakeMedium(true);
    t.p.AddFile("C:\\MEDIUM\\licenz.doc",
                "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
                "{\\*\\generator Pad;}\\f0\\fs20 \\'cb\\'e8\\'f6\\'e5\\'ed\\'e7\\'e8\\'ff\\par\r\n"
                "{\\b Text} \\{1\\}\\tab end\\line\\u8212?\\par}");
    t.view.reject_rtf = true;
    t.Start();
    EXPECT_EQ(t.view.licence, "Лицензия\r\nText {1}\tend\r\n?\r\n");
    EXPECT_FALSE(t.view.licence_rtf);
  }
  {
    Installer t;
    t.MakeMedium(true);
    t.p.EraseFile("C:\\MEDIUM\\licenz.doc");
    t.Start();
    EXPECT_THAT(t.BoxTexts(), ElementsAre("Файл licenz.doc не обнаружен!"));
    EXPECT_EQ(t.view[Ctl::Edit1].text, "C:\\Kelvanto") << "start-up goes on";
  }
  {
    Installer t;
    t.MakeMedium(true);
    t.p.FailReads("C:\\MEDIUM\\licenz.doc");
    t.Start();
    EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу прочитать файл licenz.doc !"));
    EXPECT_TRUE(t.view.licence.empty());
    EXPECT_EQ(t.p.open_files(), 0);
  }
}

TEST(PreviousDir, MissingKeyGivesTheDefaultAndCreatesTheEmptyKey) {
  Installer t;
  t.MakeMedium(false);
  t.Start();
  EXPECT_EQ(t.view[Ctl::Edit1].text, "C:\\Kelvanto");
  EXPECT_TRUE(t.p.HasRegKey("HKCU\\Software\\VOLKRA-TENZ\\Kelvantor"));
  EXPECT_FALSE(t.p.HasRegKey("HKCU\\Software\\VOLKRA-TENZ\\Kelvantor\\State"));
  EXPECT_EQ(t.p.open_keys(), 0);
}

TEST(PreviousDir, StoredValuesByType) {
  struct Case {
    std::uint32_t type;
    std::string data, expected;
  } cases[] = {
      {kRegSz, std::string("D:\\Work\\Kelvanto\\\0", 18), "D:\\Work\\Kelvanto\\"},
      {kRegSz, std::string("\0", 1), ""},
      {kRegSz, "", ""},
      {kRegExpandSz, std::string("%TEMP%\\K\0", 9), "%TEMP%\\K"},
      {kRegDword, std::string("\1\0\0\0", 4), "C:\\Kelvanto"},
      {kRegBinary, "AB", "C:\\Kelvanto"},
  };
  for (const Case& c : cases) {
    Installer t;
    t.MakeMedium(false);
    t.p.SetRegValue("HKCU\\Software\\VOLKRA-TENZ\\Kelvantor\\State", "WorkingDir", c.type, c.data);
    t.Start();
    EXPECT_EQ(t.view[Ctl::Edit1].text, c.expected) << "type " << c.type;
    EXPECT_EQ(t.ctx.PreviousDir, c.expected);
  }
}

}  // namespace
}  // namespace kv::test

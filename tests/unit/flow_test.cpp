// The wizard's state machine over both editions, and the installation sequence.
#include <algorithm>

#include "app/entry.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(Flow, FullEditionWelcomeLicenceFolderBackLicence) {
  Installer t;
  t.MakeMedium(true);
  TForm1& f = t.Start();
  EXPECT_TRUE(t.view[Ctl::Label3].visible);
  EXPECT_EQ(t.view[Ctl::Label3].text, "Добро пожаловать !\r\nНачнем установку ?");
  EXPECT_FALSE(t.view[Ctl::Label2].visible);
  EXPECT_EQ(t.view[Ctl::Button1].text, "&Дальше >");
  EXPECT_EQ(t.view[Ctl::Button2].text, "Отменить");

  f.Button1Click();
  EXPECT_EQ(t.ctx.WizardState, 10);
  EXPECT_TRUE(t.view[Ctl::RichEdit1].visible);
  EXPECT_TRUE(t.view[Ctl::Edit1].visible) << "shown under the licence viewer";
  EXPECT_TRUE(t.view[Ctl::Label2].visible);
  EXPECT_FALSE(t.view[Ctl::Label3].visible);
  EXPECT_EQ(t.view[Ctl::Button1].text, "Согласен");

  f.Button1Click();
  EXPECT_EQ(t.ctx.WizardState, 1);
  EXPECT_FALSE(t.view[Ctl::RichEdit1].visible);
  EXPECT_EQ(t.view.focused, Ctl::Edit1);
  EXPECT_EQ(t.view[Ctl::Button1].text, "&Дальше >");
  EXPECT_EQ(t.view[Ctl::Button2].text, "< &Назад");

  t.view.Type("C:\\Mine");
  f.Button2Click();
  EXPECT_EQ(t.ctx.WizardState, 10);
  EXPECT_TRUE(t.view[Ctl::RichEdit1].visible);
  EXPECT_FALSE(t.view[Ctl::Edit1].visible);
  EXPECT_EQ(t.view[Ctl::Button1].text, "Согласен");
  EXPECT_EQ(t.view[Ctl::Button2].text, "Отменить");
  EXPECT_THAT(t.p.boxes, IsEmpty()) << "Back asks nothing";

  // The typed folder survives the way back and forth, and is the one installed into.
  f.Button1Click();
  EXPECT_EQ(t.view[Ctl::Edit1].text, "C:\\Mine");
  f.Button1Click();
  EXPECT_EQ(t.ctx.TargetDir, "C:\\Mine\\");
  EXPECT_TRUE(t.p.HasFile("C:\\Mine\\kelvanto.exe"));
  EXPECT_FALSE(t.p.HasFolder("C:\\Kelvanto"));
}

TEST(Flow, DemoGoesStraightToTheFolderPageWhereCancelAsks) {
  Installer t;
  t.MakeMedium(false);
  TForm1& f = t.Start();
  f.Button1Click();
  EXPECT_EQ(t.ctx.WizardState, 1);
  EXPECT_FALSE(t.view[Ctl::RichEdit1].visible);
  EXPECT_TRUE(t.view[Ctl::Edit1].visible);
  EXPECT_EQ(t.view.focused, Ctl::Edit1);
  EXPECT_EQ(t.view[Ctl::Button2].text, "Отменить");
  t.p.answer = [](const FakePlatform::Box&) { return kIdCancel; };
  f.Button2Click();
  ASSERT_EQ(t.p.boxes.size(), 1u);
  EXPECT_EQ(t.p.boxes[0].text, "Вы хотите прервать установку ?");
  EXPECT_EQ(t.p.boxes[0].caption, "Внимание");
  EXPECT_EQ(t.p.boxes[0].flags, kMbOkCancel | kMbIconExclamation);
  EXPECT_EQ(t.ctx.WizardState, 1) << "a declined question changes nothing";
}

TEST(Flow, CancelConfirmedOnEachPageLeavesTheDiskAsItWasAndOkCloses) {
  const struct {
    bool full;
    int clicks;
  } pages[] = {{true, 0}, {true, 1}, {false, 0}, {false, 1}};  // welcome, licence, folder
  for (const auto& page : pages) {
    Installer t;
    t.MakeMedium(page.full);
    TForm1& f = t.Start();
    for (int i = 0; i < page.clicks; ++i) f.Button1Click();
    const auto tree = t.p.Tree();
    f.Button2Click();
    EXPECT_EQ(t.p.Tree(), tree);
    EXPECT_EQ(t.ctx.WizardState, 8);
    EXPECT_FALSE(t.ctx.StepOk);
    EXPECT_EQ(t.view[Ctl::Label3].text, "Установка прервана !");
    EXPECT_TRUE(t.view[Ctl::Label3].visible);
    EXPECT_FALSE(t.view[Ctl::Button2].visible);
    EXPECT_FALSE(t.view[Ctl::RichEdit1].visible);
    EXPECT_FALSE(t.view[Ctl::Edit1].visible);
    EXPECT_EQ(t.view[Ctl::Button1].text, "&Ok");
    EXPECT_EQ(t.p.current_dir, "C:\\WINDOWS");
    f.Button1Click();
    EXPECT_TRUE(t.view.closed);
  }
}

TEST(Flow, EnterInTheEditorActsAsNextOtherKeysAreLeftAlone) {
  Installer t;
  t.MakeMedium(false);
  t.ToFolderPage("C:\\Kelvanto");
  char key = 'x';
  t.form->Edit2KeyPress(key);
  EXPECT_EQ(key, 'x');
  EXPECT_EQ(t.ctx.WizardState, 1);
  key = '\r';
  t.form->Edit2KeyPress(key);
  EXPECT_EQ(t.ctx.WizardState, 6);
  EXPECT_EQ(t.ctx.TargetDir, "C:\\Kelvanto\\");
}

TEST(Flow, RefusedFolderOnFullEditionThenButton2GoesBackWithoutAQuestion) {
  Installer t;
  t.MakeMedium(true);
  t.ToFolderPage("Kelvanto");
  t.form->Button1Click();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Путь введен неверно !"));
  EXPECT_EQ(t.ctx.WizardState, 1);
  EXPECT_EQ(t.view[Ctl::Button2].text, "Отменить");
  t.form->Button2Click();
  EXPECT_EQ(t.ctx.WizardState, 10);
  EXPECT_EQ(t.p.boxes.size(), 1u);
}

TEST(Flow, EmptyFolderTextIsRefused) {
  Installer t;
  t.MakeMedium(false);
  t.ToFolderPage("");
  const auto tree = t.p.Tree();
  t.form->Button1Click();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Путь введен неверно !"));
  EXPECT_EQ(t.ctx.WizardState, 1);
  EXPECT_EQ(t.view[Ctl::Edit1].text, "C:\\Kelvanto");
  EXPECT_EQ(t.p.Tree(), tree);
}

TEST(Flow, CompleteInstallationOfEachEdition) {
  for (bool full : {true, false}) {
    Installer t;
    t.MakeMedium(full);
    t.Install("C:\\Kelvanto");
    EXPECT_THAT(t.BoxTexts(), IsEmpty());
    EXPECT_EQ(t.ctx.WizardState, 6);
    EXPECT_TRUE(t.ctx.StepOk);
    EXPECT_EQ(t.view[Ctl::Label3].text, "Установка успешно завершена !");
    EXPECT_TRUE(t.view[Ctl::Label3].visible);
    EXPECT_FALSE(t.view[Ctl::Label2].visible);
    EXPECT_FALSE(t.view[Ctl::ProgressBar1].visible);
    EXPECT_FALSE(t.view[Ctl::ProgressBar2].visible);
    EXPECT_EQ(t.view[Ctl::ProgressBar2].position, 8);
    EXPECT_EQ(t.view[Ctl::Button1].text, "Ok");
    EXPECT_TRUE(t.view[Ctl::Button1].enabled);
    EXPECT_TRUE(t.view[Ctl::Button2].visible);
    for (const auto& [name, content] : SampleProduct()) {
      EXPECT_EQ(t.p.Content("C:\\Kelvanto\\" + name), content) << name;
    }
    EXPECT_FALSE(t.p.HasFile("C:\\Kelvanto\\xalarch.pry"));
    EXPECT_EQ(t.p.current_dir, "C:\\Kelvanto");
    EXPECT_EQ(t.p.open_files(), 0);
    t.form->Button1Click();
    EXPECT_EQ(t.ctx.WizardState, 8);
    EXPECT_TRUE(t.view.closed);
  }
}

TEST(Flow, CancelAfterSuccessTakesEverythingBackButThePerUserKey) {
  Installer t;
  t.MakeMedium(true);
  t.p.AddFile("C:\\Users\\user\\Start Menu\\Programs\\Kelvantor 3.01\\Help.lnk");
  const auto tree = t.p.Tree();
  t.Install("C:\\Kelvanto");
  t.form->Button2Click();
  EXPECT_EQ(t.ctx.WizardState, 8);
  auto expected = tree;
  std::erase(expected, "C:\\Users\\user\\Start Menu\\Programs\\Kelvantor 3.01\\");
  std::erase(expected, "C:\\Users\\user\\Start Menu\\Programs\\Kelvantor 3.01\\Help.lnk");
  EXPECT_EQ(t.p.Tree(), expected);
  EXPECT_TRUE(t.p.HasRegKey("HKCU\\Software\\VOLKRA-TENZ\\Kelvantor\\State"));
  EXPECT_FALSE(t.p.HasRegKey("HKCR\\.kvt"));
  EXPECT_FALSE(t.p.HasRegKey("HKCR\\Kelvantor.Список"));
  EXPECT_FALSE(t.p.HasRegKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                             "Kelvantor 3.01"));
}

// The close box as the window hands it to the form: on a page, the window closes at once, with no
// question and no rollback.
TEST(CloseBox, OnEveryPageEndsWithoutQuestionOrRollback) {
  for (int clicks = 0; clicks <= 4; ++clicks) {  // welcome, licence, folder, success, aborted
    Installer t;
    t.MakeMedium(true);
    t.Start();
    for (int i = 0; i < std::min(clicks, 3); ++i) t.form->Button1Click();
    if (clicks == 4) {
      t.form->Button2Click();  // confirmed: the finished installation is rolled back
    }
    const int state = t.ctx.WizardState;
    const auto tree = t.p.Tree();
    const std::size_t boxes = t.p.boxes.size();
    t.view.CloseBox();
    EXPECT_TRUE(t.view.closed) << clicks;
    EXPECT_EQ(t.p.boxes.size(), boxes) << clicks;
    EXPECT_EQ(t.ctx.WizardState, state) << clicks;
    EXPECT_EQ(t.p.Tree(), tree) << clicks;
  }
}

// While the installation runs, the close box leaves the sequence to finish, its disk prompt
// owned by the (hidden) window and shown in the switched fonts; then the window closes, the
// fonts go back, and nothing is rolled back.
TEST(CloseBox, DuringTheInstallationTheWindowClosesOnceTheSequenceHasReturned) {
  Installer t;
  t.MakeMedium(true);
  t.p.metrics.caption_font.char_set = 0;
  const std::string volume2 = t.p.Content("C:\\MEDIUM\\xalarch.v2");
  t.p.EraseFile("C:\\MEDIUM\\xalarch.v2");
  t.p.on_pump = [&](int pump) {
    if (pump == 1) t.view.CloseBox();
  };
  t.p.answer = [&](const FakePlatform::Box&) {
    t.p.AddFile("C:\\MEDIUM\\xalarch.v2", volume2);  // the user puts the disk in
    return kIdOk;
  };
  bool closed_in_sequence = true, closed_after = false;
  int state = -1;
  t.p.on_message_loop = [&](TForm1& f) {
    f.Button1Click();
    f.Button1Click();
    t.view.Type("C:\\Kelvanto");
    t.view.on_close = [&] { closed_in_sequence = f.context().WizardState != kStateShortcut; };
    f.Button1Click();
    closed_after = t.view.closed;
    state = f.context().WizardState;
  };
  EXPECT_EQ(RunSetup(t.p), 0);
  EXPECT_TRUE(t.view.hidden);
  EXPECT_TRUE(closed_after) << "closed when the sequence returned, not when the loop ended";
  EXPECT_FALSE(closed_in_sequence) << "closed only after the last step";
  EXPECT_EQ(state, kStateShortcut) << "no rollback";
  ASSERT_EQ(t.p.boxes.size(), 1u);
  EXPECT_EQ(t.p.boxes[0].text, "Вставьте диск 2:");
  EXPECT_TRUE(t.p.boxes[0].owned);
  EXPECT_EQ(t.p.boxes[0].fonts_set, 1) << "the fonts are still switched";
  EXPECT_EQ(t.p.metrics_set.size(), 2u);
  EXPECT_TRUE(t.p.HasFile("C:\\Kelvanto\\kelvanto.exe"));
}

}  // namespace
}  // namespace kv::test

// Cancel at every moment: a whole installation of each edition, with Cancel confirmed in message
// pump N for every N the installation has, and Cancel answered at each disk prompt. After each
// run the machine must hold what it held before, the user's files included, and nothing else.
#include <algorithm>

#include "app/entry.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

const std::string kTarget = "C:\\Kelvanto\\";

// Everything outside the target folder, and the registry keys, as they are now.
struct Machine {
  std::vector<std::string> outside, keys;
};
Machine Look(FakePlatform& p) {
  Machine m;
  for (const std::string& path : p.Tree()) {
    if (FakePlatform::Upper(path).rfind(FakePlatform::Upper(kTarget), 0) != 0) m.outside.push_back(path);
  }
  for (const std::string& key : p.RegKeys()) {
    if (FakePlatform::Upper(key).rfind("HKCU\\SOFTWARE\\VOLKRA-TENZ", 0) != 0) m.keys.push_back(key);
  }
  return m;
}

// An earlier installation in the target folder whose kelvanto.exe a running program holds until
// the question about it is answered.
void OldInstallationRunning(FakePlatform& p) {
  for (const ProductFile& f : SampleProduct()) p.AddFile(kTarget + f.first, "old");
  p.HoldOpenBy(kTarget + "kelvanto.exe", "Kelvantor");
}
bool LetGoAtTheQuestion(FakePlatform& p, const FakePlatform::Box& box) {
  if (box.text != FileInUseMessage("kelvanto.exe", "Kelvantor")) return false;
  p.LetGo(kTarget + "kelvanto.exe");
  return true;
}

// One installation cut at pump `cut` (0: never), or at the prompt for disk `disk` (0: none).
// Returns the number of pumps the run made.
int RunCut(bool full, int cut, int disk, int* most_undo_runs = nullptr, bool sealed = false,
           bool old = false) {
  Installer t;
  std::vector<ProductFile> files = SampleProduct();
  std::string noise(40000, '\0');  // incompressible: the volumes take many 2 KB chunks
  std::uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  files.emplace_back("count.dat", noise);
  t.MakeMedium(full, files);
  t.p.AddFile(kTarget + "mine.doc", "the user's own");
  t.p.AddFile(t.p.special_folders[kCsidlDesktop] + "\\notes.txt", "also the user's");
  if (sealed) t.SealMedium();
  if (disk) t.p.EraseFile("C:\\MEDIUM\\xalarch.v" + std::to_string(disk));
  if (old) OldInstallationRunning(t.p);
  const std::string prompt = disk ? "Вставьте диск " + std::to_string(disk) + ":" : "";
  t.p.answer = [&](const FakePlatform::Box& box) {
    LetGoAtTheQuestion(t.p, box);
    return box.text == prompt ? kIdCancel : kIdOk;
  };
  t.p.on_pump = [&](int pump) {
    if (pump == cut) t.form->Button2Click();
  };
  t.Start();
  const Machine before = Look(t.p);
  t.ToFolderPage(kTarget);
  t.form->Button1Click();
  if (cut == 0 && disk == 0) {
    EXPECT_EQ(t.ctx.WizardState, 6);
    return t.p.pumps;
  }
  const std::string where = (full ? "full" : "demo") + std::string(sealed ? " sealed" : "") +
                            std::string(old ? ", over a running one" : "") + ", pump " +
                            std::to_string(cut) + ", disk " + std::to_string(disk);
  EXPECT_EQ(t.ctx.WizardState, 8) << where;
  EXPECT_FALSE(t.ctx.StepOk) << where;
  EXPECT_EQ(t.view[Ctl::Label3].text, "Установка прервана !") << where;
  EXPECT_TRUE(t.view[Ctl::Label3].visible) << where;
  EXPECT_FALSE(t.view[Ctl::Button2].visible) << where;
  EXPECT_EQ(t.view[Ctl::Button1].text, "&Ok") << where;
  EXPECT_TRUE(t.view[Ctl::Button1].enabled) << where;
  const Machine after = Look(t.p);
  EXPECT_EQ(after.outside, before.outside) << where;
  EXPECT_EQ(after.keys, before.keys) << where;
  std::vector<std::string> target;
  for (const std::string& path : t.p.Tree()) {
    if (path.rfind(kTarget, 0) == 0) target.push_back(path);
  }
  EXPECT_EQ(target, (std::vector<std::string>{kTarget, kTarget + "mine.doc"})) << where;
  EXPECT_EQ(t.p.Content(kTarget + "mine.doc"), "the user's own") << where;
  EXPECT_EQ(t.p.open_files(), 0) << where;
  // RollBack may be called up to three times (the unpacking step and the sequence each call it
  // again after a nested one), but only a run that finds a state from 2 to 6 undoes anything.
  const auto& changes = t.p.current_dir_changes;
  const int rollbacks = static_cast<int>(std::count(changes.begin(), changes.end(), "C:\\WINDOWS"));
  EXPECT_GE(rollbacks, 1) << where;
  EXPECT_LE(rollbacks, 3) << where;
  EXPECT_LE(t.form->undo_runs(), 2) << where;
  if (most_undo_runs) *most_undo_runs = std::max(*most_undo_runs, t.form->undo_runs());
  return t.p.pumps;
}

TEST(CancelSweep, EveryPumpOfBothEditionsAndEveryDiskPrompt) {
  int cut_points = 0, most_undo_runs = 0;
  for (bool full : {true, false}) {
    const int pumps = RunCut(full, 0, 0);
    ASSERT_GT(pumps, 10);
    for (int cut = 1; cut <= pumps; ++cut) {
      RunCut(full, cut, 0, &most_undo_runs);
      ++cut_points;
    }
    // A sealed medium: each volume is hashed as it is copied and checked when it ends.
    if (full) {
      ASSERT_EQ(RunCut(full, 0, 0, nullptr, true), pumps);
      for (int cut = 1; cut <= pumps; ++cut) {
        RunCut(full, cut, 0, &most_undo_runs, true);
        ++cut_points;
      }
    }
    for (int disk = 2; disk <= (full ? 3 : 2); ++disk) {
      RunCut(full, 0, disk);
      ++cut_points;
    }
  }
  // Over an earlier installation whose program runs: let go at the question, then cut anywhere.
  const int pumps = RunCut(true, 0, 0, nullptr, false, true);
  for (int cut = 1; cut <= pumps; ++cut) {
    RunCut(true, cut, 0, &most_undo_runs, false, true);
    ++cut_points;
  }
  EXPECT_EQ(most_undo_runs, 2) << "some cut lets a step run after the first rollback";
  std::printf("cancel sweep: %d cut points\n", cut_points);
}

// Cancel at the question about a file in use: the wizard stays on the folder page, and the whole
// machine, the earlier installation included, is as it was.
TEST(CancelSweep, CancelAtTheFileInUseQuestionChangesNothing) {
  for (bool full : {true, false}) {
    Installer t;
    t.MakeMedium(full);
    OldInstallationRunning(t.p);
    t.p.answer = [&](const FakePlatform::Box& box) {
      return box.caption == "Внимание" ? kIdCancel : kIdOk;
    };
    t.Start();
    const auto files = t.p.Tree();
    const auto keys = t.p.RegKeys();
    t.Install(kTarget);
    EXPECT_EQ(t.ctx.WizardState, 1);
    EXPECT_EQ(t.BoxTexts(), std::vector<std::string>{FileInUseMessage("kelvanto.exe", "Kelvantor")});
    EXPECT_EQ(t.p.Tree(), files);
    EXPECT_EQ(t.p.RegKeys(), keys);
    EXPECT_EQ(t.p.Content(kTarget + "Readme.txt"), "old");
    EXPECT_EQ(t.p.open_files(), 0);
  }
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

// An error at any working call of an installation (an allocation failing inside it, say): no
// error leaves the handler, every box is one of the program's own, and the wizard ends either
// installed or rolled back, with the machine as it was.
// Also over an earlier installation whose program runs until the question about it is answered.
TEST(FailureSweep, EveryWorkingCallOfBothEditionsFailsSafely) {
  const std::vector<std::string> own_texts = {
      "Путь введен неверно !", "На диске C:\\ недостаточно свободного места !",
      "Не могу скопировать файлы !", "Не могу распаковать !", "Не могу удалить временные файлы !",
      "Не могу создать группу !", "Не могу удалить группу !", "Не могу зарегистрировать !",
      "Не могу создать ярлык !", "Не могу удалить ярлык !",
      FileInUseMessage("kelvanto.exe", "Kelvantor"), FileInUseMessage("kelvanto.exe", "")};
  int runs = 0;
  // Full, demo, full over an earlier installation whose program runs, full on a sealed medium.
  for (int edition = 0; edition < 4; ++edition) {
    const bool full = edition != 1, old = edition == 2;
    for (int fail = 1;; ++fail) {
      Installer t;
      t.MakeMedium(full);
      if (edition == 3) t.SealMedium();
      if (old) OldInstallationRunning(t.p);
      t.p.answer = [&](const FakePlatform::Box& box) {
        LetGoAtTheQuestion(t.p, box);
        return kIdOk;
      };
      t.Start();
      const auto tree = t.p.Tree();
      const Machine before = Look(t.p);
      t.ToFolderPage(kTarget);
      t.p.calls = 0;
      t.p.fail_call = fail;
      EXPECT_NO_THROW(t.form->Button1Click());
      if (t.p.calls < fail) break;  // every call of the installation has failed once
      ++runs;
      const std::string where = (full ? "full" : "demo") + std::string(edition == 3 ? " sealed" : "") +
                                std::string(old ? ", over a running one" : "") + ", call " +
                                std::to_string(fail);
      for (const std::string& box : t.BoxTexts()) {
        EXPECT_THAT(own_texts, ::testing::Contains(box)) << where;
      }
      EXPECT_EQ(t.p.open_files(), 0) << where;
      EXPECT_EQ(t.p.open_keys(), 0) << where;
      EXPECT_TRUE(t.view[Ctl::Button1].enabled) << where;
      const int state = t.ctx.WizardState;
      EXPECT_TRUE(state == 1 || state == 6 || state == 8) << where << ": state " << state;
      if (state == 1) {
        EXPECT_EQ(t.p.Tree(), tree) << where << ": refused, so nothing changed";
      } else if (state == 6) {
        EXPECT_TRUE(t.ctx.StepOk) << where;
        for (const ProductFile& file : SampleProduct()) {
          EXPECT_EQ(t.p.Content(kTarget + file.first), file.second) << where << " " << file.first;
        }
        // Without the registration's box, the uninstall entry got every value, its last included.
        const auto boxes = t.BoxTexts();
        const std::string entry =
            "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + t.ctx.ProductName;
        std::uint32_t type = 0;
        std::string data;
        if (std::count(boxes.begin(), boxes.end(), "Не могу зарегистрировать !") == 0) {
          EXPECT_TRUE(t.p.GetRegValue(entry, "NoRepair", &type, &data)) << where;
        }
      } else if (state == 8) {
        const Machine after = Look(t.p);
        EXPECT_EQ(after.outside, before.outside) << where;
        EXPECT_EQ(after.keys, before.keys) << where;
        EXPECT_FALSE(t.p.HasFolder(kTarget)) << where;
        EXPECT_EQ(t.view[Ctl::Label3].text, "Установка прервана !") << where;
        EXPECT_EQ(t.view[Ctl::Button1].text, "&Ok") << where;
      }
    }
  }
  EXPECT_GT(runs, 100);
  std::printf("failure sweep: %d failing calls\n", runs);
}

// An error at any call of the rollback of a finished installation (Cancel confirmed after
// success): the rollback goes on past it and always reaches the aborted page.
TEST(FailureSweep, EveryCallOfARollbackFailsOnTheWayToTheAbortedPage) {
  int runs = 0;
  for (int fail = 1;; ++fail) {
    Installer t;
    t.MakeMedium(true);
    t.Install(kTarget);
    ASSERT_EQ(t.ctx.WizardState, 6);
    t.p.calls = 0;
    t.p.fail_call = fail;
    EXPECT_NO_THROW(t.form->Button2Click());
    if (t.p.calls < fail) break;
    ++runs;
    EXPECT_EQ(t.ctx.WizardState, 8) << fail;
    EXPECT_EQ(t.view[Ctl::Label3].text, "Установка прервана !") << fail;
    EXPECT_TRUE(t.view[Ctl::Label3].visible) << fail;
    EXPECT_FALSE(t.view[Ctl::Button2].visible) << fail;
    EXPECT_EQ(t.view[Ctl::Button1].text, "&Ok") << fail;
    EXPECT_TRUE(t.view[Ctl::Button1].enabled) << fail;
    EXPECT_EQ(t.p.open_keys(), 0) << fail;
  }
  EXPECT_GT(runs, 20);
}

// An error at any call of the start-up (the window's creation, FormCreate, showing it): the
// window is closed while its form still exists, and the fonts go back once.
TEST(FailureSweep, EveryCallOfTheStartUpLeavesNoWindowBehind) {
  int runs = 0;
  for (const int medium : {0, 1, 2}) {  // a folder, a sealed folder, the program's own file
  for (int fail = 1;; ++fail) {
    Installer t;
    if (medium == 2) {
      t.MakeOneFile(true);
    } else {
      t.MakeMedium(true);
    }
    if (medium == 1) t.SealMedium();
    t.p.metrics.caption_font.char_set = 0;
    const NonClientMetrics before = t.p.metrics;
    t.p.fail_call = fail;
    int exit_code = -1;
    EXPECT_NO_THROW(exit_code = RunSetup(t.p));
    if (t.p.calls < fail) break;
    ++runs;
    EXPECT_TRUE(exit_code == 1 || exit_code == 3) << fail;  // nothing installed
    EXPECT_EQ(t.p.open_files(), 0) << fail;
    // The program's own file unreadable: no medium was found, and no window made.
    if (medium == 2 && t.p.metrics_set.empty()) {
      EXPECT_THAT(t.BoxTexts(), ::testing::ElementsAre("Файл xalarch.v1 не обнаружен !")) << fail;
      continue;
    }
    EXPECT_TRUE(t.view.closed) << fail;
    ASSERT_EQ(t.p.metrics_set.size(), 2u) << fail;
    EXPECT_EQ(std::memcmp(&t.p.metrics, &before, sizeof before), 0) << fail;
    EXPECT_EQ(t.p.open_files(), 0) << fail;
    EXPECT_EQ(t.p.open_keys(), 0) << fail;
    }
  }
  EXPECT_GT(runs, 5);
}

}  // namespace
}  // namespace kv::test

// The registry layout written by the registration step, and its undo.
#include "app/entry.h"
#include "system/registry.h"
#include "tests/unit/test_support.h"

namespace kv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kState = "HKCU\\Software\\VOLKRA-TENZ\\Kelvantor\\State";
const std::string kUninstall = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A value's data as stored, checked to be of `type`.
std::string Value(FakePlatform& p, const std::string& key, const std::string& name,
                  std::uint32_t type = kRegSz) {
  std::uint32_t stored = 0;
  std::string data;
  if (!p.GetRegValue(key, name, &stored, &data)) return "<missing>";
  EXPECT_EQ(stored, type) << key << " " << name;
  return data;
}

struct Registered : Installer {
  explicit Registered(bool full, const std::string& target = "C:\\Program Files\\Kelvanto\\") {
    MakeMedium(full);
    Start();
    ctx.TargetDir = target;
  }
  std::string Value(const std::string& key, const std::string& name, std::uint32_t type = kRegSz) {
    return test::Value(p, key, name, type);
  }
};

TEST(Registry, EveryRowWithItsTypeAndSizeCountingTheNul) {
  for (bool full : {true, false}) {
    Registered t(full);
    t.form->RegisterProduct();
    const std::string name = full ? "Kelvantor 3.01" : "Kelvantor 3.01 demo";
    const std::string n{'\0'};
    EXPECT_THAT(t.p.boxes, IsEmpty());
    EXPECT_EQ(t.ctx.WizardState, 5);
    EXPECT_EQ(t.view[Ctl::Label2].text, "Регистрирую \"" + name + "\"...");
    EXPECT_EQ(t.Value(kState, "WorkingDir"), "C:\\Program Files\\Kelvanto\\" + n);
    EXPECT_EQ(t.Value(kState, "AppName"), name + n);
    EXPECT_EQ(t.Value(kState, "WorkingVersion"), (full ? "1" : "0") + n);
    EXPECT_EQ(t.Value(kUninstall + name, "DisplayName"), name + n);
    EXPECT_EQ(t.Value(kUninstall + name, "UninstallString"),
              "C:\\Program Files\\Kelvanto\\uninstall.exe" + n);
    EXPECT_EQ(t.Value("HKCR\\.kvt", ""), "Kelvantor.Список" + n);
    EXPECT_EQ(t.Value("HKCR\\Kelvantor.Список", ""), "kvt" + n);
    EXPECT_EQ(t.Value("HKCR\\Kelvantor.Список\\shell\\open\\command", ""),
              "C:\\Program Files\\Kelvanto\\Kelvanto.exe \"%1\"" + n);
    EXPECT_EQ(t.ctx.PreviousProductName, "Kelvantor") << "first installation";
    EXPECT_EQ(t.p.open_keys(), 0);
  }
}

// The values the system's list of installed programs shows, after a whole installation of each
// edition; the other edition installed later into the same folder takes the entry away.
TEST(Registry, AppsListValuesOfEachEditionUntilTheOtherEditionReplacesIt) {
  const std::string n{'\0'};
  for (bool full : {true, false}) {
    Installer t;
    std::vector<ProductFile> files = SampleProduct();  // 29,700 bytes
    if (!full) files.emplace_back("Readme.doc", std::string(3068, 'r'));  // 32,768 bytes
    t.MakeMedium(full, files);
    t.p.clock = "2031-12-09 23:59:";
    ASSERT_EQ(RunSetup(t.p, "/S /D=C:\\Program Files\\Kelvanto"), 0);
    const std::string name = full ? "Kelvantor 3.01" : "Kelvantor 3.01 demo";
    const std::string entry = kUninstall + name;
    EXPECT_EQ(Value(t.p, entry, "DisplayName"), name + n);
    EXPECT_EQ(Value(t.p, entry, "UninstallString"), "C:\\Program Files\\Kelvanto\\uninstall.exe" + n);
    EXPECT_EQ(Value(t.p, entry, "DisplayIcon"), "C:\\Program Files\\Kelvanto\\Kelvanto.exe" + n);
    EXPECT_EQ(Value(t.p, entry, "DisplayVersion"), "3.01" + n);
    EXPECT_EQ(Value(t.p, entry, "Publisher"), "VOLKRA-TENZ" + n);
    EXPECT_EQ(Value(t.p, entry, "InstallLocation"), "C:\\Program Files\\Kelvanto\\" + n);
    EXPECT_EQ(Value(t.p, entry, "InstallDate"), "20311209" + n);
    EXPECT_EQ(Value(t.p, entry, "EstimatedSize", kRegDword),
              std::string(full ? "\x1E\0\0\0" : "\x20\0\0\0", 4))
        << "KiB rounded up: 30 for the full edition's files, just 32 for the demo's";
    EXPECT_EQ(Value(t.p, entry, "NoModify", kRegDword), std::string("\1\0\0\0", 4));
    EXPECT_EQ(Value(t.p, entry, "NoRepair", kRegDword), std::string("\1\0\0\0", 4));

    for (const char* file : {"xalarch.v0", "xalarch.v1", "xalarch.v2", "xalarch.v3", "licenz.doc"}) {
      t.p.EraseFile("C:\\MEDIUM\\" + std::string(file));
    }
    t.MakeMedium(!full);
    ASSERT_EQ(RunSetup(t.p, "/S /D=C:\\Program Files\\Kelvanto"), 0);
    EXPECT_FALSE(t.p.HasRegKey(entry)) << name;
    EXPECT_EQ(Value(t.p, kUninstall + (full ? "Kelvantor 3.01 demo" : "Kelvantor 3.01"), "NoRepair",
                    kRegDword),
              std::string("\1\0\0\0", 4));
  }
}

TEST(Registry, DemoOverFullReadsTheOldNameAndKeepsTheOldEntry) {
  Registered t(false);
  t.p.SetRegValue(kState, "AppName", kRegSz, std::string("Kelvantor 3.01\0", 15));
  t.p.SetRegValue(kUninstall + "Kelvantor 3.01", "DisplayName", kRegSz, "Kelvantor 3.01");
  t.form->RegisterProduct();
  EXPECT_EQ(t.ctx.PreviousProductName, "Kelvantor 3.01");
  EXPECT_TRUE(t.p.HasRegKey(kUninstall + "Kelvantor 3.01"));
  EXPECT_TRUE(t.p.HasRegKey(kUninstall + "Kelvantor 3.01 demo"));
}

TEST(Registry, AppNameOfAnotherTypeStopsAfterWorkingDir) {
  Registered t(true);
  t.p.SetRegValue(kState, "AppName", kRegDword, std::string("\1\0\0\0", 4));
  t.form->RegisterProduct();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу зарегистрировать !"));
  EXPECT_EQ(t.Value(kState, "WorkingDir"), std::string("C:\\Program Files\\Kelvanto\\\0", 27));
  EXPECT_EQ(t.Value(kState, "AppName", kRegDword), std::string("\1\0\0\0", 4));
  EXPECT_EQ(t.ctx.PreviousProductName, "");
  EXPECT_FALSE(t.p.HasRegKey("HKCR\\.kvt"));
  EXPECT_EQ(t.p.open_keys(), 0);
}

TEST(Registry, NoRightsOnTheMachineKeyWritesThePerUserValuesOnly) {
  Registered t(true);
  t.p.DenyRegWrites("HKLM\\SOFTWARE\\MICROSOFT");
  t.form->RegisterProduct();
  EXPECT_THAT(t.BoxTexts(), ElementsAre("Не могу зарегистрировать !"));
  EXPECT_NE(t.Value(kState, "WorkingVersion"), "<missing>");
  EXPECT_FALSE(t.p.HasRegKey("HKCR\\.kvt"));
}

TEST(Registry, UnregisterRemovesTheMachineEntriesAndKeepsThePerUserKey) {
  Registered t(true);
  t.p.SetRegValue("HKCR\\Kelvantor.Список\\shell\\edit", "", kRegSz, "someone else's verb");
  t.form->RegisterProduct();
  t.form->UnregisterProduct();
  EXPECT_FALSE(t.p.HasRegKey("HKCR\\.kvt"));
  EXPECT_FALSE(t.p.HasRegKey("HKCR\\Kelvantor.Список\\shell\\open"));
  EXPECT_TRUE(t.p.HasRegKey("HKCR\\Kelvantor.Список\\shell\\edit"))
      << "a key that still has sub-keys is left, as the system leaves it";
  EXPECT_FALSE(t.p.HasRegKey(kUninstall + "Kelvantor 3.01"));
  EXPECT_TRUE(t.p.HasRegKey(kState));
  EXPECT_THAT(t.p.boxes, IsEmpty());
}

}  // namespace
}  // namespace kv::test

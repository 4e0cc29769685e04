#include "tests/unit/test_support.h"

namespace kv::test {

std::vector<ProductFile> SampleProduct() {
  std::vector<ProductFile> files;
  const char* names[] = {"kelvanto.exe", "kelvanto.hlp", "xalbase.dat", "Readme.txt",
                         "wizard.exe", "Uninstall.exe"};
  int seed = 7;
  for (const char* name : names) {
    std::string content;
    for (int i = 0; i < 3000 + seed * 100; ++i) {
      content += static_cast<char>((i * seed + i / 7) & 0xFF);
    }
    files.emplace_back(name, content);
    seed += 5;
  }
  return files;
}

void Installer::MakeMedium(bool full, const std::vector<ProductFile>& files) {
  archive = BuildArchive(files);
  const std::vector<std::string> volumes = CutVolumes(archive, full ? 3 : 2, {});
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    p.AddFile(p.current_dir + "\\xalarch.v" + std::to_string(i + 1), volumes[i]);
  }
  if (full) {
    p.AddFile(p.current_dir + "\\xalarch.v0");
    p.AddFile(p.current_dir + "\\licenz.doc", "{\\rtf1 Licence}");
  }
}

void Installer::SealMedium() {
  Seal seal;
  for (const char* name : {text::kVolume1, text::kVolume2, text::kVolume3, text::kVolume0,
                           text::kLicenceFile}) {
    const std::string path = p.current_dir + "\\" + name;
    if (p.HasFile(path)) seal.entries.push_back({name, p.Content(path).size(), Sha256Of(p.Content(path))});
  }
  p.seal_block = SealBlock(seal);
}

TForm1& Installer::Start() {
  ctx.SourceDir = p.current_dir + "\\";
  ctx.Sealed = !p.seal_block.empty() && ReadSealBlock(p.seal_block, &ctx.MediumSeal) == SealState::kSealed;
  p.DdeStart();
  form = std::make_unique<TForm1>(p, ctx);
  FormView* view = p.CreateFormWindow(*form);
  form->Attach(view);
  form->FormCreate();
  view->ShowForm();
  return *form;
}

void Installer::ToFolderPage(const std::string& folder) {
  if (!form) Start();
  form->Button1Click();
  if (ctx.FullEdition) form->Button1Click();
  view.Type(folder);
}

void Installer::Install(const std::string& folder) {
  ToFolderPage(folder);
  form->Button1Click();
}

void Installer::CancelOn(const std::string& text) {
  p.answer = [text](const FakePlatform::Box& box) { return box.text == text ? kIdCancel : kIdOk; };
}

std::vector<std::string> Installer::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : p.boxes) texts.push_back(box.text);
  return texts;
}

}  // namespace kv::test

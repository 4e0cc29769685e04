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

std::string TinyProgram() {
  std::string pe(0x600, '\0');
  const auto put = [&](std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) pe[at + i] = static_cast<char>(value >> (8 * i));
  };
  pe[0] = 'M', pe[1] = 'Z';
  put(0x3C, 0x40, 4);
  pe.replace(0x40, 4, std::string("PE\0\0", 4));
  put(0x44, 0x14C, 2);        // i386
  put(0x46, 2, 2);            // two sections
  put(0x54, 224, 2);          // optional header size
  put(0x56, 0x102, 2);        // executable, 32-bit
  const std::size_t o = 0x58;  // optional header
  put(o, 0x10B, 2);
  put(o + 4, 0x200, 4);        // size of code
  put(o + 16, 0x1000, 4);      // entry point
  put(o + 28, 0x400000, 4);    // image base
  put(o + 32, 0x1000, 4);      // section alignment
  put(o + 36, 0x200, 4);       // file alignment
  put(o + 40, 4, 2);           // OS version
  put(o + 48, 4, 2);           // subsystem version
  put(o + 56, 0x3000, 4);      // size of image
  put(o + 60, 0x200, 4);       // size of headers
  put(o + 68, 2, 2);           // GUI
  put(o + 72, 0x100000, 4), put(o + 76, 0x1000, 4), put(o + 80, 0x100000, 4),
      put(o + 84, 0x1000, 4);
  put(o + 92, 16, 4);          // data directories
  const std::size_t s = o + 224;  // the section
  pe.replace(s, 5, ".text");
  put(s + 8, 0x200, 4), put(s + 12, 0x1000, 4), put(s + 16, 0x200, 4), put(s + 20, 0x200, 4);
  put(s + 36, 0x60000020, 4);
  pe.replace(s + 40, 7, kSealSection);
  put(s + 48, 0x200, 4), put(s + 52, 0x2000, 4), put(s + 56, 0x200, 4), put(s + 60, 0x400, 4);
  put(s + 76, 0x40000040, 4);
  pe[0x200] = static_cast<char>(0xC3);  // ret
  return pe;
}

void Installer::MakeOneFile(bool full, const std::vector<ProductFile>& files) {
  archive = BuildArchive(files);
  const std::string licence = full ? "{\\rtf1 Licence}" : "";
  Seal seal;
  seal.entries.push_back({text::kVolume1, archive.size(), Sha256Of(archive)});
  if (full) seal.entries.push_back({text::kVolume0, 0, Sha256Of("")});
  if (full) seal.entries.push_back({text::kLicenceFile, licence.size(), Sha256Of(licence)});
  std::string program = TinyProgram();
  p.seal_block = SealBlock(seal);
  WriteSeal(seal, &program);
  p.own_program = kOwnProgram;
  p.AddFile(kOwnProgram, program + OneFilePayload(program.size(), archive, licence, full));
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
  if (!p.own_program.empty()) {  // as the entry finds it
    const std::string file = p.Content(p.own_program);
    ProgramExtent extent;
    ctx.Embedded = ReadProgramExtent(file.substr(0, kOneFileHeadersSize), file.size(), &extent) &&
                   ReadOneFileTrailer(file.substr(extent.payload_end - kOneFileTrailerSize,
                                                  kOneFileTrailerSize),
                                      extent, &ctx.EmbeddedLayout) == OneFileState::kPresent;
    ctx.EmbeddedName = p.own_program.substr(p.own_program.rfind('\\') + 1);
  }
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

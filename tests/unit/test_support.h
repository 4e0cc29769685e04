// A fake machine with a distribution medium in C:\MEDIUM, and the wizard on it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include <memory>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "tools/media_builder.h"
#include "wizard/install1.h"

namespace kv::test {

// A product of a few of the product set's files, of a few KB each.
std::vector<ProductFile> SampleProduct();
// The smallest PE32 program that signing tools take: headers, one section of code, and the seal
// block's section.
std::string TinyProgram();
inline constexpr char kOwnProgram[] = "C:\\Downloads\\Kelvantor-setup.exe";

class Installer {
 public:
  // Writes the medium for one edition into the current folder (full: marker, third volume, licence).
  void MakeMedium(bool full, const std::vector<ProductFile>& files = SampleProduct());
  // Seals the medium as it lies on the disk now: setup.exe's block names each of its files.
  void SealMedium();
  // Makes the program's own file (kOwnProgram) a sealed one-file medium of one edition.
  void MakeOneFile(bool full, const std::vector<ProductFile>& files = SampleProduct());
  // What the entry does up to the message loop: the seal read, the window created and FormCreate
  // run.
  TForm1& Start();
  // Walks to the folder page and types `folder` into the editor.
  void ToFolderPage(const std::string& folder = "C:\\Kelvanto");
  // Next on the folder page: the whole installation.
  void Install(const std::string& folder = "C:\\Kelvanto");
  // Answers every message box with OK except those whose text is `text`, which get Cancel.
  void CancelOn(const std::string& text);
  std::vector<std::string> BoxTexts() const;

  FakePlatform p;
  InstallContext ctx;
  std::unique_ptr<TForm1> form;
  std::string archive;  // the archive the medium carries
  FakeView& view = p.view;
};

}  // namespace kv::test

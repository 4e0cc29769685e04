#include "tools/media_builder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/texts.h"
#include "media/archive.h"
#include "media/file_names.h"
#include "tools/medium_check.h"
#include "tools/signing.h"

namespace kv {

namespace fs = std::filesystem;

namespace {

// Reads a regular file (a pipe or a device might never end).
std::string ReadAll(const fs::path& path) {
  std::error_code e;
  if (!fs::is_regular_file(path, e)) throw MediaError(path.string() + ": not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MediaError("cannot read " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Replaces the file: whatever lay there (a link, a pipe) is removed, not written through.
void WriteAll(const fs::path& path, const std::string& data) {
  std::error_code e;
  if (fs::is_symlink(path, e) || (fs::exists(path, e) && !fs::is_regular_file(path, e))) {
    fs::remove(path, e);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw MediaError("cannot write " + path.string());
}

}  // namespace

std::string BuildArchive(std::vector<ProductFile> files) {
  if (files.empty()) throw MediaError("the product folder holds no files");
  std::sort(files.begin(), files.end());
  std::map<std::string, std::string> identities;
  std::string archive;
  for (const auto& [name, content] : files) {
    if (name.find('$') != std::string::npos) throw MediaError(name + ": a name may not hold \"$\"");
    if (HasFolderPart(name)) {
      throw MediaError(name + ": not a plain file name (the installer creates no folders)");
    }
    if (const std::string fault = MemberNameFault(name); !fault.empty()) {
      throw MediaError(name + ": the installer cannot create this file: the name " + fault);
    }
    const auto [other, added] = identities.emplace(FileNameIdentity(name), name);
    if (!added) {
      throw MediaError(name + " and " + other->second +
                       ": Windows takes both names for one file, so one would replace the other");
    }
    if (content.size() > static_cast<std::size_t>(kMemberBufferSize)) {
      throw MediaError(name + ": larger than 10485761 bytes");
    }
    const std::string member = PackMember(name, content);
    const std::size_t packed = member.size() - member.find('$', name.size() + 1) - 1;
    if (packed > static_cast<std::size_t>(kMemberBufferSize)) {
      throw MediaError(name + ": compressed form larger than 10485761 bytes");
    }
    archive += member;
  }
  return archive;
}

std::vector<std::string> CutVolumes(const std::string& archive, int count,
                                    const std::vector<std::uint64_t>& sizes) {
  std::vector<std::string> volumes;
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    std::size_t size;
    if (i == count - 1) {
      size = archive.size() - at;
    } else if (!sizes.empty()) {
      if (static_cast<int>(sizes.size()) != count - 1 && static_cast<int>(sizes.size()) != count) {
        throw MediaError("give " + std::to_string(count - 1) + " or " + std::to_string(count) +
                         " volume sizes");
      }
      size = std::min<std::size_t>(sizes[i], archive.size() - at);
    } else {
      size = archive.size() / count;
    }
    volumes.push_back(archive.substr(at, size));
    at += size;
  }
  if (!sizes.empty() && static_cast<int>(sizes.size()) == count && sizes.back() != volumes.back().size()) {
    throw MediaError("the volume sizes do not add up to the archive's " +
                     std::to_string(archive.size()) + " bytes");
  }
  return volumes;
}

MediaReport WriteMedia(const MediaOptions& o) {
  std::vector<ProductFile> files;
  if (!fs::is_directory(o.product_dir)) throw MediaError(o.product_dir + " is not a folder");
  for (const auto& entry : fs::directory_iterator(o.product_dir)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file()) throw MediaError(name + ": not a plain file");
    if (entry.file_size() > static_cast<std::uintmax_t>(kMemberBufferSize)) {
      throw MediaError(name + ": larger than 10485761 bytes");
    }
    files.emplace_back(name, ReadAll(entry.path()));
  }
  const std::string archive = BuildArchive(files);
  const int count = o.full_edition ? 3 : 2;
  // Beside the first volume: the marker (empty), the licence and the installer.
  std::vector<std::pair<std::string, std::string>> extras;
  if (o.full_edition) {
    extras.emplace_back(text::kVolume0, "");
    if (!o.licence.empty()) extras.emplace_back(text::kLicenceFile, ReadAll(o.licence));
  }
  if (o.cert.empty() != o.key.empty()) throw MediaError("signing needs both --cert and --key");
  if (!o.setup_exe.empty() && ReadPeSignature(o.setup_exe) == PeSignature::kNotPe) {
    throw MediaError(o.setup_exe + ": not a Windows program");
  }
  if (!o.cert.empty() && o.setup_exe.empty()) {
    throw MediaError("--cert and --key sign setup.exe: give it with --setup");
  }
  if (!o.cert.empty()) {
    ReadAll(o.setup_exe);  // a regular file, before osslsigncode opens it
    extras.emplace_back("setup.exe", SignedProgram(o.setup_exe, o.cert, o.key, o.signing_time));
  } else if (!o.setup_exe.empty()) {
    extras.emplace_back("setup.exe", ReadAll(o.setup_exe));
  }

  std::vector<std::uint64_t> sizes = o.volume_sizes;
  if (o.disks && sizes.empty()) {
    std::uint64_t beside = 0;
    for (const auto& [name, content] : extras) {
      beside += (content.size() + kFloppyCluster - 1) / kFloppyCluster * kFloppyCluster;
    }
    if (beside > kFloppyBytes) {
      throw MediaError("what goes beside xalarch.v1 takes " + std::to_string(beside) +
                       " bytes, more than disk 1 holds (" + std::to_string(kFloppyBytes) + ")");
    }
    const std::uint64_t first = kFloppyBytes - beside;
    const std::uint64_t room = first + (count - 1) * kFloppyBytes;
    if (archive.size() > room) {
      throw MediaError("the archive of " + std::to_string(archive.size()) +
                       " bytes does not fit on " + std::to_string(count) + " disks of " +
                       std::to_string(kFloppyBytes) + " bytes (" + std::to_string(room) +
                       " bytes are free for it beside what disk 1 holds); give larger volumes "
                       "with --volumes, or leave out --disks");
    }
    sizes.assign(count - 1, kFloppyBytes);
    sizes[0] = first;
  }
  const std::vector<std::string> volumes = CutVolumes(archive, count, sizes);

  MediaReport report;
  report.summary = std::string(o.full_edition ? "full" : "demo") + " edition, " +
                   std::to_string(files.size()) + " members, archive " +
                   std::to_string(archive.size()) + " bytes:";
  for (int i = 0; i < count; ++i) {
    const fs::path folder =
        o.disks ? fs::path(o.out_dir) / ("disk" + std::to_string(i + 1)) : fs::path(o.out_dir);
    fs::create_directories(folder);
    const std::string name = "xalarch.v" + std::to_string(i + 1);
    WriteAll(folder / name, volumes[i]);
    report.summary += (i ? ", " : " ") + name + " (" + std::to_string(volumes[i].size()) +
                      " bytes) in " + folder.string();
  }
  const fs::path first = o.disks ? fs::path(o.out_dir) / "disk1" : fs::path(o.out_dir);
  for (std::size_t i = 0; i < extras.size(); ++i) {
    WriteAll(first / extras[i].first, extras[i].second);
    report.summary += (i ? ", " : "; ") + extras[i].first;
  }
  if (!extras.empty()) report.summary += " beside xalarch.v1";
  if (!o.cert.empty()) report.summary += " (signed)";

  // What the installer will make of it, by the same rules as `mkmedia check`.
  const MediumReport check = CheckMedium(o.out_dir);
  if (!check.WouldInstall()) {
    std::string why;
    for (const std::string& e : check.errors) why += "\n  " + e;
    throw MediaError("the medium written to " + o.out_dir + " would not install:" + why);
  }
  report.warnings = check.warnings;
  return report;
}

}  // namespace kv

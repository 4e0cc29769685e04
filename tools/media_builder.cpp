#include "tools/media_builder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/archive.h"

namespace kv {

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MediaError("cannot read " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw MediaError("cannot write " + path.string());
}

}  // namespace

std::string BuildArchive(std::vector<ProductFile> files) {
  if (files.empty()) throw MediaError("the product folder holds no files");
  std::sort(files.begin(), files.end());
  std::string archive;
  for (const auto& [name, content] : files) {
    if (name.find('$') != std::string::npos) throw MediaError(name + ": a name may not hold \"$\"");
    if (name.find_first_of("\\/") != std::string::npos || !IsSafeMemberName(name)) {
      throw MediaError(name + ": not a plain file name the installer can create");
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

std::string WriteMedia(const MediaOptions& o) {
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
  const std::vector<std::string> volumes = CutVolumes(archive, count, o.volume_sizes);

  std::ostringstream report;
  report << files.size() << " members, archive " << archive.size() << " bytes\n";
  for (int i = 0; i < count; ++i) {
    const fs::path folder =
        o.disks ? fs::path(o.out_dir) / ("disk" + std::to_string(i + 1)) : fs::path(o.out_dir);
    fs::create_directories(folder);
    const std::string name = "xalarch.v" + std::to_string(i + 1);
    WriteAll(folder / name, volumes[i]);
    report << (folder / name).string() << ": " << volumes[i].size() << " bytes\n";
  }
  const fs::path first = o.disks ? fs::path(o.out_dir) / "disk1" : fs::path(o.out_dir);
  if (o.full_edition) {
    WriteAll(first / "xalarch.v0", "");
    report << (first / "xalarch.v0").string() << ": marker\n";
    if (!o.licence.empty()) {
      WriteAll(first / "licenz.doc", ReadAll(o.licence));
      report << (first / "licenz.doc").string() << ": licence\n";
    }
  }
  if (!o.setup_exe.empty()) {
    WriteAll(first / "setup.exe", ReadAll(o.setup_exe));
    report << (first / "setup.exe").string() << ": installer\n";
  }
  return report.str();
}

}  // namespace kv

#include "tools/medium_check.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/texts.h"
#include "media/archive.h"

namespace kv {

namespace fs = std::filesystem;

namespace {

// What the installer's file existence test accepts: anything but a folder.
bool IsFile(const fs::path& path) {
  std::error_code e;
  return fs::exists(path, e) && !fs::is_directory(path, e);
}

// The volumes one after another, as the installer joins them.
class VolumeSource final : public ArchiveSource {
 public:
  explicit VolumeSource(const std::vector<MediumVolume>& volumes) : volumes_(volumes) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* done) override {
    *done = 0;
    char* const out = static_cast<char*>(buffer);
    while (*done < size) {
      if (!in_.is_open()) {
        if (next_ == volumes_.size()) return true;
        in_.open(volumes_[next_++].path, std::ios::binary);
        if (!in_) return false;
      }
      in_.read(out + *done, size - *done);
      *done += static_cast<std::uint32_t>(in_.gcount());
      if (in_.bad()) return false;
      if (in_.eof()) {
        in_.close();
        in_.clear();
      }
    }
    return true;
  }

 private:
  const std::vector<MediumVolume>& volumes_;
  std::size_t next_ = 0;
  std::ifstream in_;
};

// Records each member; writes nothing.
class MemberList final : public MemberVisitor {
 public:
  explicit MemberList(std::vector<MediumMember>& members) : members_(members) {}
  void Name(const std::string& name, std::int64_t) override { name_ = name; }
  void Content(const unsigned char*, std::uint32_t size, std::int64_t packed) override {
    members_.push_back({name_, packed, size});
  }

 private:
  std::vector<MediumMember>& members_;
  std::string name_;
};

// "disk2/xalarch.v2, byte 1234" for an archive offset.
std::string Where(const MediumReport& r, std::int64_t offset) {
  for (const MediumVolume& v : r.volumes) {
    if (static_cast<std::uint64_t>(offset) < v.offset + v.size || &v == &r.volumes.back()) {
      return v.name + ", byte " + std::to_string(offset - static_cast<std::int64_t>(v.offset));
    }
  }
  return "archive byte " + std::to_string(offset);
}

// The name Windows would give the member's file: case, separators and trailing dots and blanks
// do not count.
std::string FileIdentity(std::string name) {
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '/') c = '\\';
    if (u >= 'a' && u <= 'z') c = static_cast<char>(u - 0x20);
    if (u >= 0xE0) c = static_cast<char>(u - 0x20);  // Windows-1251 Cyrillic
    if (u == 0xB8) c = static_cast<char>(0xA8);
  }
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

std::string Quoted(const std::string& name) { return "\"" + ForDisplay(name) + "\""; }

}  // namespace

std::string ForDisplay(const std::string& text) {
#ifndef _WIN32
  // Windows-1251 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
  static constexpr char16_t kHigh[64] = {
      0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
      0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
      0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
      0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
      0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
#endif
  std::string out;
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
      continue;
    }
#ifdef _WIN32
    out += c;
#else
    if (u < 0x80) {
      out += c;
      continue;
    }
    const char16_t w = u >= 0xC0 ? static_cast<char16_t>(0x0410 + (u - 0xC0)) : kHigh[u - 0x80];
    if (w < 0x800) {
      out += static_cast<char>(0xC0 | (w >> 6));
    } else {
      out += static_cast<char>(0xE0 | (w >> 12));
      out += static_cast<char>(0x80 | ((w >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (w & 0x3F));
#endif
  }
  return out;
}

std::string NoLicenceWarning() {
  return std::string("full edition without licenz.doc: the installer will show \"") +
         ForDisplay(text::kMsgNoLicence) + "\"";
}

MediumReport ReadMedium(const std::string& folder) {
  MediumReport r;
  const fs::path root(folder);
  r.disks = !IsFile(root / text::kVolume1) && IsFile(root / "disk1" / text::kVolume1);
  const fs::path source = r.disks ? root / "disk1" : root;
  if (!IsFile(source / text::kVolume1)) {
    r.errors.push_back("no xalarch.v1 in " + folder + " or in its disk1/: the installer shows \"" +
                       ForDisplay(text::kMsgNoFirstVolume) + "\"");
    return r;
  }
  const std::string prefix = r.disks ? "disk1/" : "";
  r.full_edition = IsFile(source / text::kVolume0);

  // The first volume beside the marker; each later one there, else on its own disk.
  const char* const names[] = {text::kVolume1, text::kVolume2, text::kVolume3};
  const char* const prompts[] = {"", text::kMsgInsertDisk2, text::kMsgInsertDisk3};
  const int joined = r.full_edition ? 3 : 2;
  for (int i = 0; i < 3; ++i) {
    const std::string disk = "disk" + std::to_string(i + 1);
    MediumVolume v{prefix + names[i], (source / names[i]).string()};
    if (i > 0 && !IsFile(v.path) && r.disks && IsFile(root / disk / names[i])) {
      v = {disk + "/" + names[i], (root / disk / names[i]).string()};
    }
    const bool found = IsFile(v.path);
    if (i >= joined) {
      if (found) {
        r.notes.push_back(v.name +
                          " is ignored: the demo edition joins xalarch.v1 and xalarch.v2 only");
      }
      continue;
    }
    if (!found) {
      r.errors.push_back(
          std::string("no ") + names[i] + (r.disks ? " in disk1/ or " + disk + "/" : "") +
          ": the installer would ask \"" + ForDisplay(prompts[i]) + "\" until cancelled");
      continue;
    }
    std::error_code e;
    v.size = fs::file_size(v.path, e);
    if (e) {
      r.errors.push_back(v.name + ": cannot read it");
      continue;
    }
    v.offset = r.archive_size;
    r.archive_size += v.size;
    r.volumes.push_back(v);
  }
  if (!r.errors.empty()) return r;

  VolumeSource volumes(r.volumes);
  MemberList members(r.members);
  try {
    ReadMembers(volumes, static_cast<std::int64_t>(r.archive_size), members);
  } catch (const ArchiveError& e) {
    const std::string what =
        "member " + std::to_string(r.members.size() + 1) + ": " + ForDisplay(e.what());
    r.errors.push_back(e.offset() < 0 ? what : Where(r, e.offset()) + ": " + what);
  }
  return r;
}

MediumReport CheckMedium(const std::string& folder) {
  MediumReport r = ReadMedium(folder);
  if (r.volumes.empty()) return r;
  const fs::path source = r.disks ? fs::path(folder) / "disk1" : fs::path(folder);

  const fs::path licence = source / text::kLicenceFile;
  if (r.full_edition && !IsFile(licence)) {
    r.warnings.push_back(NoLicenceWarning());
  } else if (r.full_edition) {
    std::ifstream in(licence, std::ios::binary);
    char chunk[4096];
    while (in && (in.read(chunk, sizeof chunk) || in.gcount() > 0)) {
    }
    if (!in.is_open() || in.bad()) {
      r.errors.push_back(std::string("licenz.doc cannot be read: the installer will show \"") +
                         ForDisplay(text::kMsgLicenceUnreadable) + "\"");
    }
  } else if (IsFile(licence)) {
    r.notes.push_back("licenz.doc is not shown: the demo edition has no licence page");
  }
  if (!IsFile(source / "setup.exe")) r.notes.push_back("no setup.exe beside xalarch.v1");

  std::map<std::string, std::size_t> seen;
  for (std::size_t i = 0; i < r.members.size(); ++i) {
    const std::string& name = r.members[i].name;
    if (name.find_first_of("\\/") != std::string::npos) {
      r.errors.push_back("member " + std::to_string(i + 1) + " " + Quoted(name) +
                         " lies in a folder: the installer creates no folders, so it cannot "
                         "create this file in a new target folder");
    }
    const auto [first, added] = seen.emplace(FileIdentity(name), i);
    if (!added) {
      r.warnings.push_back("member " + std::to_string(i + 1) + " " + Quoted(name) +
                           " replaces member " + std::to_string(first->second + 1) + " " +
                           Quoted(r.members[first->second].name) + " on install");
    }
  }

  // The copy bar's maximum is the edition's expected size in 2,048-byte chunks; it advances once
  // per chunk of each volume and once more at each volume's end.
  const std::uint64_t scale = r.full_edition ? kFullEditionScale : kDemoEditionScale;
  const std::uint64_t maximum = scale / 2048;
  std::uint64_t steps = 0;
  for (const MediumVolume& v : r.volumes) steps += v.size / 2048 + 1;
  const std::string sizes = "(archive " + std::to_string(r.archive_size) +
                            " bytes; the installer's scale for this edition is " +
                            std::to_string(scale) + " bytes)";
  if (steps * 2 < maximum) {
    r.warnings.push_back("the copy progress bar would stop at " +
                         std::to_string(steps * 100 / maximum) + "% " + sizes);
  } else if (steps > maximum * 2) {
    r.warnings.push_back("the copy progress bar would be full after " +
                         std::to_string(maximum * 100 / steps) + "% of the copy " + sizes);
  }
  return r;
}

std::string FormatMember(const MediumMember& m) {
  char sizes[48];
  std::snprintf(sizes, sizeof sizes, "%10lld %10u  ", static_cast<long long>(m.packed),
                static_cast<unsigned>(m.unpacked));
  return sizes + ForDisplay(m.name);
}

std::string FormatCheck(const MediumReport& r) {
  std::string out;
  if (!r.volumes.empty()) {
    out += std::string(r.full_edition ? "full" : "demo") + " edition (" +
           (r.full_edition ? "marker xalarch.v0" : "no marker xalarch.v0") + "), " +
           (r.disks ? "disk folders" : "one folder") + "\n";
    for (const MediumVolume& v : r.volumes) {
      out += "  " + v.name + ": " + std::to_string(v.size) + " bytes\n";
    }
    out += "    packed   unpacked  name\n";
  }
  std::uint64_t unpacked = 0;
  for (const MediumMember& m : r.members) {
    out += FormatMember(m) + "\n";
    unpacked += m.unpacked;
  }
  for (const std::string& s : r.notes) out += "note: " + s + "\n";
  for (const std::string& s : r.warnings) out += "warning: " + s + "\n";
  for (const std::string& s : r.errors) out += "error: " + s + "\n";
  const auto count = [](std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  out +=
      std::string(r.WouldInstall() ? "check: the medium would install: "
                                   : "check: the medium would NOT install: ") +
      (r.volumes.empty() ? std::string()
                         : std::string(r.full_edition ? "full" : "demo") + " edition, " +
                               count(r.members.size(), "member") + " (" + std::to_string(unpacked) +
                               " bytes), archive " + std::to_string(r.archive_size) + " bytes in " +
                               count(r.volumes.size(), "volume") + ", ") +
      count(r.errors.size(), "error") + ", " + count(r.warnings.size(), "warning") + "\n";
  return out;
}

}  // namespace kv

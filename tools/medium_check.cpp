#include "tools/medium_check.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "app/texts.h"
#include "platform/cp1251.h"
#include "media/archive.h"
#include "media/file_names.h"
#include "target/folders.h"
#include "tools/host_text.h"
#include "media/sha256.h"
#include "tools/signing.h"

namespace kv {

namespace fs = std::filesystem;

namespace {

// The folder's entry that a program opening `name` there gets, as Windows finds it: by the case of
// its letters only (NameOnDiskAnswers), an exact match first. `folder` true: only folders; false:
// anything but a folder, as the installer's file existence test.
fs::path Find(const fs::path& dir, const std::string& name, bool folder = false) {
  std::error_code e;
  const auto fits = [&](const fs::path& p) { return fs::is_directory(p, e) == folder; };
  if (fs::exists(dir / name, e) && fits(dir / name)) return dir / name;
  for (fs::directory_iterator it(dir, e), end; !e && it != end; it.increment(e)) {
    const fs::path& p = it->path();
    const std::optional<std::string> listed = Cp1251FileName(p.filename(), nullptr);
    if (listed && NameOnDiskAnswers(*listed, name) && fits(p)) return p;
  }
  return {};
}

// A file that can be read to its end: a regular file (a pipe or a device may never end).
bool IsRegular(const fs::path& path) {
  std::error_code e;
  return !path.empty() && fs::is_regular_file(path, e);
}

// The volumes one after another, as the installer joins them; each read only up to the size it
// had when it was found.
class VolumeSource final : public ArchiveSource {
 public:
  explicit VolumeSource(const std::vector<MediumVolume>& volumes) : volumes_(volumes) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* done) override {
    *done = 0;
    char* const out = static_cast<char*>(buffer);
    while (*done < size) {
      if (!in_.is_open()) {
        if (next_ == volumes_.size()) return true;
        left_ = volumes_[next_].size;
        in_.open(volumes_[next_].path, std::ios::binary);
        in_.seekg(static_cast<std::streamoff>(volumes_[next_++].file_offset));
        if (!in_) return false;
      }
      const std::uint64_t want = std::min<std::uint64_t>(size - *done, left_);
      in_.read(out + *done, static_cast<std::streamsize>(want));
      const auto got = static_cast<std::uint32_t>(in_.gcount());
      *done += got;
      left_ -= got;
      if (in_.bad() || (got < want && left_ > 0)) return false;  // shorter than it was
      if (left_ == 0) {
        in_.close();
        in_.clear();
      }
    }
    return true;
  }

 private:
  const std::vector<MediumVolume>& volumes_;
  std::size_t next_ = 0;
  std::uint64_t left_ = 0;
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

std::string Quoted(const std::string& name) { return "\"" + ForDisplay(name) + "\""; }

}  // namespace

std::string ForDisplay(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
      continue;
    }
    out += Cp1251ToUtf8(std::string_view(&c, 1));
  }
  return out;
}

std::string DefaultFolderFault(const std::string& name) {
  // "C:\\Kelvanto\\" and the name, below Windows' limit of kMaxPath characters with the NUL.
  const std::size_t path = std::size(text::kDefaultFolder) - 1 + 1 + name.size();
  if (path < kMaxPath) return "";
  return "has " + std::to_string(name.size()) + " bytes: in the proposed folder " +
         ForDisplay(text::kDefaultFolder) + " its path would have " + std::to_string(path) +
         " characters, and Windows takes fewer than " + std::to_string(kMaxPath) +
         ": the installer would fail with \"" + ForDisplay(text::kMsgCannotUnpack) + "\"";
}

// Of the `length` bytes from `from` (*size is short when the file is).
Sha256Digest RegionDigest(const fs::path& path, std::uint64_t from, std::uint64_t length,
                          std::uint64_t* size) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  Sha256 sha;
  *size = 0;
  char buffer[1 << 16];
  while (in && *size < length) {
    in.read(buffer, static_cast<std::streamsize>(std::min<std::uint64_t>(sizeof buffer, length - *size)));
    sha.Add(buffer, static_cast<std::size_t>(in.gcount()));
    *size += static_cast<std::uint64_t>(in.gcount());
  }
  return sha.Finish();
}

Sha256Digest FileDigest(const fs::path& path, std::uint64_t limit, std::uint64_t* size) {
  std::ifstream in(path, std::ios::binary);
  Sha256 sha;
  *size = 0;
  char buffer[1 << 16];
  while (in && *size <= limit) {
    in.read(buffer, sizeof buffer);
    sha.Add(buffer, static_cast<std::size_t>(in.gcount()));
    *size += static_cast<std::uint64_t>(in.gcount());
  }
  return sha.Finish();
}

std::string NoLicenceWarning() {
  return std::string("full edition without licenz.doc: the installer will show \"") +
         ForDisplay(text::kMsgNoLicence) + "\"";
}

namespace {

// A program that carries its medium: its one volume is the archive inside it.
void ReadOneFile(const fs::path& file, const std::string& shown, MediumReport& r) {
  std::ifstream in(file, std::ios::binary);
  std::error_code e;
  const std::uint64_t size = fs::file_size(file, e);
  std::string headers(kOneFileHeadersSize, '\0');
  in.read(headers.data(), static_cast<std::streamsize>(headers.size()));
  headers.resize(static_cast<std::size_t>(in.gcount()));
  in.clear();
  ProgramExtent extent;
  if (e || !ReadProgramExtent(headers, size, &extent)) {
    r.errors.push_back(shown + " is neither a medium folder nor a Windows program");
    return;
  }
  std::string trailer(kOneFileTrailerSize, '\0');
  if (extent.payload_end - extent.sections_end >= kOneFileTrailerSize) {
    in.seekg(static_cast<std::streamoff>(extent.payload_end - kOneFileTrailerSize));
    in.read(trailer.data(), static_cast<std::streamsize>(trailer.size()));
  }
  switch (ReadOneFileTrailer(trailer, extent, &r.layout)) {
    case OneFileState::kNone:
      r.errors.push_back(shown + " carries no medium: started alone, it shows \"" +
                         ForDisplay(text::kMsgNoFirstVolume) + "\"");
      return;
    case OneFileState::kDamaged:
      r.errors.push_back(shown + " is cut short or damaged (no medium trailer that fits it): the "
                         "installer shows \"" + ForDisplay(text::kMsgDamagedHead) +
                         HostText(file.filename()) + ForDisplay(text::kMsgOneFileDamagedTail) +
                         "\" and installs nothing");
      return;
    case OneFileState::kPresent:
      break;
  }
  r.one_file = true;
  r.full_edition = r.layout.full_edition;
  r.archive_size = r.layout.archive_size;
  r.volumes.push_back({std::string(text::kVolume1) + " in " + HostText(file.filename()), file, 0,
                       r.layout.archive_size, r.layout.archive_offset});
}

}  // namespace

MediumReport ReadMedium(const std::string& folder) {
  MediumReport r;
  const fs::path root = HostPath(folder);
  if (std::error_code e; fs::is_regular_file(root, e)) {
    ReadOneFile(root, folder, r);
    if (!r.errors.empty()) return r;
  }
  fs::path source = root;
  fs::path first = r.one_file ? root : Find(root, text::kVolume1);
  const fs::path disk1 = r.one_file ? fs::path() : Find(root, "disk1", true);
  if (first.empty() && !disk1.empty()) {
    r.disks = !Find(disk1, text::kVolume1).empty();
    if (r.disks) {
      source = disk1;
      first = Find(disk1, text::kVolume1);
    }
  }
  if (first.empty()) {
    r.errors.push_back("no xalarch.v1 in " + folder + " or in its disk1/: the installer shows \"" +
                       ForDisplay(text::kMsgNoFirstVolume) + "\"");
    return r;
  }
  if (!r.one_file) r.full_edition = !Find(source, text::kVolume0).empty();
  const auto shown = [&](const fs::path& p) {
    return r.disks ? HostText(p.parent_path().filename()) + "/" + HostText(p.filename())
                   : HostText(p.filename());
  };

  // The installer opens the first volume in the drive; it looks for each later one in the disk
  // that is in the drive then, and while it is not there asks for the next disk, which a user
  // inserts.
  const char* const prompts[] = {"", text::kMsgInsertDisk2, text::kMsgInsertDisk3};
  const int joined = r.full_edition ? kFullEditionVolumes : kDemoEditionVolumes;
  fs::path in_drive = source;
  for (int i = 0; i < (r.one_file ? 0 : kFullEditionVolumes); ++i) {
    fs::path found = Find(in_drive, kVolumeNames[i]);
    fs::path next_disk;
    if (found.empty() && r.disks && i > 0) {
      next_disk = Find(root, "disk" + std::to_string(i + 1), true);
      if (!next_disk.empty()) found = Find(next_disk, kVolumeNames[i]);
    }
    if (i >= joined) {
      if (found.empty()) found = Find(source, kVolumeNames[i]);
      if (!found.empty()) {
        r.notes.push_back(shown(found) +
                          " is ignored: the demo edition joins xalarch.v1 and xalarch.v2 only");
      }
      continue;
    }
    if (found.empty()) {
      r.errors.push_back(std::string("no ") + kVolumeNames[i] +
                         (r.disks ? " in " + HostText(in_drive.filename()) + "/ or disk" +
                                        std::to_string(i + 1) + "/"
                                  : std::string()) +
                         ": the installer would ask \"" + ForDisplay(prompts[i]) +
                         "\" until cancelled");
      break;
    }
    if (!next_disk.empty()) in_drive = next_disk;
    MediumVolume v{shown(found), found};
    std::error_code e;
    v.size = IsRegular(found) ? fs::file_size(found, e) : 0;
    if (!IsRegular(found) || e) {
      r.errors.push_back(v.name + " is not a regular file that can be read");
      break;
    }
    v.offset = r.archive_size;
    r.archive_size += v.size;
    r.volumes.push_back(v);
  }
  if (!r.errors.empty()) {
    r.volumes.clear();
    return r;
  }

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

namespace {

// The full edition's licence as the installer loads it: a file it cannot read is reported, and
// the installation goes on with an empty licence page.
void CheckLicence(const fs::path& source, MediumReport& r) {
  if (r.one_file) {  // read with the rest of the program's file; only its size can be wrong
    if (r.full_edition && r.layout.licence_size == 0) r.warnings.push_back(NoLicenceWarning());
    if (r.layout.licence_size > kLicenceLoadLimit) {
      r.warnings.push_back("licenz.doc has " + std::to_string(r.layout.licence_size) +
                           " bytes, more than the installer can be sure to load");
    }
    return;
  }
  const fs::path licence = Find(source, text::kLicenceFile);
  if (!r.full_edition) {
    if (!licence.empty()) {
      r.notes.push_back("licenz.doc is not shown: the demo edition has no licence page");
    }
    return;
  }
  if (licence.empty()) {
    r.warnings.push_back(NoLicenceWarning());
    return;
  }
  // Its size as the file system gives it; reading the first bytes shows that it can be opened.
  std::error_code e;
  const std::uint64_t size = IsRegular(licence) ? fs::file_size(licence, e) : 0;
  char first[4096];
  std::ifstream in;
  if (IsRegular(licence) && !e) in.open(licence, std::ios::binary);
  const bool read =
      in.is_open() && (size == 0 || in.read(first, std::min<std::uint64_t>(sizeof first, size)));
  if (!read) {
    r.warnings.push_back(
        "licenz.doc cannot be read (not a regular, readable file): the installer will show \"" +
        ForDisplay(text::kMsgLicenceUnreadable) + "\" and go on with an empty licence page");
  } else if (size > kLicenceLoadLimit) {
    r.warnings.push_back("licenz.doc has " + std::to_string(size) + " bytes, more than the " +
                         std::to_string(kLicenceLoadLimit) +
                         " that the installer can be sure to load (it holds the file and the "
                         "viewer's copy of it in memory at once): it may show \"" +
                         ForDisplay(text::kMsgLicenceUnreadable) +
                         "\" and go on with an empty licence page");
  } else if (size == 0) {
    r.warnings.push_back("licenz.doc is empty: the installer shows an empty licence page");
  }
}

void CheckSignature(const fs::path& setup, MediumReport& r) {
  if (setup.empty()) {
    r.notes.push_back("no setup.exe beside xalarch.v1");
    return;
  }
  switch (ReadPeSignature(setup)) {
    case PeSignature::kNotPe:
      r.errors.push_back("setup.exe is not a Windows program");
      return;
    case PeSignature::kUnsigned:
      r.notes.push_back("setup.exe is not signed: Windows names its publisher as unknown");
      return;
    case PeSignature::kSigned:
      break;
  }
  const SignatureCheck check = VerifySignature(setup);
  if (check.unknown) {
    r.warnings.push_back("setup.exe is signed, but its signature cannot be verified here: " +
                         check.problem);
    return;
  }
  if (!check.verified) {
    r.errors.push_back("setup.exe's signature does not verify: " + check.problem);
    return;
  }
  r.signer = check.signer;
  if (check.issuer != check.signer) r.issuer = check.issuer;
  r.timestamp = check.timestamp;
  const std::string signed_by =
      check.signer + (r.issuer.empty() ? "" : " (issued by " + r.issuer + ")");
  if (!check.out_of_date.empty()) {
    r.warnings.push_back("setup.exe's signature is intact, but the certificate of " +
                         check.signer + " " + check.out_of_date + " (valid from " +
                         check.not_before + " to " + check.not_after +
                         ") and no timestamp vouches for the time of signing: Windows still "
                         "starts the program, but does not take the signature as valid");
  } else if (!check.trusted && r.issuer.empty()) {
    r.notes.push_back("setup.exe is signed by " + check.signer +
                      ", whose certificate this system does not trust (self-signed or of an "
                      "unknown issuer)");
  } else if (!check.trusted) {
    r.notes.push_back("setup.exe is signed by " + signed_by + ", whose root certificate " +
                      (check.root.empty() ? "" : check.root + " ") + "this system does not trust");
  }
  if (!check.timestamp.empty()) {
    r.notes.push_back("setup.exe's signature is timestamped " + check.timestamp +
                      (check.timestamp_authority.empty() ? "" : " by " + check.timestamp_authority) +
                      (check.timestamp_trusted
                           ? ": the signature stays valid after the certificate of " +
                                 check.signer + " expires"
                           : ", whose root certificate this system does not trust"));
  }
}

// The seal in setup.exe against each file that the installer reads, as the installer compares
// them: the volumes the edition joins, the marker's presence, the full edition's licence.
void CheckSeal(const fs::path& setup, const fs::path& source, MediumReport& r) {
  std::error_code e;
  if (setup.empty() || !fs::is_regular_file(setup, e)) return;
  std::ifstream in(setup, std::ios::binary);
  const std::string program((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t at = SealBlockOffset(program);
  if (at == std::string::npos && r.one_file) {
    r.errors.push_back("setup.exe carries a medium but has no seal block: nothing vouches for it");
    return;
  }
  if (at == std::string::npos) {
    r.notes.push_back("setup.exe has no seal block: nothing vouches for the volumes");
    return;
  }
  switch (ReadSealBlock(program.substr(at, kSealBlockSize), &r.seal)) {
    case SealState::kUnsealed:
      if (r.one_file) {
        r.errors.push_back("setup.exe carries a medium but no seal: the installer shows \"" +
                           ForDisplay(text::kMsgDamagedHead) + HostText(setup.filename()) +
                           ForDisplay(text::kMsgOneFileDamagedTail) + "\" and installs nothing");
        return;
      }
      r.notes.push_back("setup.exe is not sealed: nothing vouches for the volumes, and the "
                        "installer checks none of them");
      return;
    case SealState::kMalformed:
      r.errors.push_back("setup.exe's seal is damaged: the installer shows \"" +
                         ForDisplay(text::kMsgDamagedHead) + "setup.exe" +
                         ForDisplay(text::kMsgDamagedTail) + "\" and installs nothing");
      return;
    case SealState::kSealed:
      r.sealed = true;
      break;
  }
  const auto mismatch = [&](const std::string& name, const std::string& why) {
    const std::string message =
        r.one_file ? ForDisplay(text::kMsgDamagedHead) + HostText(setup.filename()) +
                         ForDisplay(text::kMsgOneFileDamagedTail)
                   : ForDisplay(text::kMsgDamagedHead + name + text::kMsgDamagedTail);
    r.errors.push_back(ForDisplay(name) + " does not match the seal in setup.exe (" + why +
                       "): the installer shows \"" + message + "\" and installs nothing");
  };
  // A one-file medium's part is exactly its place in the program's file.
  const auto compare = [&](const std::string& name, const fs::path& file,
                           std::uint64_t from = 0, std::uint64_t length = 0) {
    const SealEntry* sealed = r.seal.Find(name);
    if (!sealed) return mismatch(name, "the seal does not name it");
    std::uint64_t size = 0;
    const Sha256Digest digest = r.one_file ? RegionDigest(file, from, length, &size)
                                           : FileDigest(file, sealed->size, &size);
    if (size != sealed->size) {
      return mismatch(name, size > sealed->size ? "longer than sealed"
                                                : std::to_string(size) + " bytes, sealed " +
                                                      std::to_string(sealed->size));
    }
    if (digest != sealed->digest) mismatch(name, "other bytes");
  };
  for (const MediumVolume& volume : r.volumes) {
    compare(kVolumeNames[&volume - r.volumes.data()], volume.path, volume.file_offset,
            volume.size);
  }
  if (r.full_edition != (r.seal.Find(text::kVolume0) != nullptr)) {
    mismatch(text::kVolume0, r.full_edition ? "the seal has no marker" : "sealed, but missing");
  } else if (r.full_edition && r.one_file) {
    compare(text::kVolume0, setup, r.layout.licence_offset, 0);
    if (r.layout.licence_size != 0) {
      compare(text::kLicenceFile, setup, r.layout.licence_offset, r.layout.licence_size);
    } else if (r.seal.Find(text::kLicenceFile)) {
      mismatch(text::kLicenceFile, "sealed, but missing");
    }
  } else if (r.full_edition) {
    compare(text::kVolume0, Find(source, text::kVolume0));
    const fs::path licence = Find(source, text::kLicenceFile);
    if (!licence.empty()) {
      compare(text::kLicenceFile, licence);
    } else if (r.seal.Find(text::kLicenceFile)) {
      mismatch(text::kLicenceFile, "sealed, but missing");
    }
  }
  if (r.signer.empty()) {
    r.notes.push_back("setup.exe is sealed but not signed: the seal finds a damaged or mixed-up "
                      "medium, but anyone can make a medium and seal it");
  }
}

}  // namespace

MediumReport CheckMedium(const std::string& folder) {
  MediumReport r = ReadMedium(folder);
  if (r.volumes.empty()) return r;
  const fs::path source = r.disks ? Find(HostPath(folder), "disk1", true) : HostPath(folder);
  const fs::path setup = r.one_file ? source : Find(source, text::kSetupProgram);
  CheckLicence(source, r);
  CheckSignature(setup, r);
  CheckSeal(setup, source, r);

  std::map<std::string, std::size_t> seen;
  std::map<std::string, std::uint64_t> on_disk;  // each file's size as the members write it
  std::uint64_t unpacked = 0;
  std::vector<std::string> foreign;
  for (std::size_t i = 0; i < r.members.size(); ++i) {
    const std::string& name = r.members[i].name;
    if (HasFolderPart(name)) {
      r.errors.push_back("member " + std::to_string(i + 1) + " " + Quoted(name) +
                         " lies in a folder: the installer creates no folders, so it cannot "
                         "create this file in a new target folder");
    }
    if (const std::string fault = DefaultFolderFault(name); !fault.empty()) {
      r.errors.push_back("member " + std::to_string(i + 1) + " " + Quoted(name) + " " + fault);
    }
    if (NamesADeviceUnderAnotherCodePage(name)) {
      r.warnings.push_back("member " + std::to_string(i + 1) + " " + Quoted(name) +
                           " names a device (COM or LPT with a superscript digit) where Windows "
                           "reads names in another code page than Windows-1251, such as 1252: "
                           "the installer cannot create it there");
    }
    if (LooksLikeShortAlias(name)) {
      r.warnings.push_back("member " + std::to_string(i + 1) + " " + Quoted(name) +
                           " is shaped like a short 8.3 name: where another file in the folder "
                           "has that short name, the installer writes over that file instead");
    }
    const std::string identity = FileNameIdentity(name);
    const auto [first, added] = seen.emplace(identity, i);
    if (!added) {
      r.warnings.push_back("member " + std::to_string(i + 1) + " " + Quoted(name) +
                           " replaces member " + std::to_string(first->second + 1) + " " +
                           Quoted(r.members[first->second].name) + " on install");
    } else if (!IsProductFile(name)) {
      foreign.push_back(Quoted(name));
    }
    std::uint64_t& size = on_disk[identity];
    unpacked = unpacked - size + r.members[i].unpacked;
    size = r.members[i].unpacked;
    r.peak_disk_use = std::max(r.peak_disk_use, r.archive_size + unpacked);
  }
  if (!foreign.empty()) {
    std::string list;
    for (const std::string& name : foreign) list += (list.empty() ? "" : ", ") + name;
    r.warnings.push_back("not one of the product's files: " + list +
                         ": a rollback leaves such files behind, and then cannot remove the "
                         "target folder");
  }
  if (r.errors.empty()) {
    for (const char* needed : {kProgramFile, kUninstallerFile}) {
      if (!seen.count(FileNameIdentity(needed))) {
        r.warnings.push_back(std::string("no member ") + needed +
                             ": the program group, the file association and the desktop "
                             "shortcut would point at a file that is not there");
      }
    }
  }

  const std::uint64_t free_space = r.full_edition ? kFullEditionFreeSpace : kDemoEditionFreeSpace;
  if (r.errors.empty() && r.peak_disk_use > free_space) {
    r.warnings.push_back(
        "the installation needs " + std::to_string(r.peak_disk_use) +
        " bytes at its peak (the temporary archive and the unpacked files together), more than "
        "the " + std::to_string(free_space) +
        " bytes free that the installer asks for: a disk that passes its check may fill up "
        "midway");
  }

  // The copy bar's maximum is the edition's expected size in 2,048-byte chunks; each volume
  // advances it once per chunk read, the last partial one included, and once more for the empty
  // read at its end.
  const std::uint64_t scale = r.full_edition ? kFullEditionScale : kDemoEditionScale;
  const std::uint64_t maximum = scale / kCopyChunk;
  std::uint64_t& steps = r.copy_steps;
  for (const MediumVolume& v : r.volumes) steps += (v.size + kCopyChunk - 1) / kCopyChunk + 1;
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
           (r.one_file ? "inside setup.exe" : r.disks ? "disk folders" : "one folder") + "\n";
    for (const MediumVolume& v : r.volumes) {
      out += "  " + v.name + ": " + std::to_string(v.size) + " bytes\n";
    }
    if (r.peak_disk_use > 0) {
      out += "  disk use at its peak: " + std::to_string(r.peak_disk_use) +
             " bytes; the installer asks for " +
             std::to_string(r.full_edition ? kFullEditionFreeSpace : kDemoEditionFreeSpace) +
             " bytes free\n";
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
      count(r.errors.size(), "error") + ", " + count(r.warnings.size(), "warning") +
      (r.signer.empty() ? std::string() : ", setup.exe signed by " + r.signer) +
      (r.issuer.empty() ? std::string() : " (issued by " + r.issuer + ")") +
      (r.timestamp.empty() ? std::string() : ", timestamped " + r.timestamp) +
      (r.signer.empty() || r.sealed ? "" : " (the volumes are not sealed: the signature vouches "
                                           "for setup.exe alone)") +
      (r.sealed ? (r.signer.empty() ? ", sealed" : ", every file sealed") : "") + "\n";
  return out;
}

}  // namespace kv

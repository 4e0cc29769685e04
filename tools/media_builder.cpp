#include "tools/media_builder.h"

#include <algorithm>
#include <optional>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/texts.h"
#include "media/archive.h"
#include "media/file_names.h"
#include "media/one_file.h"
#include "media/seal.h"
#include "tools/host_text.h"
#include "tools/medium_check.h"
#include "tools/signing.h"

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kv {

namespace fs = std::filesystem;

namespace {

// Reads a regular file (a pipe or a device might never end).
// The SHA-256 of the file `path`, which must still hold `size` bytes.
Sha256Digest SealedDigest(const fs::path& path, std::uint64_t size) {
  std::uint64_t read = 0;
  const Sha256Digest digest = FileDigest(path, size, &read);
  if (read != size) throw MediaError("cannot read " + HostText(path) + " to seal it");
  return digest;
}

std::string ReadAll(const fs::path& path) {
  std::error_code e;
  if (!fs::is_regular_file(path, e)) throw MediaError(HostText(path) + ": not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MediaError("cannot read " + HostText(path));
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) throw MediaError("cannot read " + HostText(path));
  return s.str();
}

// A file made new for writing. Its creation fails where anything of that name is there already
// (a file, a link, a dangling one too), so nothing is ever written through what appeared there.
class NewFile {
 public:
  explicit NewFile(const fs::path& path) {
#ifdef _WIN32
    handle_ = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    existed_ = !Open() && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
#else
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    existed_ = !Open() && (errno == EEXIST || errno == ELOOP);
#endif
  }
  ~NewFile() { Close(); }
  bool Open() const {
#ifdef _WIN32
    return handle_ != INVALID_HANDLE_VALUE;
#else
    return fd_ >= 0;
#endif
  }
  bool Existed() const { return existed_; }
  // Writes all of `data`; false when the system takes less (a full disk, a file size limit).
  bool Write(const char* data, std::size_t size) {
    while (size > 0) {
#ifdef _WIN32
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
      if (!WriteFile(handle_, data, want, &n, nullptr) || n == 0) return false;
#else
      const ssize_t n = write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
#endif
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool Close() {
    if (!Open()) return false;
#ifdef _WIN32
    const bool closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
#else
    const bool closed = close(fd_) == 0;
    fd_ = -1;
#endif
    return closed;
  }

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
  bool existed_ = false;
};

// What the builder made in the output folder, removed again unless the medium is finished.
class Written {
 public:
  ~Written() {
    std::error_code e;
    for (auto it = made_.rbegin(); !done_ && it != made_.rend(); ++it) fs::remove(*it, e);
  }
  void Folder(const fs::path& path) {
    std::error_code e;
    if (path.empty() || fs::is_directory(path, e)) return;
    Folder(path.parent_path());
    if (!fs::create_directory(path, e) || e) throw MediaError("cannot create " + HostText(path));
    made_.push_back(path);
  }
  // A new file holding `data`, or the copy of `from` when `data` is null; never written through
  // anything that appeared there in the meantime.
  void File(const fs::path& path, const std::string* data, const fs::path& from = {}) {
    NewFile out(path);
    if (out.Existed()) throw MediaError(HostText(path) + " appeared while the medium was written");
    if (!out.Open()) throw MediaError("cannot write " + HostText(path));
    made_.push_back(path);
    const std::string cannot_write = "cannot write " + HostText(path);
    if (data) {
      if (!out.Write(data->data(), data->size())) throw MediaError(cannot_write);
    } else {
      std::ifstream in(from, std::ios::binary);
      char chunk[1 << 16];
      while (in) {
        in.read(chunk, sizeof chunk);
        if (!out.Write(chunk, static_cast<std::size_t>(in.gcount()))) throw MediaError(cannot_write);
      }
      if (in.bad() || !in.eof()) throw MediaError("cannot read " + HostText(from));
    }
    if (!out.Close()) throw MediaError(cannot_write);
  }
  void Keep() { done_ = true; }

 private:
  std::vector<fs::path> made_;
  bool done_ = false;
};

}  // namespace

std::string BuildArchive(std::vector<ProductFile> files) {
  if (files.empty()) throw MediaError("the product folder holds no files");
  std::sort(files.begin(), files.end());
  std::map<std::string, std::string> identities;
  std::string archive;
  for (const auto& [name, content] : files) {
    const std::string shown = ForDisplay(name);
    if (name.find('$') != std::string::npos) throw MediaError(shown + ": a name may not hold \"$\"");
    if (HasFolderPart(name)) {
      throw MediaError(shown + ": not a plain file name (the installer creates no folders)");
    }
    if (const std::string fault = MemberNameFault(name); !fault.empty()) {
      throw MediaError(shown + ": the installer cannot create this file: the name " + fault);
    }
    if (const std::string fault = DefaultFolderFault(name); !fault.empty()) {
      throw MediaError(shown + ": the name " + fault);
    }
    const auto [other, added] = identities.emplace(FileNameIdentity(name), name);
    if (!added) {
      throw MediaError(shown + " and " + ForDisplay(other->second) +
                       ": Windows takes both names for one file, so one would replace the other");
    }
    if (content.size() > static_cast<std::size_t>(kMemberBufferSize)) {
      throw MediaError(shown + ": larger than " + std::to_string(kMemberBufferSize) + " bytes");
    }
    const std::string member = PackMember(name, content);
    const std::size_t packed = member.size() - member.find('$', name.size() + 1) - 1;
    if (packed > static_cast<std::size_t>(kMemberBufferSize)) {
      throw MediaError(shown + ": compressed form larger than " + std::to_string(kMemberBufferSize) + " bytes");
    }
    archive += member;
  }
  return archive;
}

std::vector<std::string> CutVolumes(const std::string& archive, int count,
                                    const std::vector<std::uint64_t>& sizes) {
  std::vector<std::string> volumes;
  std::uint64_t at = 0;
  for (int i = 0; i < count; ++i) {
    std::uint64_t size;
    if (i == count - 1) {
      size = archive.size() - at;
    } else if (!sizes.empty()) {
      if (static_cast<int>(sizes.size()) != count - 1 && static_cast<int>(sizes.size()) != count) {
        throw MediaError("give " + std::to_string(count - 1) + " or " + std::to_string(count) +
                         " volume sizes");
      }
      size = std::min<std::uint64_t>(sizes[i], archive.size() - at);
    } else {
      size = archive.size() / count;
    }
    volumes.push_back(archive.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(size)));
    at += size;
  }
  // Every volume's size given: together they are the archive's, not more, not less.
  std::uint64_t given = 0;
  for (const std::uint64_t size : sizes) given += std::min<std::uint64_t>(size, archive.size() + 1);
  if (!sizes.empty() && static_cast<int>(sizes.size()) == count && given != archive.size()) {
    throw MediaError("the volume sizes do not add up to the archive's " +
                     std::to_string(archive.size()) + " bytes");
  }
  return volumes;
}

namespace {

// setup.exe with the medium after its last section: sealed, then signed as a whole.
template <typename Extras, typename Sign>
MediaReport WriteOneFile(const MediaOptions& o, const fs::path& out_dir, const std::string& archive,
                         std::size_t members, const Extras& extras, const std::string& program,
                         const Sign& sign) {
  if (o.setup_exe.empty()) {
    throw MediaError("a one-file medium is setup.exe with the medium inside: give it with --setup");
  }
  if (o.disks || !o.volume_sizes.empty()) {
    throw MediaError("a one-file medium has neither disks nor volume sizes");
  }
  if (ReadPeSignature(HostPath(o.setup_exe)) != PeSignature::kUnsigned) {
    throw MediaError(o.setup_exe + " is signed: give the program as built, which is signed "
                     "here with its medium");
  }
  ProgramExtent extent;
  if (!ReadProgramExtent(program.substr(0, kOneFileHeadersSize), program.size(), &extent) ||
      extent.sections_end != program.size()) {
    throw MediaError(o.setup_exe + " carries data after its last section: give the program as "
                     "built");
  }
  std::string licence;
  for (const auto& extra : extras) {
    if (extra.name == text::kLicenceFile) licence = ReadAll(extra.copy_of);
  }
  Seal seal;
  seal.entries.push_back({text::kVolume1, archive.size(), Sha256Of(archive)});
  if (o.full_edition) seal.entries.push_back({text::kVolume0, 0, Sha256Of(std::string())});
  if (!licence.empty()) {
    seal.entries.push_back({text::kLicenceFile, licence.size(), Sha256Of(licence)});
  }
  std::string sealed = program;
  if (!WriteSeal(seal, &sealed)) {
    throw MediaError(o.setup_exe + " has no seal block (section " + kSealSection +
                     "), without which nothing vouches for a medium inside it");
  }
  const std::string file =
      sign(sealed + OneFilePayload(sealed.size(), archive, licence, o.full_edition));

  Written written;
  written.Folder(out_dir);
  written.File(out_dir / text::kSetupProgram, &file);
  const std::string path = HostText(out_dir / text::kSetupProgram);
  const MediumReport check = CheckMedium(path);
  if (!check.WouldInstall()) {
    std::string why;
    for (const std::string& error : check.errors) why += "\n  " + error;
    throw MediaError("the one-file medium written to " + path + " would not install:" + why);
  }
  if (!o.cert.empty() && check.signer.empty()) {
    throw MediaError("the signed one-file medium written to " + path + " does not verify");
  }
  written.Keep();
  MediaReport report;
  report.summary = std::string(o.full_edition ? "full" : "demo") + " edition, " +
                   std::to_string(members) + " members, archive " +
                   std::to_string(archive.size()) + " bytes" +
                   (licence.empty() ? "" : ", licenz.doc") + " inside " + path + " (" +
                   std::to_string(file.size()) + " bytes)" + (o.cert.empty() ? "" : " (signed)");
  report.warnings = check.warnings;
  return report;
}

}  // namespace

MediaReport WriteMedia(const MediaOptions& o) {
  // The output folder: written only when it holds nothing, so that the folder written is exactly
  // the medium asked for and nothing of an older one stays beside it.
  if (o.out_dir.empty()) throw MediaError("no output folder given");
  const fs::path out_dir = HostPath(o.out_dir);
  std::error_code e;
  if (fs::exists(fs::symlink_status(out_dir, e))) {
    if (!fs::is_directory(out_dir, e)) throw MediaError(o.out_dir + " is not a folder");
    if (!fs::is_empty(out_dir, e) || e) {
      throw MediaError(o.out_dir + " is not empty: give a new or empty folder for the medium");
    }
  }

  const fs::path product_dir = HostPath(o.product_dir);
  if (!fs::is_directory(product_dir, e)) throw MediaError(o.product_dir + " is not a folder");
  std::vector<ProductFile> files;
  for (fs::directory_iterator it(product_dir, e), end; it != end; it.increment(e)) {
    if (e) break;
    std::string why;
    const std::optional<std::string> name = Cp1251FileName(it->path().filename(), &why);
    const std::string shown = name ? ForDisplay(*name) : HostText(it->path().filename());
    if (!name) throw MediaError(shown + ": the name " + why + ", so the installer could not create it");
    if (!it->is_regular_file(e)) throw MediaError(shown + ": not a plain file");
    if (it->file_size(e) > static_cast<std::uintmax_t>(kMemberBufferSize)) {
      throw MediaError(shown + ": larger than " + std::to_string(kMemberBufferSize) + " bytes");
    }
    files.emplace_back(*name, ReadAll(it->path()));
  }
  if (e) throw MediaError("cannot read the folder " + o.product_dir);
  const std::string archive = BuildArchive(files);
  const int count = o.full_edition ? kFullEditionVolumes : kDemoEditionVolumes;

  // Beside the first volume: the marker (empty), the licence (copied, its size taken from the
  // file system) and the installer.
  struct Extra {
    std::string name, content;
    fs::path copy_of;  // the content is this file's
    std::uint64_t size = 0;
  };
  std::vector<Extra> extras;
  if (o.full_edition) {
    extras.push_back({text::kVolume0, "", {}, 0});
    if (!o.licence.empty()) {
      const fs::path licence = HostPath(o.licence);
      if (!fs::is_regular_file(licence, e)) throw MediaError(o.licence + ": not a regular file");
      extras.push_back({text::kLicenceFile, "", licence, fs::file_size(licence, e)});
      if (e) throw MediaError("cannot read " + o.licence);
      // Refused before anything is copied: the installer could not be sure to load it.
      if (extras.back().size > kLicenceLoadLimit) {
        throw MediaError(o.licence + " has " + std::to_string(extras.back().size) +
                         " bytes, more than the " + std::to_string(kLicenceLoadLimit) +
                         " that the installer can be sure to load as its licence");
      }
    }
  }
  if (o.cert.empty() != o.key.empty()) throw MediaError("signing needs both --cert and --key");
  if (!o.pass_file.empty() && o.key.empty()) throw MediaError("--pass-file goes with --key");
  if ((!o.chain.empty() || !o.timestamp_url.empty()) && o.cert.empty()) {
    throw MediaError("--chain and --timestamp go with --cert and --key");
  }
  if (!o.setup_exe.empty() && ReadPeSignature(HostPath(o.setup_exe)) == PeSignature::kNotPe) {
    throw MediaError(o.setup_exe + ": not a Windows program");
  }
  if (!o.cert.empty() && o.setup_exe.empty()) {
    throw MediaError("--cert and --key sign setup.exe: give it with --setup");
  }
  // The installer as given; signed here only to learn its signed size (what the floppies hold
  // beside the first volume), and again once the seal is in it.
  const std::string program = o.setup_exe.empty() ? std::string() : ReadAll(HostPath(o.setup_exe));
  const auto sign = [&](const std::string& bytes) {
    return o.cert.empty() ? bytes
                          : SignedProgram(bytes, o.setup_exe,
                                          {o.cert, o.key, o.pass_file, o.chain, o.timestamp_url,
                                           o.signing_time});
  };
  if (o.one_file) return WriteOneFile(o, out_dir, archive, files.size(), extras, program, sign);
  if (!o.setup_exe.empty()) extras.push_back({text::kSetupProgram, sign(program), {}, 0});
  for (Extra& extra : extras) {
    if (extra.copy_of.empty()) extra.size = extra.content.size();
  }

  std::vector<std::uint64_t> sizes = o.volume_sizes;
  if (o.disks && sizes.empty()) {
    std::uint64_t beside = 0;
    for (const Extra& extra : extras) {
      beside += (extra.size + kFloppyCluster - 1) / kFloppyCluster * kFloppyCluster;
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

  // The seal: every file the installer reads, written into setup.exe before it is signed, so
  // that the signature vouches for the whole medium.
  std::vector<std::string> seal_warnings;
  if (!o.setup_exe.empty()) {
    Seal seal;
    for (int i = 0; i < count; ++i) {
      seal.entries.push_back({kVolumeNames[i], volumes[i].size(), Sha256Of(volumes[i])});
    }
    for (const Extra& extra : extras) {
      if (extra.name == text::kSetupProgram) continue;
      seal.entries.push_back({extra.name, extra.size,
                              extra.copy_of.empty() ? Sha256Of(extra.content)
                                                    : SealedDigest(extra.copy_of, extra.size)});
    }
    // At most five files, of names that fit: only a missing block keeps the seal out.
    std::string sealed = program;
    if (!WriteSeal(seal, &sealed)) {
      seal_warnings.push_back(o.setup_exe + " has no seal block (section " + kSealSection +
                              "): the medium is not sealed, and a signature vouches for "
                              "setup.exe alone");
    }
    Extra& setup = extras.back();
    setup.content = sign(sealed);
    // A signature is as long for the sealed program as for the one measured above, but for a
    // timestamp token, whose length may vary by a byte or two: a disk filled to the byte must
    // still hold it in the clusters it was measured to take.
    const auto clusters = [](std::uint64_t n) { return (n + kFloppyCluster - 1) / kFloppyCluster; };
    if (setup.content.size() != setup.size &&
        (o.timestamp_url.empty() ||
         (o.disks && o.volume_sizes.empty() &&
          clusters(setup.content.size()) > clusters(setup.size)))) {
      throw MediaError("the signed, sealed " + o.setup_exe + " has " +
                       std::to_string(setup.content.size()) + " bytes, not the " +
                       std::to_string(setup.size) + " its signed size was taken to be");
    }
    setup.size = setup.content.size();
  }

  MediaReport report;
  report.summary = std::string(o.full_edition ? "full" : "demo") + " edition, " +
                   std::to_string(files.size()) + " members, archive " +
                   std::to_string(archive.size()) + " bytes:";
  Written written;
  written.Folder(out_dir);
  for (int i = 0; i < count; ++i) {
    const fs::path folder = o.disks ? out_dir / ("disk" + std::to_string(i + 1)) : out_dir;
    written.Folder(folder);
    const std::string name = kVolumeNames[i];
    written.File(folder / name, &volumes[i]);
    report.summary += (i ? ", " : " ") + name + " (" + std::to_string(volumes[i].size()) +
                      " bytes) in " + HostText(folder);
  }
  const fs::path first = o.disks ? out_dir / "disk1" : out_dir;
  for (std::size_t i = 0; i < extras.size(); ++i) {
    const Extra& extra = extras[i];
    written.File(first / extra.name, extra.copy_of.empty() ? &extra.content : nullptr, extra.copy_of);
    report.summary += (i ? ", " : "; ") + extra.name;
  }
  if (!extras.empty()) report.summary += " beside xalarch.v1";
  if (!o.cert.empty()) report.summary += " (signed)";

  // What the installer will make of it, by the same rules as `mkmedia check`.
  const MediumReport check = CheckMedium(o.out_dir);
  if (!check.WouldInstall()) {
    std::string why;
    for (const std::string& error : check.errors) why += "\n  " + error;
    throw MediaError("the medium written to " + o.out_dir + " would not install:" + why);
  }
  if (!o.cert.empty() && check.signer.empty()) {
    throw MediaError("the signed setup.exe written to " + o.out_dir + " does not verify");
  }
  written.Keep();
  report.warnings = seal_warnings;
  report.warnings.insert(report.warnings.end(), check.warnings.begin(), check.warnings.end());
  return report;
}

}  // namespace kv

// Reads a distribution medium as the installer would and tells whether it would install.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/product_facts.h"
#include "media/one_file.h"
#include "media/seal.h"

namespace kv {

struct MediumVolume {
  std::string name;  // as shown: relative to the medium folder, "disk2/xalarch.v2"
  std::filesystem::path path;
  std::uint64_t offset = 0;  // of its first byte in the archive
  std::uint64_t size = 0;
  std::uint64_t file_offset = 0;  // where it begins in its file (a one-file medium's archive)
};

struct MediumMember {
  std::string name;
  std::int64_t packed = 0;
  std::uint32_t unpacked = 0;
};

struct MediumReport {
  bool disks = false;  // disk1/, disk2/, disk3/ rather than one folder
  bool one_file = false;  // a setup.exe carrying its medium; `layout` gives its place
  OneFileLayout layout;
  bool full_edition = false;
  std::vector<MediumVolume> volumes;  // those the edition joins, in order
  std::uint64_t archive_size = 0;
  // The most the target folder holds during the installation: the temporary archive and the
  // files unpacked so far lie there together until the archive is deleted.
  std::uint64_t peak_disk_use = 0;
  // How often the copy advances its progress bar: per volume, its 2,048-byte chunks (the last
  // partial one included) and the empty read at its end.
  std::uint64_t copy_steps = 0;
  // Of a setup.exe whose signature verifies: who signed it, who issued that certificate (when
  // not the signer itself), and the time of the timestamp the signature carries (if any).
  std::string signer, issuer, timestamp;
  // The seal in setup.exe; each file the installer reads matched it (else an error names it).
  bool sealed = false;
  Seal seal;
  std::vector<MediumMember> members;  // up to the first fault
  std::vector<std::string> notes, warnings, errors;
  bool WouldInstall() const { return errors.empty(); }
};

// The medium in `folder` (holding xalarch.v1..., or disk1/, disk2/, disk3/): the edition from the
// marker xalarch.v0, the volumes that edition joins (looked for where the installer looks: in the
// disk that is in the drive, and after a prompt on the next disk), and every member read and
// inflated by the installer's own reader. File names are found whatever their case, as Windows
// finds them; only regular files are read, and never more than their size, so nothing blocks.
// A reading fault is an error naming the volume and the byte offset. `folder` may also name a
// program that carries its medium (a one-file medium), which is read as the installer finds it.
MediumReport ReadMedium(const std::string& folder);

// ReadMedium, and what else decides how the installation goes: the seal in setup.exe against
// every file the installer reads (volumes, marker, licence), the full edition's licence,
// names that occur twice or need a folder, members outside the product's file set or a missing
// program or uninstaller, the peak disk use against the edition's free-space threshold, the
// progress steps against the edition's progress scale, and setup.exe's signature.
MediumReport CheckMedium(const std::string& folder);

// One line per member: packed size, unpacked size, name.
std::string FormatMember(const MediumMember& member);
// The whole check: volumes, members, notes, warnings and errors, then one summary line.
std::string FormatCheck(const MediumReport& report);

// An installer text or a member name (Windows-1251, as the installer uses it) as UTF-8, the text
// of mkmedia's messages (which the Windows build prints in the console's character set); control
// bytes shown as \xNN.
std::string ForDisplay(const std::string& text);

// Why a member name cannot be installed into the proposed folder C:\Kelvanto (its path would
// reach Windows' limit of 260 characters), as a phrase; empty when it can.
std::string DefaultFolderFault(const std::string& name);

// The largest licence that the installer, a 32-bit program that reads the whole file and hands it
// to the viewer (which keeps its own copy as Unicode), can be sure to load.
inline constexpr std::uint64_t kLicenceLoadLimit = 256ull << 20;

// The SHA-256 of the file `path`, read up to its end or until more than `limit` bytes were read
// (a file longer than expected is not read to its end); *size is what was read.
Sha256Digest FileDigest(const std::filesystem::path& path, std::uint64_t limit, std::uint64_t* size);

// What a full edition without licenz.doc does to the installer.
std::string NoLicenceWarning();

}  // namespace kv

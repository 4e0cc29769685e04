// Builds distribution media from a folder of product files: the archive cut into volumes, the
// full edition's marker volume and licence, as one folder or as one folder per disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/media_error.h"

namespace kv {

using ProductFile = std::pair<std::string, std::string>;  // name, content

// The archive of `files` (names in Windows-1251), members in name order (so the same input gives
// the same bytes). Throws MediaError for what the installer could not unpack: no files, a name
// with "$", one that is not a plain file name the installer can create (MemberNameFault,
// HasFolderPart, DefaultFolderFault), two names that Windows takes for one file, content or
// compressed content above 10,485,761 bytes.
std::string BuildArchive(std::vector<ProductFile> files);

// Cuts `archive` into `count` volumes. `sizes`, when given, are the sizes of the first volumes
// (the last one takes the rest), or of every volume, which must then add up to the archive's
// size (MediaError otherwise); otherwise the archive is split evenly.
std::vector<std::string> CutVolumes(const std::string& archive, int count,
                                    const std::vector<std::uint64_t>& sizes);

// What a 1.44 MB floppy disk holds for files, and its allocation unit.
inline constexpr std::uint64_t kFloppyBytes = 1457664;
inline constexpr std::uint64_t kFloppyCluster = 512;

struct MediaOptions {
  std::string product_dir, out_dir;
  bool full_edition = true;
  std::string licence;     // licenz.doc for the full edition (none when empty)
  std::string setup_exe;   // copied beside the first volume when given
  bool disks = false;      // disk1/, disk2/, disk3/ instead of one folder
  // OUT_DIR/setup.exe alone, carrying the whole medium (needs setup_exe; no disks or volumes).
  bool one_file = false;
  // Sizes of the first volumes (the last takes the rest). None: an even split in one folder;
  // with `disks`, each disk filled up to a floppy's kFloppyBytes, the first one's files included.
  std::vector<std::uint64_t> volume_sizes;
  // PEM files: sign the setup.exe put on the medium (needs setup_exe and osslsigncode).
  std::string cert, key;
  std::string pass_file;  // holds the passphrase of an encrypted key
  std::string chain;      // PEM: the certificates that issued `cert`, carried in the signature
  std::string timestamp_url;  // an RFC 3161 time-stamping server asked for a token
  std::optional<std::int64_t> signing_time;  // seconds since 1970; none: the present time
};

struct MediaReport {
  std::string summary;  // one line: edition, members, archive size, where each volume went
  std::vector<std::string> warnings;
};

// Reads the product folder (its file names converted to Windows-1251) and writes the medium into
// the output folder, which must be empty or not exist yet; then checks it as `mkmedia check`
// does and passes on the check's warnings. Throws MediaError, before anything is written, for an
// output folder that holds anything, for what the installer could not unpack, for a name with no
// Windows-1251 form, for an archive that does not fit on the floppies of `disks`, for a licence
// above kLicenceLoadLimit, and when signing was asked for and cannot be done or the signed
// program does not verify; while writing, for a file or link that appeared where a file is to be
// made, and for a failed write; and, after writing, when the check finds that the medium would
// not install or (when signing) that its setup.exe does not verify. What it wrote is removed
// again when it fails.
MediaReport WriteMedia(const MediaOptions& options);

}  // namespace kv

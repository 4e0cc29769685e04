// The product's facts: what the installer acts on and the vendor's tool predicts from. Both
// include this one header, so that a prediction cannot drift from what it predicts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/texts.h"

namespace kv {

// The volumes in the order they are joined; the demo edition joins the first two, the full
// edition (marked by text::kVolume0 beside the first) all three.
inline constexpr const char* kVolumeNames[] = {text::kVolume1, text::kVolume2, text::kVolume3};
inline constexpr int kFullEditionVolumes = 3;
inline constexpr int kDemoEditionVolumes = 2;
static_assert(sizeof(kVolumeNames) / sizeof(kVolumeNames[0]) == kFullEditionVolumes);

// The copy reads and writes the volumes in chunks of this size and advances its progress bar once
// per chunk; the bar's maximum is the edition's expected archive size over the chunk size.
inline constexpr std::size_t kCopyChunk = 2048;
inline constexpr std::uint64_t kFullEditionScale = 2711400;
inline constexpr std::uint64_t kDemoEditionScale = 1787000;

// The free space the folder check asks for on the target drive.
inline constexpr std::uint64_t kFullEditionFreeSpace = 17000000;
inline constexpr std::uint64_t kDemoEditionFreeSpace = 15000000;

// Size of each of the unpacker's two buffers: the largest payload and the largest content of a
// member.
inline constexpr std::int32_t kMemberBufferSize = 10485761;

// The product's files in the target folder, in the order they are deleted.
inline constexpr const char* kProductFileSet[] = {
    "kelvanto.exe", "kelvanto.hlp", "kelvanto.gid", "xalbase.dat", "xals2.hlp",
    "xals2.cnt",    "txts.dat",     "xali.dac",     "favor.dat",   "count.dat",
    "xals2.gid",    "wizard.exe",   "Readme.txt",   "Regform.txt", "order.txt",
    "Readme.doc",   "protokol.doc", "licenz.doc",   "Uninstall.exe", "Uninstall.bat",
};
static_assert(sizeof(kProductFileSet) / sizeof(kProductFileSet[0]) == 20, "20 product files");
// The program and the uninstaller, which the group, the file association and the shortcut name.
inline constexpr const char* kProgramFile = kProductFileSet[0];
inline constexpr const char* kUninstallerFile = kProductFileSet[18];

}  // namespace kv

// What the installer can create: the names a member of the archive may have, the names the
// installer keeps for itself, and when two names are the same file. The unpacker, the media
// builder and the medium check all decide by these rules.
#pragma once

#include <string>

namespace kv {

// The name under which Windows keeps a file: the Windows-1251 letters folded to one case, "/"
// taken as "\", trailing dots and blanks dropped. Two names with the same identity name the same
// file; FAT and NTFS alike do not tell them apart.
std::string FileNameIdentity(const std::string& name);
bool SameFileName(const std::string& a, const std::string& b);

// Whether a program that opens `asked` gets the file listed in a folder as `on_disk`. Windows
// drops trailing dots and blanks from the name asked for only: a file whose own name ends so
// ("xalarch.v2.", made on another system) is reached by no name but its exact one, so the two
// match by the case of Windows-1251 letters alone.
bool NameOnDiskAnswers(const std::string& on_disk, const std::string& asked);

// Why the unpacker cannot create a member of this name below the target folder, as a phrase
// ("names a device"); empty when it can. Refused: an empty name, a drive or colon, a leading "\"
// or "/", a "." or ".." component, a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any
// extension, in any case), a control character or one of ? * < > | " , a component longer than
// 255 bytes, and the installer's own temporary archive, which it holds open while unpacking.
// Folder parts below the target folder are allowed here (see HasFolderPart).
std::string MemberNameFault(const std::string& name);
inline bool IsSafeMemberName(const std::string& name) { return MemberNameFault(name).empty(); }

// Whether the system takes a name of one folder level for a device (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, with any extension, in any case).
bool IsDeviceName(const std::string& name);

// A name that the system takes for a device where the installer's Windows-1251 bytes are read in
// another code page: COM or LPT followed by B9, B2 or B3 (the superscript digits ¹ ² ³ of
// Windows-1252 and others), with any extension, in any case.
bool NamesADeviceUnderAnotherCodePage(const std::string& name);

// A name shaped as a short 8.3 alias ("UNINST~1.EXE"): up to eight characters ending in "~" and
// digits, and an extension of up to three. On a volume with short names, such a name may be the
// alias of another file.
bool LooksLikeShortAlias(const std::string& name);

// A name with a "\" or "/": its file can be created only where that folder exists already, which a
// new target folder never has, since the installer creates no folders.
bool HasFolderPart(const std::string& name);

// One of the product's files, which the installer clears from the target folder before unpacking
// and on rollback (compared as file names are).
bool IsProductFile(const std::string& name);

}  // namespace kv

#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include "platform/cp1251.h"
#include "platform/form_events.h"

namespace kv {

// ---- View ----------------------------------------------------------------------------------------

void FakeView::SetText(Ctl c, const std::string& text) {
  if (platform) platform->Work();
  at(c).text = text;
}

std::string FakeView::EditText() {
  std::string text = at(Ctl::Edit1).text;
  if (edit_utf8_ && !(platform && platform->Utf8ToSystem(at(Ctl::Edit1).text, &text))) {
    text.clear();
  }
  return text;
}

std::string FakeView::EditTextUtf8() {
  const std::string& text = at(Ctl::Edit1).text;
  return edit_utf8_ || !platform ? text : platform->SystemToUtf8(text);
}

void FakeView::CloseBox() {
  if (closed || !form) return;
  if (!form->FormClose()) hidden = true;
}

void FakeView::Close() {
  if (closed) return;
  closed = true;
  if (on_close) on_close();
  if (form) form->FormDestroy();
}

bool FakeView::LoadRichText(const std::string& content, bool rtf) {
  if (rtf && reject_rtf) return false;
  licence = content;
  licence_rtf = rtf;
  return true;
}

int FakeView::ShowMessage(const std::string& text, const std::string& caption, unsigned flags) {
  return platform->ShowMessage(text, caption, flags);
}

void FakePlatform::Work() {
  if (++calls == fail_call) throw std::bad_alloc();
}

// ---- Files -----------------------------------------------------------------------------------------

FakePlatform::FakePlatform() {
  view.platform = this;
  AddDrive('C', Drive{});
  AddFolder(windows_dir);
  AddFolder(current_dir);
  special_folders[kCsidlDesktop] = "C:\\Users\\user\\Desktop";
  special_folders[kCsidlPrograms] = "C:\\Users\\user\\Start Menu\\Programs";
  AddFolder(special_folders[kCsidlDesktop]);
  AddFolder(special_folders[kCsidlPrograms]);
  // The keys every Windows machine has.
  for (const char* key : {"HKCR", "HKCU\\Software",
                          "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}) {
    AddRegKey(key);
  }
  metrics.cb_size = sizeof metrics;
  for (LogFont* f : {&metrics.caption_font, &metrics.sm_caption_font, &metrics.menu_font,
                     &metrics.status_font, &metrics.message_font}) {
    std::strcpy(f->face_name, "Tahoma");
    f->char_set = 204;
    f->height = -11;
  }
}

FakePlatform::~FakePlatform() {
  if (machine->setup_lock_owner == this) machine->setup_lock_owner = nullptr;
}

// As Windows compares names: each Windows-1251 byte as its Unicode character, letters in capitals
// (Cyrillic а..я to А..Я, ѐ..џ to Ѐ..Џ, ґ to Ґ, Latin a..z to A..Z), back to the byte that holds
// the capital; a capital that the code page does not hold leaves the byte as it was.
std::string FakePlatform::Upper(std::string s) {
  static const std::array<char, 256> upper = [] {
    std::array<char, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
      char16_t u = Cp1251ToUnicode(static_cast<unsigned char>(byte));
      if ((u >= u'a' && u <= u'z') || (u >= 0x0430 && u <= 0x044F)) {
        u -= 0x20;
      } else if (u >= 0x0450 && u <= 0x045F) {
        u -= 0x50;
      } else if (u == 0x0491) {
        u = 0x0490;
      }
      table[byte] = static_cast<char>(byte);
      for (int capital = 0; capital < 256; ++capital) {
        if (Cp1251ToUnicode(static_cast<unsigned char>(capital)) == u) {
          table[byte] = static_cast<char>(capital);
        }
      }
    }
    return table;
  }();
  for (char& c : s) c = upper[static_cast<unsigned char>(c)];
  return s;
}

void FakePlatform::AddDrive(char letter, const Drive& d) {
  drives_[static_cast<char>(std::toupper(letter))] = d;
}

FakePlatform::Drive& FakePlatform::drive(char letter) {
  return drives_.at(static_cast<char>(std::toupper(letter)));
}

std::string FakePlatform::Resolve(const std::string& path) const {
  if (path.empty() || path.size() >= kMaxPathLength) return {};
  std::string full;
  if (path.size() >= 2 && path[1] == ':') {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    if (!std::isalpha(static_cast<unsigned char>(letter))) return {};
    const std::string rest = path.substr(2);
    if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) {
      full = std::string(1, letter) + ":" + rest;
    } else if (Upper(current_dir.substr(0, 1)) == std::string(1, letter)) {
      full = current_dir + "\\" + rest;
    } else {
      full = std::string(1, letter) + ":\\" + rest;
    }
  } else if (path[0] == '\\' || path[0] == '/') {
    if (path.size() > 1 && (path[1] == '\\' || path[1] == '/')) return {};  // no network shares
    full = current_dir.substr(0, 2) + path;
  } else {
    full = current_dir + "\\" + path;
  }
  std::vector<std::string> parts;
  std::size_t start = 3;
  while (start <= full.size()) {
    std::size_t end = full.find_first_of("\\/", start);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      for (unsigned char c : part) {
        if (c < 0x20 || std::strchr("<>\"|?*:", c)) return {};
      }
      // As Windows does: a name that ends in one dot loses it ("a." is "a", "a.." stays).
      if (part.back() == '.' && part.find_first_not_of('.') != std::string::npos &&
          (part.size() < 2 || part[part.size() - 2] != '.')) {
        part.pop_back();
      }
      parts.push_back(part);
    }
    start = end + 1;
  }
  // The last name loses every blank and dot it ends in, unless a separator follows it: "K " and
  // "K." name the folder K, while "K \\" names a folder "K " that only such a text can reach.
  const char last = path.back();
  if (!parts.empty() && last != '\\' && last != '/') {
    std::string& name = parts.back();
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    if (name.empty()) parts.pop_back();
  }
  if (!drives_.count(full[0])) return {};
  std::string out = full.substr(0, 2) + "\\";
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "\\" : "") + parts[i];
  return out.size() < kMaxPathLength ? out : std::string();
}

FakePlatform::Node* FakePlatform::Find(const std::string& path) { return FindFull(Resolve(path)); }

FakePlatform::Node* FakePlatform::FindFull(const std::string& full) {
  if (full.empty()) return nullptr;
  const Drive& d = drives_.at(full[0]);
  if (!d.medium) return nullptr;
  auto it = nodes_.find(Upper(full));
  return it == nodes_.end() ? nullptr : &it->second;
}

bool FakePlatform::ParentIsFolder(const std::string& full) {
  const std::size_t cut = full.find_last_of('\\');
  if (cut == 2) return true;  // in a drive root
  Node* parent = FindFull(full.substr(0, cut));
  return parent && parent->folder;
}

bool FakePlatform::IsOpen(const std::string& key) const {
  for (const auto& [h, handle] : handles_) {
    if (handle.key == key) return true;
  }
  return false;
}

void FakePlatform::AddFolder(const std::string& path) {
  const std::string full = Resolve(path);
  std::size_t cut = 3;
  while (cut <= full.size()) {
    std::size_t end = full.find('\\', cut);
    if (end == std::string::npos) end = full.size();
    const std::string level = full.substr(0, end);
    Node& n = nodes_[Upper(level)];
    n.path = level;
    n.folder = true;
    cut = end + 1;
  }
}

void FakePlatform::AddFile(const std::string& path, const std::string& content, bool read_only) {
  const std::string full = Resolve(path);
  AddFolder(full.substr(0, full.find_last_of('\\')));
  Node& n = nodes_[Upper(full)];
  n = Node{};
  n.path = full;
  n.data = content;
  n.read_only = read_only;
}

void FakePlatform::SetReadOnly(const std::string& path, bool read_only) {
  Find(path)->read_only = read_only;
}
void FakePlatform::HoldOpen(const std::string& path) { Find(path)->held = true; }
void FakePlatform::FailReads(const std::string& path) { Find(path)->fail_reads = true; }

void FakePlatform::HoldOpenBy(const std::string& path, const std::string& program) {
  HoldOpen(path);
  holders[Upper(Resolve(path))] = program;
}

void FakePlatform::LetGo(const std::string& path) {
  Find(path)->held = false;
  holders.erase(Upper(Resolve(path)));
}

bool FakePlatform::HasFile(const std::string& path) {
  Node* n = Find(path);
  return n && !n->folder;
}

bool FakePlatform::HasFolder(const std::string& path) {
  const std::string full = Resolve(path);
  if (full.size() == 3) return drives_.count(full[0]) > 0;
  Node* n = Find(path);
  return n && n->folder;
}

std::string FakePlatform::Content(const std::string& path) {
  Node* n = Find(path);
  return n ? n->data : std::string();
}

std::vector<std::string> FakePlatform::Tree() {
  std::vector<std::string> out;
  for (const auto& [key, n] : nodes_) out.push_back(n.path + (n.folder ? "\\" : ""));
  return out;
}

bool FakePlatform::SetCurrentDir(const std::string& path) {
  Work();
  if (!HasFolder(path)) return false;
  const std::string full = Resolve(path);
  current_dir = full.size() == 3 ? full : nodes_.at(Upper(full)).path;
  current_dir_changes.push_back(current_dir);
  return true;
}

bool FakePlatform::FileExists(const std::string& path) { return HasFile(path); }

std::uint32_t FakePlatform::Attributes(const std::string& path) {
  Work();
  Work();
  const std::string full = Resolve(path);
  if (full.size() == 3 && drives_.count(full[0]) && drives_.at(full[0]).medium) {
    return kAttrDirectory;
  }
  Node* n = Find(path);
  if (!n) return kInvalidAttributes;
  return (n->folder ? kAttrDirectory : 0x20u) | (n->read_only ? kAttrReadOnly : 0u);
}

FileHandle FakePlatform::OpenFile(const std::string& path, FileOpen how) {
  Work();
  const std::string full = Resolve(path);
  if (full.empty() || full.size() == 3 || !drives_.at(full[0]).medium) return kInvalidFile;
  const std::string key = Upper(full);
  Node* n = FindFull(full);
  if (n && (n->folder || n->held || IsOpen(key))) return kInvalidFile;
  if (how == FileOpen::kOpenRead) {
    if (!n) return kInvalidFile;
  } else {
    if (n && n->read_only) return kInvalidFile;
    if (!n) {
      if (!ParentIsFolder(full)) return kInvalidFile;
      Node& created = nodes_[key];
      created.path = full;
    } else {
      drives_.at(full[0]).free_bytes += n->data.size();
      n->data.clear();
    }
  }
  const FileHandle h = next_handle_++;
  handles_[h] = Handle{key, 0, how == FileOpen::kCreateAlways};
  return h;
}

FileHandle FakePlatform::OpenOwnProgram() {
  Work();
  const std::string full = Resolve(own_program);
  Node* n = full.empty() ? nullptr : FindFull(full);
  if (!n || n->folder || n->held) return kInvalidFile;
  const std::string key = Upper(full);
  for (const auto& [h, handle] : handles_) {
    if (handle.key == key && (handle.write || !handle.shared)) return kInvalidFile;
  }
  const FileHandle h = next_handle_++;
  handles_[h] = Handle{key, 0, false};
  handles_[h].shared = true;
  return h;
}

std::string FakePlatform::OwnProgramName() {
  return SystemToUtf8(own_program.substr(own_program.find_last_of('\\') + 1));
}

bool FakePlatform::Seek(FileHandle f, std::uint64_t offset) {
  Work();
  auto it = handles_.find(f);
  if (it == handles_.end()) return false;
  it->second.position = static_cast<std::size_t>(offset);
  return true;
}

bool FakePlatform::Read(FileHandle f, void* buffer, std::uint32_t size, std::uint32_t* done) {
  Work();
  *done = 0;
  auto it = handles_.find(f);
  if (it == handles_.end()) return false;
  Node& n = nodes_.at(it->second.key);
  if (n.fail_reads) return false;
  const std::size_t available = n.data.size() - std::min(n.data.size(), it->second.position);
  const std::size_t count = std::min<std::size_t>(size, available);
  std::memcpy(buffer, n.data.data() + it->second.position, count);
  it->second.position += count;
  *done = static_cast<std::uint32_t>(count);
  return true;
}

bool FakePlatform::Write(FileHandle f, const void* data, std::uint32_t size,
                         std::uint32_t* done) {
  Work();
  *done = 0;
  auto it = handles_.find(f);
  if (it == handles_.end() || !it->second.write) return false;
  Node& n = nodes_.at(it->second.key);
  Drive& d = drives_.at(n.path[0]);
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, d.free_bytes));
  std::string& s = n.data;
  const std::size_t end = it->second.position + count;
  if (s.size() < end) {
    d.free_bytes -= end - s.size();
    s.resize(end);
  }
  std::memcpy(&s[it->second.position], data, count);
  it->second.position = end;
  *done = static_cast<std::uint32_t>(count);
  return count == size;
}

std::int64_t FakePlatform::FileSize(FileHandle f) {
  Work();
  auto it = handles_.find(f);
  if (it == handles_.end()) return -1;
  return static_cast<std::int64_t>(nodes_.at(it->second.key).data.size());
}

bool FakePlatform::Close(FileHandle f) { return handles_.erase(f) == 1; }

bool FakePlatform::EraseFile(const std::string& path) {
  Work();
  Node* n = Find(path);
  if (!n || n->folder || n->read_only || n->held) return false;
  const std::string key = Upper(n->path);
  if (IsOpen(key)) return false;
  drives_.at(n->path[0]).free_bytes += n->data.size();
  nodes_.erase(key);
  return true;
}

bool FakePlatform::MakeDir(const std::string& path) {
  Work();
  const std::string full = Resolve(path);
  if (full.empty() || full.size() == 3 || !drives_.at(full[0]).medium) return false;
  if (full.size() >= kMaxFolderLength) return false;  // room for an 8.3 name in the folder
  if (FindFull(full) || !ParentIsFolder(full)) return false;
  if (drives_.at(full[0]).type == kDriveCdrom) return false;
  Node& n = nodes_[Upper(full)];
  n.path = full;
  n.folder = true;
  return true;
}

bool FakePlatform::RemoveDir(const std::string& path) {
  Work();
  Node* n = Find(path);
  if (!n || !n->folder) return false;
  const std::string prefix = Upper(n->path) + "\\";
  for (const auto& [key, other] : nodes_) {
    if (key.compare(0, prefix.size(), prefix) == 0) return false;  // not empty
  }
  if (Upper(current_dir) == Upper(n->path)) return false;  // in use as the current directory
  nodes_.erase(Upper(n->path));
  return true;
}

bool FakePlatform::DiskFreeSpace(const std::string& root, std::uint32_t* spc,
                                 std::uint32_t* bps, std::uint32_t* free_clusters,
                                 std::uint32_t* total) {
  Work();
  if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return false;
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
  if (it == drives_.end() || !it->second.medium || it->second.space_query_fails) return false;
  // One-byte "sectors", so any count up to 4 GiB is exact...
  *spc = 1;
  *bps = 1;
  const std::uint64_t free = std::min<std::uint64_t>(it->second.free_bytes, 0xFFFFFFFFu);
  *free_clusters = static_cast<std::uint32_t>(free);
  *total = 0xFFFFFFFFu;
  // ...and counts above 4 GiB are given with larger clusters, as the real call does.
  if (it->second.free_bytes > 0xFFFFFFFFu) {
    *spc = 64;
    *bps = 512;
    *free_clusters = static_cast<std::uint32_t>(it->second.free_bytes / (64 * 512));
  }
  return true;
}

unsigned FakePlatform::DriveType(const std::string& root) {
  Work();
  if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return kDriveNoRootDir;
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
  return it == drives_.end() ? kDriveNoRootDir : it->second.type;
}

// ---- Texts of the system ---------------------------------------------------------------------------

bool FakePlatform::Utf8ToSystem(const std::string& utf8, std::string* system) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  std::string out;
  if (code_page == 65001) {
    out = Utf16ToUtf8(wide);
    if (out != utf8) return false;  // not well-formed: the round trip changes it
  }
  for (const char16_t c : code_page == 65001 ? std::u16string() : wide) {
    int byte = c < 0x80 ? c : -1;
    for (int b = 0x80; b < 0x100 && byte < 0; ++b) {
      const char16_t u = code_page == 1251 ? Cp1251ToUnicode(static_cast<unsigned char>(b))
                                           : static_cast<char16_t>(b >= 0xA0 ? b : 0);
      if (u == c) byte = b;
    }
    if (byte < 0) return false;
    out += static_cast<char>(byte);
  }
  system->swap(out);
  return true;
}

std::string FakePlatform::SystemToUtf8(const std::string& system) {
  if (code_page == 65001) return Utf16ToUtf8(Utf8ToUtf16(system));
  if (code_page == 1251) return Utf16ToUtf8(Cp1251ToUtf16(system));
  std::u16string wide;
  for (const char c : system) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return Utf16ToUtf8(wide);
}

std::string FakePlatform::StoredFileName(const std::string& path) {
  Work();
  std::string system;
  Node* n = Utf8ToSystem(path, &system) ? Find(system) : nullptr;
  if (!n || n->folder) return std::string();
  return SystemToUtf8(n->path.substr(n->path.find_last_of('\\') + 1));
}

FileHandle FakePlatform::CreateLog(const std::string& path) {
  // The real call opens the Unicode name itself; the model keeps names in the code page only.
  std::string system;
  return Utf8ToSystem(path, &system) ? OpenFile(system, FileOpen::kCreateAlways) : kInvalidFile;
}

// ---- Registry --------------------------------------------------------------------------------------

std::string FakePlatform::RegPath(RegKey root, const std::string& path) const {
  std::string base;
  if (root == kHkeyClassesRoot) {
    base = "HKCR";
  } else if (root == kHkeyCurrentUser) {
    base = "HKCU";
  } else if (root == kHkeyLocalMachine) {
    base = "HKLM";
  } else {
    auto it = reg_handles_.find(root);
    if (it == reg_handles_.end()) return {};
    base = it->second;
  }
  return path.empty() ? base : base + "\\" + path;
}

bool FakePlatform::RegDenied(const std::string& upper_path) const {
  for (const std::string& prefix : reg_denied_) {
    if (upper_path.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

long FakePlatform::RegCreate(RegKey root, const std::string& path, std::uint32_t access,
                                RegKey* key) {
  Work();
  const std::string full = RegPath(root, path);
  if (full.empty()) return 6;  // ERROR_INVALID_HANDLE
  const std::string upper = Upper(full);
  const bool writing = (access & 0x6) != 0;  // KEY_SET_VALUE | KEY_CREATE_SUB_KEY
  if (!reg_.count(upper) || writing) {
    if (RegDenied(upper)) return kErrorAccessDenied;
  }
  AddRegKey(full);
  *key = next_key_++;
  reg_handles_[*key] = reg_.at(upper).path;
  return kErrorSuccess;
}

long FakePlatform::RegOpen(RegKey root, const std::string& path, std::uint32_t access,
                              RegKey* key) {
  Work();
  const std::string full = RegPath(root, path);
  if (full.empty()) return 6;
  const std::string upper = Upper(full);
  if (!reg_.count(upper)) return kErrorFileNotFound;
  if ((access & 0x6) && RegDenied(upper)) return kErrorAccessDenied;
  *key = next_key_++;
  reg_handles_[*key] = reg_.at(upper).path;
  return kErrorSuccess;
}

long FakePlatform::RegQuery(RegKey key, const std::string& name, std::uint32_t* type,
                                 std::string* data) {
  Work();
  auto h = reg_handles_.find(key);
  if (h == reg_handles_.end()) return 6;
  auto node = reg_.find(Upper(h->second));
  if (node == reg_.end()) return kErrorFileNotFound;
  auto v = node->second.values.find(Upper(name));
  if (v == node->second.values.end()) return kErrorFileNotFound;
  *type = v->second.first;
  *data = v->second.second;
  return kErrorSuccess;
}

long FakePlatform::RegSet(RegKey key, const std::string& name, std::uint32_t type,
                               const void* data, std::uint32_t size) {
  Work();
  auto h = reg_handles_.find(key);
  if (h == reg_handles_.end()) return 6;
  const std::string upper = Upper(h->second);
  if (RegDenied(upper)) return kErrorAccessDenied;
  auto node = reg_.find(upper);
  if (node == reg_.end()) return 1018;  // ERROR_KEY_DELETED
  node->second.values[Upper(name)] = {type, std::string(static_cast<const char*>(data), size)};
  return kErrorSuccess;
}

long FakePlatform::RegDelete(RegKey root, const std::string& path) {
  Work();
  const std::string full = RegPath(root, path);
  reg_deletes.push_back(full);
  const std::string upper = Upper(full);
  if (!reg_.count(upper)) return kErrorFileNotFound;
  if (RegDenied(upper)) return kErrorAccessDenied;
  for (const auto& [key, node] : reg_) {
    if (key.size() > upper.size() && key.compare(0, upper.size() + 1, upper + "\\") == 0) {
      return kErrorAccessDenied;  // NT: a key with sub-keys is not deleted
    }
  }
  reg_.erase(upper);
  return kErrorSuccess;
}

long FakePlatform::RegClose(RegKey key) {
  if (key >= kHkeyClassesRoot && key <= kHkeyLocalMachine) return kErrorSuccess;
  return reg_handles_.erase(key) == 1 ? static_cast<long>(kErrorSuccess) : 6;
}

void FakePlatform::SetRegValue(const std::string& key, const std::string& name,
                               std::uint32_t type, const std::string& data) {
  AddRegKey(key);
  reg_.at(Upper(key)).values[Upper(name)] = {type, data};
}

void FakePlatform::AddRegKey(const std::string& path) {
  std::size_t cut = 0;
  while ((cut = path.find('\\', cut + 1)) != std::string::npos) {
    reg_.emplace(Upper(path.substr(0, cut)), RegNode{path.substr(0, cut), {}});
  }
  reg_.emplace(Upper(path), RegNode{path, {}});
}

bool FakePlatform::HasRegKey(const std::string& key) { return reg_.count(Upper(key)) > 0; }

bool FakePlatform::GetRegValue(const std::string& key, const std::string& name,
                               std::uint32_t* type, std::string* data) {
  auto node = reg_.find(Upper(key));
  if (node == reg_.end()) return false;
  auto v = node->second.values.find(Upper(name));
  if (v == node->second.values.end()) return false;
  *type = v->second.first;
  *data = v->second.second;
  return true;
}

std::vector<std::string> FakePlatform::RegKeys() {
  std::vector<std::string> out;
  for (const auto& [key, node] : reg_) out.push_back(node.path);
  return out;
}

// ---- Shell and DDE -------------------------------------------------------------------------------

bool FakePlatform::SpecialFolderPath(int csidl, std::string* path) {
  Work();
  auto it = special_folders.find(csidl);
  if (it == special_folders.end()) return false;
  *path = it->second;
  return true;
}

bool FakePlatform::BrowseForFolder(const std::string&, const std::string& start,
                                   std::string* path) {
  Work();
  browse_starts.push_back(start);
  return browser && browser(start, path);
}

ShellLinkOutcome FakePlatform::WriteShellLink(const ShellLinkRequest& request) {
  Work();
  if (link_outcome != ShellLinkOutcome::kSaveCalled) return link_outcome;
  const FileHandle f = OpenFile(request.file, FileOpen::kCreateAlways);
  if (f != kInvalidFile) {
    std::uint32_t done = 0;
    bool written = false;
    try {
      written = Write(f, "L\0\0\0", 4, &done);
    } catch (...) {
      Close(f);  // the real shell releases its file whatever fails
      throw;
    }
    Close(f);
    if (written) links[Upper(request.file)] = request;
  }
  return ShellLinkOutcome::kSaveCalled;
}

bool FakePlatform::DdeStart() {
  ++dde_instances;
  return true;
}
void FakePlatform::DdeStop() { --dde_instances; }

std::uintptr_t FakePlatform::DdeConnect(const std::string& service, const std::string& topic) {
  Work();
  ++dde_connects;
  if (!dde_server || dde_instances != 1 || service != "ProgMan" || topic != "ProgMan") return 0;
  ++dde_open;
  return 0x77;
}

bool FakePlatform::DdeExecute(std::uintptr_t conversation, const std::string& text) {
  Work();
  if (conversation != 0x77) return false;
  dde_executed.push_back(text);
  return true;
}

void FakePlatform::DdeDisconnect(std::uintptr_t conversation) {
  if (conversation == 0x77) --dde_open;
}

unsigned FakePlatform::WinExec(const std::string& command_line) {
  Work();
  win_execs.push_back(command_line);
  // The program: quoted, or up to the first blank. Only a full path is taken as it stands.
  const bool quoted = !command_line.empty() && command_line[0] == '"';
  const std::size_t end = quoted ? command_line.find('"', 1) : command_line.find(' ');
  const std::string program =
      quoted ? command_line.substr(1, end == std::string::npos ? end : end - 1)
             : command_line.substr(0, end);
  if (!progman_startable || !HasFile(program)) return 2;  // ERROR_FILE_NOT_FOUND
  dde_server = true;
  return 33;
}

// ---- Other processes -----------------------------------------------------------------------------

SetupLock FakePlatform::LockSetup() {
  Work();
  if (machine->lock_denied) return SetupLock::kHeldElsewhere;
  if (machine->setup_lock_owner && machine->setup_lock_owner != this) {
    return SetupLock::kHeldElsewhere;
  }
  machine->setup_lock_owner = this;
  return SetupLock::kTaken;
}

bool FakePlatform::ShowRunningSetup() {
  Work();
  FakePlatform* other = machine->setup_lock_owner;
  if (!other || other == this || !other->view.visible || other->view.hidden ||
      other->view.closed) {
    return false;
  }
  ++other->brought_to_front;
  return true;
}

long FakePlatform::OpenForDelete(const std::string& path) {
  Work();
  const std::string full = Resolve(path);
  if (full.empty()) return 123;  // ERROR_INVALID_NAME
  Node* n = FindFull(full);
  if (!n) return kErrorFileNotFound;
  if (n->folder || n->read_only) return kErrorAccessDenied;
  if (n->held || IsOpen(Upper(full))) return kErrorSharingViolation;
  return kErrorSuccess;
}

std::string FakePlatform::FileHolder(const std::string& path) {
  Work();
  if (!restart_manager) return std::string();
  auto it = holders.find(Upper(Resolve(path)));
  return it == holders.end() ? std::string() : it->second;
}

// ---- Window system -------------------------------------------------------------------------------

int FakePlatform::ShowMessage(const std::string& text, const std::string& caption,
                             unsigned flags) {
  boxes.push_back(Box{text, caption, flags, view.form != nullptr && !view.closed,
                      static_cast<int>(metrics_set.size())});
  return answer ? answer(boxes.back()) : kIdOk;
}

std::string FakePlatform::LocalTime() {
  const int s = clock_seconds++ % 60;
  return clock + static_cast<char>('0' + s / 10) + static_cast<char>('0' + s % 10) + ".000";
}

void FakePlatform::PumpMessages() {
  ++pumps;
  if (on_pump) on_pump(pumps);
}

bool FakePlatform::GetNonClientMetrics(NonClientMetrics* m) {
  if (!metrics_query_ok || m->cb_size != 340) return false;
  *m = metrics;
  m->cb_size = 340;
  return true;
}

bool FakePlatform::SetNonClientMetrics(const NonClientMetrics& m) {
  metrics_set.push_back(m);
  metrics = m;
  return true;
}


FormView* FakePlatform::CreateFormWindow(FormEvents& form) {
  if (window_fails) return nullptr;
  view.form = &form;
  return &view;
}

void FakePlatform::RunMessageLoop() {
  if (on_message_loop) on_message_loop(*view.form);
  view.Close();  // the window is gone when the loop ends
}

}  // namespace kv

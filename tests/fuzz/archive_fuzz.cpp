// Fuzz target for the archive reader: any bytes as the temporary archive. The reader may refuse
// them, but it must not crash, read or write out of bounds, leave a file open, or create anything
// outside the target folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "media/archive.h"
#include "platform/fake/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kv::FakePlatform p;
  p.AddFolder("C:\\T\\sub");  // so that names with a folder part can succeed too
  p.AddFile("C:\\T\\xalarch.pry", std::string(reinterpret_cast<const char*>(data), size));
  p.SetCurrentDir("C:\\T");
  const auto before = p.Tree();
  try {
    kv::UnpackMembers(p, [] {}, "C:\\T\\xalarch.pry");
  } catch (const kv::ArchiveError&) {
  }
  if (p.open_files() != 0) std::abort();
  for (const std::string& path : p.Tree()) {
    const bool inside = path.compare(0, 5, "C:\\T\\") == 0 && path.size() > 5;
    bool existed = false;
    for (const std::string& old : before) existed = existed || old == path;
    if (!inside && !existed) std::abort();
  }
  return 0;
}

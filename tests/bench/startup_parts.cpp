// Times one part of setup.exe's way to its first window, in a process of its own, and prints the
// milliseconds (with tenths):
//   startup_parts dll NAME        loading a system library by its full path (and what it pulls in)
//   startup_parts picture         decoding the welcome picture
//   startup_parts licence FILE    the rich-text library, then a viewer loaded with FILE as rich text
//   startup_parts window          creating and showing the wizard window, its picture included
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/install_context.h"
#include "platform/win32/win32_platform.h"
#include "wizard/install1.h"
#include "wizard/welcome_picture.h"

namespace {

LARGE_INTEGER Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t;
}

double Since(LARGE_INTEGER from) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(Now().QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

struct Source {
  const std::string* text;
  std::size_t at;
};

DWORD CALLBACK Feed(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
  auto* s = reinterpret_cast<Source*>(cookie);
  const std::size_t n = std::min<std::size_t>(size, s->text->size() - s->at);
  std::memcpy(buffer, s->text->data() + s->at, n);
  s->at += n;
  *done = static_cast<LONG>(n);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  kv::HardenDllSearch();
  const std::string part = argc > 1 ? argv[1] : "";
  if (part == "dll" && argc > 2) {
    const LARGE_INTEGER t = Now();
    if (!kv::LoadSystemLibrary(argv[2])) return 1;
    std::printf("%.1f\n", Since(t));
  } else if (part == "picture") {
    kv::Picture picture;
    const LARGE_INTEGER t = Now();
    if (!kv::DecodeJpeg(kv::kWelcomeJpeg, kv::kWelcomeJpegSize, &picture)) return 1;
    std::printf("%.1f\n", Since(t));
  } else if (part == "licence" && argc > 2) {
    const LARGE_INTEGER t = Now();
    if (!kv::LoadSystemLibrary("riched20.dll")) return 1;
    HANDLE f = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    std::string text(GetFileSize(f, nullptr), '\0');
    DWORD got = 0;
    ReadFile(f, text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
    CloseHandle(f);
    HWND viewer = CreateWindowExA(0, "RichEdit20A", "", WS_POPUP | ES_MULTILINE | ES_READONLY,
                                  0, 0, 401, 231, nullptr, nullptr, nullptr, nullptr);
    Source source{&text, 0};
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, Feed};
    SendMessageA(viewer, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    std::printf("%.1f\n", Since(t));
  } else if (part == "window") {
    kv::Win32Platform platform(GetModuleHandleA(nullptr));
    kv::InstallContext context;
    kv::TForm1 form(platform, context);
    const LARGE_INTEGER t = Now();
    kv::FormView* view = platform.CreateFormWindow(form);
    form.Attach(view);
    view->ShowForm();
    std::printf("%.1f\n", Since(t));
  } else {
    std::fprintf(stderr, "usage: startup_parts dll NAME | picture | licence FILE | window\n");
    return 2;
  }
  return 0;
}

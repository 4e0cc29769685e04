// What the robot's steps share with the random user (random_user.cpp).
#pragma once

#include <windows.h>

#include <string>

namespace robot {

extern PROCESS_INFORMATION g_process;  // setup.exe, once a start: step ran

[[noreturn]] void Fail(const std::string& what);
std::string Text(HWND window);    // read as Unicode, given as Windows-1251
std::string BoxText(HWND box);    // a message box's text, likewise
// Whether the installer takes a Windows-1251 text typed into its editor as it stands: the
// system's code page must hold it exactly.
bool Representable(const std::string& text);
HWND TopLevel(const char* cls);  // a visible top-level window of setup.exe of that class
HWND Form();                     // the wizard window
HWND Control(int id);            // a control of the wizard window (fails when there is none)
bool ProcessEnded();
// One step; `wide`, when given, is the same step as Unicode, for the steps that take any text.
void Step(const std::string& step, const std::wstring& wide = std::wstring());

// random:SEED:N:PRODUCT;ROOT;ROOT... (see random_user.cpp)
void RandomUser(const std::string& step);

}  // namespace robot

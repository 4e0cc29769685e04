// What the wizard window reports to the logic behind it: the user's clicks and keys, and the
// window's end. The window knows nothing else of that logic; the few texts and the picture it
// shows of its own come through here as well. Each handler is named as the wizard names it.
#pragma once

#include "platform/picture.h"

namespace kv {

// The window's own texts, in Windows-1251.
struct FormTexts {
  const char* caption;      // the title bar
  const char* browse_hint;  // the hint of the folder editor's browse button
  // A status line that names a folder between these two texts: the folder is the system's text
  // (its ANSI code page), the rest the program's, and each is shown as what it is.
  const char* folder_status_head;
  const char* folder_status_tail;
};

class FormEvents {
 public:
  // The user clicked Button1 or Button2 (or pressed Enter on the focused button).
  virtual void Button1Click() = 0;
  virtual void Button2Click() = 0;
  // A character typed into the folder editor; the handler sets `key` to 0 when it took the key,
  // and the editor then does nothing more with it.
  virtual void Edit2KeyPress(char& key) = 0;
  // The folder editor's browse button: the handler runs the folder browser and takes its answer.
  virtual void Edit1ButtonClick() = 0;
  // The close box, the system menu's Close or Alt+F4. True when the window is to close now; false
  // to keep it, hidden, until the logic closes it itself.
  virtual bool FormClose() = 0;
  // The window is being destroyed; it shows nothing more.
  virtual void FormDestroy() = 0;

  virtual FormTexts Texts() const = 0;
  // The welcome picture, decoded when the window first paints it; false when it cannot be.
  virtual bool WelcomePicture(Picture* picture) = 0;

 protected:
  ~FormEvents() = default;
};

}  // namespace kv

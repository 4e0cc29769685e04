// The installation sequence and how RollBack undoes it, kept side by side in sequence.cpp so that
// the order of the one can be read against the order of the other.
#pragma once

namespace kv {

// What RollBack can undo, in the order it undoes them.
enum UndoAction { kReleaseArchive, kDeleteTemp, kDeleteFiles, kRemoveFolder, kDeleteGroup,
                  kUnregister, kDeleteShortcut, kUndoActionCount };

// Whether RollBack undoes `action` when the installation had reached `state`: only the states
// the steps set (2 to 6) undo anything.
bool Undoes(UndoAction action, int state);

// How the log names each undo action.
extern const char* const kUndoNames[kUndoActionCount];

}  // namespace kv

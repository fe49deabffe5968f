// SPDX-License-Identifier: MIT
#pragma once

#include "clipboardfiles.h"

#include <functional>

class QObject;

// A paste's read of the clipboard, which never waits on another program.
namespace ClipboardPaste {

// Hands what the clipboard offers the shelf to `done`: at once when the copy
// is the program's own or off X11 (Qt's Wayland reads give up after a
// second by themselves), else once the owner has answered, or with nothing
// when it has not answered within SelectionReader::kTimeout. A paste while
// another is still being read is ignored: it would ask the same owner for
// the same copy, and wait on it again. `done` is dropped with `context`.
void read(QObject *context, std::function<void(const ClipboardFiles::Offered &)> done);

} // namespace ClipboardPaste

// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string_view>

namespace Diagnostics {

// Queues `text` and `detail` as one line, which a writer thread writes whole,
// in order, so lines from several threads never interleave. The caller never
// waits: a reader that stops (a pipe nobody reads, a terminal paused with
// Ctrl+S) must not freeze the program; past a bound, lines are dropped and
// their count written once the reader is back. Control characters are escaped,
// so one call is always one line. A failed write is dropped: there is nowhere
// else to report it.
void writeLine(std::string_view text, std::string_view detail = {});

// Where lines go; standard output unless a test points it elsewhere.
void setOutput(int fd);

// Waits at most `timeout` for the lines queued so far to be written; false
// when the reader is stuck.
bool flush(std::chrono::milliseconds timeout = std::chrono::seconds(2));

} // namespace Diagnostics

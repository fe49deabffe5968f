// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string_view>

namespace Diagnostics {

// Queues `text` followed by `detail` and a line feed as one line, which a
// writer thread of its own writes whole at once, in the order queued, so lines
// from different threads never interleave and nothing waits in a buffer when
// standard output is a pipe. The caller never waits: a reader that stops (a
// pipe nobody reads, a terminal paused with Ctrl+S) must not freeze the
// program. Past a bound of lines waiting, new ones are dropped and counted, and
// the count is written once the reader is back. Control characters (a line
// feed in a file name) are written as escapes, so one call is always one line.
// A failed write is dropped: there is nowhere else to report it.
void writeLine(std::string_view text, std::string_view detail = {});

// Where lines go; standard output unless a test points it elsewhere. Lines
// queued so far still go to the former output (see flush()).
void setOutput(int fd);

// Waits until the lines queued so far are written, at most `timeout`; false
// when they were not (the reader is stuck). Before the process ends.
bool flush(std::chrono::milliseconds timeout = std::chrono::seconds(2));

} // namespace Diagnostics

// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace Diagnostics {

// Writes `text` followed by `detail` and a line feed as one line, in a single
// write, so lines from different threads never interleave and nothing waits in
// a buffer when standard output is a pipe. Control characters (a line feed
// in a file name) are written as escapes, so one call is always one line.
// A failed write is dropped: there is nowhere else to report it.
void writeLine(std::string_view text, std::string_view detail = {});

// Where lines go; standard output unless a test points it elsewhere.
void setOutput(int fd);

} // namespace Diagnostics

// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>

#include <filesystem>
#include <vector>

// The one reader of text/uri-list (RFC 2483), for drops and pastes alike.
// Its input may come from any program and be of any size, so it reads no
// further than the shelf needs, and never more than one line at a time.
namespace UriList {

// How many lines a list may spend, comments and other links included,
// before it stops being read: a file manager's list holds files only.
inline constexpr qsizetype kMaxLines = 64;

struct Files {
    // The exact bytes of the local files' paths, in order; at most `wanted`.
    std::vector<std::filesystem::path> paths;
    // Another local file followed the ones taken.
    bool more = false;
    // Lines read that name no local file: another scheme or host, not a
    // URL, or too long to be a path.
    qsizetype refused = 0;
    // Lines parsed as URLs: what reading the list cost.
    qsizetype parsed = 0;
};

// Reads `list` until it has `wanted` local files and has seen whether one
// more follows, or until kMaxLines lines are read. Only file: URLs of this
// host count; names that are not UTF-8, escaped or raw, keep their bytes.
Files read(QByteArrayView list, qsizetype wanted);

} // namespace UriList

// SPDX-License-Identifier: MIT
#pragma once

#include <Qt>

#include <filesystem>
#include <string>

// File names are bytes on Linux; these compare them as the shelf's users see
// them, and fall back to the bytes where they are not UTF-8.
namespace FileName {

// The last component of `path`, ignoring trailing slashes ("/a/b/" gives "b").
std::string lastComponent(const std::filesystem::path &path);

// Canonically equivalent: a precomposed and a decomposed accent are the same
// name; letter case matters unless `cs` says otherwise.
bool equivalent(const std::string &a, const std::string &b,
                Qt::CaseSensitivity cs = Qt::CaseSensitive);

// False for names that cannot stand for one item in a folder: empty, "." and
// "..", or anything holding a slash or a NUL byte.
bool isUsable(const std::string &name);

} // namespace FileName

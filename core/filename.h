// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

// File names are bytes on Linux; these compare them as the shelf's users see
// them, and fall back to the bytes where they are not UTF-8.
namespace FileName {

// The last component of `path`, ignoring trailing slashes ("/a/b/" gives "b").
std::string lastComponent(const std::filesystem::path &path);

// Canonically equivalent: a precomposed and a decomposed accent are the same
// name; letter case matters.
bool equivalent(const std::string &a, const std::string &b);

// Like equivalent(), but also equal when only letter case differs.
bool equivalentIgnoringCase(const std::string &a, const std::string &b);

// False for names that cannot stand for one item in a folder: empty, "." and
// "..", or anything holding a slash or a NUL byte.
bool isUsable(const std::string &name);

} // namespace FileName

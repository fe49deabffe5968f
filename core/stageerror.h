// SPDX-License-Identifier: MIT
#pragma once

#include <system_error>

// Why an item was refused for the shelf before or while it was copied, beside
// the operating system's own errors.
enum class StageError {
    UnusableName = 1,
    UnsafeStagingFolder,
    SourceIsStagingFolder,
    SourceInsideStagingFolder,
    SourceContainsStagingFolder,
    UnsupportedFileType,
    SourceShrank,
    FolderMoved,
    PseudoFile,
};

const std::error_category &stageErrorCategory() noexcept;

inline std::error_code make_error_code(StageError e) noexcept
{
    return {static_cast<int>(e), stageErrorCategory()};
}

template <> struct std::is_error_code_enum<StageError> : std::true_type {
};

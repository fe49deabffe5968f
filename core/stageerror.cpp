// SPDX-License-Identifier: MIT
#include "stageerror.h"

#include <string>

namespace {

class Category final : public std::error_category {
public:
    const char *name() const noexcept override { return "stage"; }

    std::string message(int value) const override
    {
        switch (static_cast<StageError>(value)) {
        case StageError::UnusableName:
            return "This name cannot be used for a file on the shelf";
        case StageError::UnsafeStagingFolder:
            return "The staging folder is not a private folder of this user";
        case StageError::SourceIsStagingFolder:
            return "The staging folder itself cannot be put on the shelf";
        case StageError::SourceInsideStagingFolder:
            return "The item already lies inside the staging folder";
        case StageError::SourceContainsStagingFolder:
            return "The folder contains the staging folder";
        case StageError::UnsupportedFileType:
            return "Only files and folders can be put on the shelf";
        case StageError::SourceShrank:
            return "The file got shorter while it was being copied";
        case StageError::FolderMoved:
            return "A folder was moved while it was being walked";
        case StageError::PseudoFile:
            return "The system makes this up as it is read (/proc, /sys): it is not a file to copy";
        }
        return "Unknown staging error";
    }
};

} // namespace

const std::error_category &stageErrorCategory() noexcept
{
    static const Category category;
    return category;
}

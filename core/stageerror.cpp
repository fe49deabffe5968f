// SPDX-License-Identifier: MIT
#include "stageerror.h"

#include <iterator>
#include <string>

namespace {

class Category final : public std::error_category {
public:
    const char *name() const noexcept override { return "stage"; }

    std::string message(int value) const override
    {
        // In the order of StageError, which starts at 1.
        static constexpr const char *kMessages[] = {
            "This name cannot be used for a file on the shelf",
            "The staging folder is not a private folder of this user",
            "The staging folder itself cannot be put on the shelf",
            "The item already lies inside the staging folder",
            "The folder contains the staging folder",
            "Only files and folders can be put on the shelf",
            "The file got shorter while it was being copied",
            "A folder was moved while it was being walked",
            "The system makes this up as it is read (/proc, /sys): it is not a file to copy",
        };
        static_assert(std::size(kMessages) == std::size_t(StageError::PseudoFile));
        if (value < 1 || value > int(std::size(kMessages))) {
            return "Unknown staging error";
        }
        return kMessages[value - 1];
    }
};

} // namespace

const std::error_category &stageErrorCategory() noexcept
{
    static const Category category;
    return category;
}

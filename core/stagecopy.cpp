// SPDX-License-Identifier: MIT
#include "stagecopy.h"

#include "diagnostics.h"
#include "filename.h"
#include "filetree.h"
#include "sizelabel.h"
#include "stageerror.h"
#include "stagingtrash.h"

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kWorkPrefix = ".QELStashlet-copy-";

// True when `inner` is `outer` or lies below it, by their resolved paths.
bool isWithin(const fs::path &inner, const fs::path &outer)
{
    auto [end, _] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return end == outer.end();
}

std::error_code checkSource(const fs::path &source, const fs::path &folder)
{
    std::error_code ignored;
    const fs::path resolvedSource = fs::canonical(source, ignored);
    const fs::path resolvedFolder = fs::canonical(folder, ignored);
    if (resolvedSource.empty() || resolvedFolder.empty()) {
        return {}; // the copy itself reports what is wrong
    }
    if (resolvedSource == resolvedFolder) {
        return make_error_code(StageError::SourceIsStagingFolder);
    }
    if (isWithin(resolvedSource, resolvedFolder)) {
        return make_error_code(StageError::SourceInsideStagingFolder);
    }
    if (isWithin(resolvedFolder, resolvedSource)) {
        return make_error_code(StageError::SourceContainsStagingFolder);
    }
    return {};
}

// True for a name no addition may take (the trash, a copy's own name).
bool isReserved(const std::string &name)
{
    return name == StagingTrash::kName || name.starts_with(kWorkPrefix);
}

// The entry's size text; empty for a folder, or when it cannot be read.
QString sizeLabelOf(const fs::path &staged)
{
    struct stat st {};
    if (::lstat(staged.c_str(), &st) != 0) {
        const std::error_code error(errno, std::generic_category());
        Diagnostics::writeLine("Error retrieving file size: ",
                               error.message() + " (" + error.category().name() + " error " +
                                   std::to_string(error.value()) + ", path " + staged.native() +
                                   ")");
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        return {};
    }
    return sizeLabel(static_cast<std::uint64_t>(st.st_size));
}

} // namespace

void StageCopy::reportFailure(const std::string &name, const std::error_code &error)
{
    Diagnostics::writeLine("Failed to copy file to temp directory: ",
                           '"' + name + "\" could not be copied: " + error.message());
}

std::string StageCopy::workName(std::uint64_t id)
{
    return std::string(kWorkPrefix) + std::to_string(::getpid()) + '-' + std::to_string(id);
}

std::optional<StageCopy::Staged>
StageCopy::stage(const StagingFolder &staging, const fs::path &source, const std::string &name,
                 std::uint64_t id, const std::function<bool()> &isCancelled, CopyProgress &progress)
{
    const auto fail = [&](const std::error_code &error) {
        if (!progress.stop.load()) {
            reportFailure(name, error);
        }
        return std::nullopt;
    };
    if (!FileName::isUsable(name) || isReserved(name)) {
        return fail(make_error_code(StageError::UnusableName));
    }
    const StagingFolder::Handle folder = staging.prepare();
    std::error_code error = folder.error;
    if (!error) {
        error = checkSource(source, staging.location());
    }
    if (error) {
        return fail(error);
    }
    const std::string work = workName(id);
    FileTree::CopyOptions options;
    options.isCancelled = isCancelled;
    options.forbidden = FileTree::folderId(folder.fd.get());
    options.copiedBytes = &progress.done;
    std::string leftOut;
    options.leftOut = [&leftOut, &work, &name](const std::string &path, const char *what) {
        // The copy's own name is no business of the user's.
        leftOut.append(leftOut.empty() ? "\"" : ", \"")
            .append(name + path.substr(work.size()) + "\" (" + what + ')');
    };
    if (auto copyError = FileTree::copyItem(source, folder.fd.get(), work, options)) {
        // Stopped on purpose, by a clear or a quit: nothing to report.
        if (copyError == std::errc::operation_canceled) {
            return std::nullopt;
        }
        return fail(copyError);
    }
    if (!leftOut.empty()) {
        Diagnostics::writeLine("Items that cannot be copied were left out: ", leftOut);
    }
    return Staged{work, sizeLabelOf(staging.location() / work)};
}

std::error_code StageCopy::name(const StagingFolder &staging, const std::string &workName,
                                const std::string &name)
{
    const StagingFolder::Handle folder = staging.open();
    if (folder.error) {
        return folder.error;
    }
    if (::renameat2(folder.fd.get(), workName.c_str(), folder.fd.get(), name.c_str(),
                    RENAME_NOREPLACE) != 0) {
        return {errno, std::generic_category()};
    }
    return {};
}

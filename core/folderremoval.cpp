// SPDX-License-Identifier: MIT
#include "filetree.h"
#include "treewalk.h"

#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TreeWalk::kFolderFlags;
using TreeWalk::lastError;

namespace {

// One folder being emptied.
struct RemoveFrame {
    UniqueFd fd;
    struct stat st {};
    std::vector<std::string> names;
    std::size_t next = 0;
    std::string name;

    void close() { fd = UniqueFd(); }
    void reopenFrom(const RemoveFrame &child, std::error_code &error)
    {
        fd = TreeWalk::reopenParent(child.fd.get(), st, error);
    }
};

// One copied without read or write permission is opened up first, by path, but
// inside the staging folder, where no one else can swap it for a link.
std::error_code openForRemoval(int parent, const char *name, const struct stat &st,
                               RemoveFrame &frame)
{
    frame.st = st;
    frame.name = name;
    frame.fd = UniqueFd(::openat(parent, name, kFolderFlags));
    if (!frame.fd.valid() && errno == EACCES) {
        ::fchmodat(parent, name, (st.st_mode & 07777) | S_IRWXU, 0);
        frame.fd = UniqueFd(::openat(parent, name, kFolderFlags));
    }
    if (!frame.fd.valid()) {
        return lastError();
    }
    if ((st.st_mode & S_IRWXU) != S_IRWXU &&
        ::fchmod(frame.fd.get(), (st.st_mode & 07777) | S_IRWXU) != 0) {
        return lastError();
    }
    return FileTree::listNames(frame.fd.get(), frame.names);
}

} // namespace

std::error_code FileTree::removeItem(int dirFd, const std::string &item)
{
    const char *name = item.c_str();
    struct stat st {};
    struct stat parent {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || ::fstat(dirFd, &parent) != 0) {
        return lastError();
    }
    if (!S_ISDIR(st.st_mode)) {
        return ::unlinkat(dirFd, name, 0) == 0 ? std::error_code() : lastError();
    }
    std::error_code first;
    const auto note = [&first](std::error_code e) {
        if (e && !first) {
            first = e;
        }
    };
    const auto removeFolder = [&](int in, const char *folder) {
        note(::unlinkat(in, folder, AT_REMOVEDIR) == 0 ? std::error_code() : lastError());
    };
    // A mount is left whole; removing its mount point fails (EBUSY) and says so.
    const auto enter = [&](FolderStack<RemoveFrame> &stack, int in, const char *folder,
                           const struct stat &folderSt, dev_t device) {
        RemoveFrame frame;
        if (TreeWalk::staysOn(device, in, folder, folderSt)) {
            note(openForRemoval(in, folder, folderSt, frame));
        }
        if (frame.fd.valid()) {
            stack.push(std::move(frame));
        } else {
            removeFolder(in, folder);
        }
    };

    FolderStack<RemoveFrame> stack;
    enter(stack, dirFd, name, st, parent.st_dev);
    while (!stack.empty()) {
        RemoveFrame &top = stack.top();
        if (top.next == top.names.size()) {
            std::error_code moved;
            const RemoveFrame done = stack.pop(moved);
            if (moved) {
                note(moved);
                break;
            }
            removeFolder(stack.empty() ? dirFd : stack.top().fd.get(), done.name.c_str());
            continue;
        }
        const std::string child = top.names[top.next++];
        struct stat childSt {};
        if (::fstatat(top.fd.get(), child.c_str(), &childSt, AT_SYMLINK_NOFOLLOW) != 0) {
            note(lastError());
        } else if (!S_ISDIR(childSt.st_mode)) {
            note(::unlinkat(top.fd.get(), child.c_str(), 0) == 0 ? std::error_code() : lastError());
        } else {
            enter(stack, top.fd.get(), child.c_str(), childSt, st.st_dev);
        }
    }
    return first;
}

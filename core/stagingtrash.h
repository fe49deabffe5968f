// SPDX-License-Identifier: MIT
#pragma once

#include "stagingfolder.h"

#include <filesystem>
#include <future>
#include <memory>
#include <system_error>

class BackgroundPool;

// Deleting a large folder takes seconds, so items leave the staging folder by
// an instant rename into a hidden trash folder inside it, which frees their
// names at once; the pool deletes them from there, and what a killed run left
// there at the next start.
class StagingTrash final {
public:
    // No addition may take this name: it would be the trash itself.
    static constexpr const char *kName = ".QELStashlet-trash";

    StagingTrash(StagingFolder folder, BackgroundPool &pool);

    StagingTrash(const StagingTrash &) = delete;
    StagingTrash &operator=(const StagingTrash &) = delete;

    // Takes `staged`, which must lie directly in the staging folder, out of it
    // to be deleted on the pool; when it cannot, deletes it here and gives the
    // error. A failed deletion on the pool writes its line when `reportFailure`.
    std::error_code discard(const std::filesystem::path &staged, bool reportFailure);

    enum class Deleting { Now, Later };

    // Takes everything out of the staging folder on the pool, so a start over
    // a crashed run's leftovers never waits on the disk, and deletes it there
    // with what an earlier run left in the trash, or, when `Later`, leaves that
    // to deleteWaiting() (or finish()).
    void discardAll(Deleting when = Deleting::Now);

    // Ready once discardAll() has taken everything out: until then a new copy
    // must not take a name in the folder, or the emptying would take it too.
    std::shared_future<void> emptied() const { return m_emptied; }

    // Has what waits in the trash deleted on the pool, and what discardAll()
    // still moves there as soon as it is moved.
    void deleteWaiting();

    // Deletes here what still waits for the pool and waits for deletions
    // under way, so nothing is left when the process ends.
    void finish();

private:
    struct State;

    const StagingFolder m_folder;
    // Shared with the pool's work, which may outlive the trash.
    std::shared_ptr<State> m_state;
    std::shared_future<void> m_emptied;
};

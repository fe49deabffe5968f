// SPDX-License-Identifier: MIT
#pragma once

#include "stagingfolder.h"

#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <system_error>

class BackgroundPool;

// Deleting a large folder takes seconds. Items leave the staging folder at
// once instead, by a rename into a hidden trash folder inside it (the same
// file system, so the rename is instant), which frees their names for new
// copies; the pool deletes them from there. What a killed run left in the
// trash goes at the next start.
class StagingTrash final {
public:
    // No addition may take this name: it would be the trash itself.
    static constexpr const char *kName = ".QELStashlet-trash";

    StagingTrash(StagingFolder folder, BackgroundPool &pool);
    ~StagingTrash();

    StagingTrash(const StagingTrash &) = delete;
    StagingTrash &operator=(const StagingTrash &) = delete;

    // Takes the item `staged`, which must lie directly in the staging folder,
    // out of it and has it deleted on the pool. An error when it could not be
    // taken out (it is then deleted here, as before); a failed deletion on the
    // pool writes the removal's line when `reportFailure`.
    std::error_code discard(const std::filesystem::path &staged, bool reportFailure);

    enum class Deleting { Now, Later };

    // Takes everything out of the staging folder on the pool, so that a start
    // over a crashed run's leftovers never waits on the disk, and has it
    // deleted there together with what an earlier run left in the trash;
    // `Later` leaves the deleting to deleteWaiting() (or finish()).
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

    void schedule(int count);

    const StagingFolder m_folder;
    // Shared with the pool's work, which may outlive the trash.
    std::shared_ptr<State> m_state;
    std::shared_future<void> m_emptied;
};

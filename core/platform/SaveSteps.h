#pragma once

// The moments of a save on POSIX systems at which a test may stop it, as a kill would.

#include <functional>

namespace skaldrun::platform {

enum class SaveStep {
    CopyWritten,  // the whole list is in the copy, which may have no name yet
    CopySynced,   // the copy is on disk
    CopyNamed,    // it has its name and is closed; the target is still the old file
    Renamed,      // the copy has taken the target's place; its folder is not yet synced
    MidInPlace,   // the first piece of the list is written over the target
    TargetSynced, // the target holds the whole list on disk; its copy is not yet removed
    Done,
};

// Called at each step of every save in this process; an empty hook calls nothing.
void OnSaveStep(std::function<void(SaveStep)> hook);

} // namespace skaldrun::platform

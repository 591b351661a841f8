// The names a save batch gives its outputs, chosen job after job in the order of the
// jobs even when several jobs save at once: a job's name depends on which earlier jobs
// were saved under which names, so a job waits for its turn to choose, and a name an
// earlier job is still saving under is decided once that save is over.
#pragma once

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

namespace tavrin {

class SaveNameTurns {
public:
    // Waits until every job before `index` has ended its turn.
    void WaitForTurn(int index);
    // Lets the next job choose.
    void EndTurn();

    // Whether an earlier job was saved under `name`; waits while one is still saving under it.
    bool SavedBefore(const std::string& name);
    void StartSaving(const std::string& name);
    void FinishSaving(const std::string& name, bool saved);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int turn_ = 0;
    std::set<std::string> saving_;
    std::set<std::string> saved_;
};

} // namespace tavrin

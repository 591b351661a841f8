#include "engine/SaveNameTurns.h"

namespace tavrin {

void SaveNameTurns::WaitForTurn(int index)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return turn_ == index; });
}

void SaveNameTurns::EndTurn()
{
    {
        std::lock_guard lock(mutex_);
        ++turn_;
    }
    changed_.notify_all();
}

bool SaveNameTurns::SavedBefore(const std::string& name)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return saving_.count(name) == 0; });
    return saved_.count(name) != 0;
}

void SaveNameTurns::StartSaving(const std::string& name)
{
    std::lock_guard lock(mutex_);
    saving_.insert(name);
}

void SaveNameTurns::FinishSaving(const std::string& name, bool saved)
{
    {
        std::lock_guard lock(mutex_);
        saving_.erase(name);
        if (saved)
            saved_.insert(name);
    }
    changed_.notify_all();
}

} // namespace tavrin

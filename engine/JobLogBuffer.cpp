#include "engine/JobLogBuffer.h"

#include <utility>

namespace tavrin {

JobLogBuffer::JobLogBuffer(BatchReporter& frontEnd, std::mutex& frontEndMutex, int jobIndex, std::string jobPath)
    : frontEnd_(frontEnd), frontEndMutex_(frontEndMutex), jobIndex_(jobIndex), jobPath_(std::move(jobPath))
{
}

void JobLogBuffer::ReplayLocked()
{
    // A front end names the file a message is about after the job it was asked for last.
    if (!held_.empty())
        frontEnd_.JobPath(jobIndex_);
    for (const Held& held : held_) {
        if (held.isMessage)
            frontEnd_.MessageBox(held.text, held.caption, held.style, held.ownedByView);
        else
            frontEnd_.AddLogLine(held.text, held.colour);
    }
    held_.clear();
}

void JobLogBuffer::AddLogLine(const std::string& text, Colour colour)
{
    Held line;
    line.text = text;
    line.colour = colour;
    held_.push_back(std::move(line));
}

int JobLogBuffer::JobCount()
{
    std::lock_guard lock(frontEndMutex_);
    return frontEnd_.JobCount();
}

// The job's own path is answered here: asking the front end would make its job the
// one the front end names in messages, while another job's block may be replayed.
std::string JobLogBuffer::JobPath(int index)
{
    if (index == jobIndex_)
        return jobPath_;
    std::lock_guard lock(frontEndMutex_);
    return frontEnd_.JobPath(index);
}

int JobLogBuffer::JobState(int index)
{
    std::lock_guard lock(frontEndMutex_);
    return frontEnd_.JobState(index);
}

void JobLogBuffer::SetJobState(int index, int state)
{
    std::lock_guard lock(frontEndMutex_);
    frontEnd_.SetJobState(index, state);
}

std::string JobLogBuffer::DestinationText()
{
    std::lock_guard lock(frontEndMutex_);
    return frontEnd_.DestinationText();
}

bool JobLogBuffer::ExtractMediaChecked()
{
    std::lock_guard lock(frontEndMutex_);
    return frontEnd_.ExtractMediaChecked();
}

int JobLogBuffer::MessageBox(const std::string& html, const std::string& caption, unsigned style, bool ownedByView)
{
    if (style == kMbOkInformation) {
        Held message;
        message.isMessage = true;
        message.text = html;
        message.caption = caption;
        message.style = style;
        message.ownedByView = ownedByView;
        held_.push_back(std::move(message));
        return kIdOk;
    }
    // A question cannot wait for the block: its answer decides what the job does next.
    std::lock_guard lock(frontEndMutex_);
    frontEnd_.JobPath(jobIndex_);
    return frontEnd_.MessageBox(html, caption, style, ownedByView);
}

} // namespace tavrin

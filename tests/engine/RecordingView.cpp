#include "RecordingView.h"

#include <cstdio>

namespace tavrin::test {
namespace {

const char* BarName(ProgressBar bar)
{
    return bar == ProgressBar::File ? "file" : "total";
}

const char* ColourName(Colour colour)
{
    switch (colour) {
    case kBlack: return "black";
    case kRed: return "red";
    case kGreen: return "green";
    default: return "other";
    }
}

const char* OnOff(bool value)
{
    return value ? "on" : "off";
}

} // namespace

std::string RecordingView::Clean(std::string text) const
{
    for (const auto& [from, to] : substitutions_) {
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    }
    std::string escaped;
    for (const char c : text) {
        if (c == '\r')
            escaped += "\\r";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

std::string RecordingView::Transcript() const
{
    std::string text;
    for (const std::string& line : events)
        text += line + "\n";
    return text;
}

void RecordingView::AddLogLine(const std::string& text, Colour colour)
{
    log.emplace_back(colour, text);
    Record(std::string("log ") + ColourName(colour) + " " + Clean(text));
    if (onLogLine)
        onLogLine(text);
}

void RecordingView::ClearLog()
{
    Record("clear log");
}

void RecordingView::SetProgressRange(ProgressBar bar, int maximum)
{
    Record(std::string("range ") + BarName(bar) + " " + std::to_string(maximum));
}

void RecordingView::SetProgressPosition(ProgressBar bar, int position)
{
    Record(std::string("position ") + BarName(bar) + " " + std::to_string(position));
}

void RecordingView::SetPicture(const std::string& path, PictureState state)
{
    Record("picture " + std::to_string(static_cast<int>(state)) + (path.empty() ? "" : " " + Clean(path)));
}

void RecordingView::EnableRepairButtons(bool enable)
{
    Record(std::string("repair buttons ") + OnOff(enable));
}

void RecordingView::EnableSaveControls(bool enable)
{
    Record(std::string("save controls ") + OnOff(enable));
}

void RecordingView::ShowProgressControls(bool show)
{
    Record(std::string("progress controls ") + OnOff(show));
}

void RecordingView::ShowTotalProgressOnly(bool show)
{
    Record(std::string("total progress only ") + OnOff(show));
}

void RecordingView::SetSelectEnabled(bool enable)
{
    Record(std::string("select ") + OnOff(enable));
}

void RecordingView::SetRepairStarted(bool started)
{
    Record(std::string("repair started ") + OnOff(started));
}

void RecordingView::ShowStopButton(bool show, bool enable)
{
    Record(std::string("stop button ") + (show ? "shown" : "hidden") + (enable ? " enabled" : " disabled"));
}

void RecordingView::SetHintText(const std::string& text, const std::vector<TextRange>& emphasis)
{
    std::string ranges;
    for (const auto& [start, end] : emphasis)
        ranges += " [" + std::to_string(start) + "," + std::to_string(end) + ")";
    Record("hint " + Clean(text) + ranges);
}

void RecordingView::Relayout()
{
    Record("relayout");
}

int RecordingView::JobCount()
{
    return static_cast<int>(jobs.size());
}

std::string RecordingView::JobPath(int index)
{
    return jobs.at(static_cast<std::size_t>(index)).path;
}

int RecordingView::JobState(int index)
{
    return jobs.at(static_cast<std::size_t>(index)).state;
}

void RecordingView::SetJobState(int index, int state)
{
    jobs.at(static_cast<std::size_t>(index)).state = state;
    Record("job " + std::to_string(index) + " state " + std::to_string(state));
}

std::string RecordingView::DestinationText()
{
    return destination;
}

bool RecordingView::ExtractMediaChecked()
{
    return extractMedia;
}

int RecordingView::MessageBox(const std::string& html, const std::string& caption, unsigned style, bool ownedByView)
{
    char styleText[16];
    std::snprintf(styleText, sizeof styleText, "0x%02X", style);
    messages.push_back(html);
    Record(std::string("message ") + styleText + (ownedByView ? " owned " : " ") + Clean(caption) + ": " + Clean(html));
    return nextAnswer_ < answers.size() ? answers[nextAnswer_++] : kIdOk;
}

} // namespace tavrin::test

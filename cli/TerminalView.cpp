#include "cli/TerminalView.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <ctime>

#include "cli/HtmlToText.h"

namespace tavrin::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::size_t TerminalWidth(FILE* stream)
{
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

TerminalView::TerminalView(std::vector<std::string> jobs, std::string destination, bool media, Settings settings)
    : jobs_(std::move(jobs)), states_(jobs_.size(), 0), destination_(std::move(destination)), media_(media),
      settings_(settings)
{
    if (settings_.logStream == nullptr)
        settings_.progress = false;
}

void TerminalView::SetDisplayedPath(const std::string& from, const std::string& to)
{
    std::lock_guard lock(mutex_);
    displayFrom_ = from;
    displayTo_ = to;
}

std::string TerminalView::Displayed(std::string text) const
{
    if (displayFrom_.empty())
        return text;
    for (auto at = text.find(displayFrom_); at != std::string::npos; at = text.find(displayFrom_, at + displayTo_.size()))
        text.replace(at, displayFrom_.size(), displayTo_);
    return text;
}

void TerminalView::Notice(const std::string& text)
{
    std::lock_guard lock(mutex_);
    ClearProgressLocked();
    std::fprintf(stderr, "tavrin-repair: %s\n", text.c_str());
    std::fflush(stderr);
}

void TerminalView::Finish()
{
    std::lock_guard lock(mutex_);
    ClearProgressLocked();
}

std::vector<int> TerminalView::JobStates() const
{
    std::lock_guard lock(mutex_);
    return states_;
}

void TerminalView::AddLogLine(const std::string& text, Colour colour)
{
    std::lock_guard lock(mutex_);
    if (settings_.logStream == nullptr)
        return;
    ClearProgressLocked();
    std::string plain;
    for (const char c : Displayed(text))
        if (c != '\r')
            plain += c;
    // The colour covers the words, not the line breaks, so a cut-off line never bleeds.
    const auto end = plain.find_last_not_of('\n') + 1;
    const char* start = "";
    if (settings_.color && colour == kRed)
        start = "\033[1;31m";
    else if (settings_.color && colour == kGreen)
        start = "\033[1;32m";
    if (*start != '\0' && end > 0)
        std::fprintf(settings_.logStream, "%s%s\033[0m%s", start, plain.substr(0, end).c_str(), plain.substr(end).c_str());
    else
        std::fputs(plain.c_str(), settings_.logStream);
    std::fflush(settings_.logStream);
    DrawProgressLocked(true);
}

void TerminalView::SetProgressRange(ProgressBar bar, int maximum)
{
    std::lock_guard lock(mutex_);
    (bar == ProgressBar::File ? file_ : total_).SetRange(maximum);
    DrawProgressLocked(true);
}

void TerminalView::SetProgressPosition(ProgressBar bar, int position)
{
    std::lock_guard lock(mutex_);
    (bar == ProgressBar::File ? file_ : total_).SetPosition(position, std::time(nullptr));
    DrawProgressLocked(false);
}

void TerminalView::ShowProgressControls(bool show)
{
    std::lock_guard lock(mutex_);
    fileShown_ = show;
    totalShown_ = show;
    if (!show)
        ClearProgressLocked();
    DrawProgressLocked(true);
}

void TerminalView::ShowTotalProgressOnly(bool show)
{
    std::lock_guard lock(mutex_);
    fileShown_ = false;
    totalShown_ = show;
    if (!show)
        ClearProgressLocked();
    DrawProgressLocked(true);
}

void TerminalView::ClearProgressLocked()
{
    if (linesDrawn_ == 0)
        return;
    std::string clear = "\r\033[K";
    for (int i = 1; i < linesDrawn_; ++i)
        clear += "\033[1A\r\033[K";
    std::fputs(clear.c_str(), settings_.logStream);
    std::fflush(settings_.logStream);
    linesDrawn_ = 0;
}

// One line per shown bar, labelled as the desktop labels them, each cut to the
// terminal's width so that it never wraps and can be redrawn in place.
void TerminalView::DrawProgressLocked(bool force)
{
    if (!settings_.progress)
        return;
    std::vector<std::string> lines;
    auto add = [&lines](const char* label, const ProgressEstimate& bar) {
        if (bar.maximum() <= 0)
            return;
        const std::string estimate = bar.Text();
        lines.push_back(std::string(label) + (estimate.empty() ? "0.00% complete." : estimate));
    };
    if (fileShown_)
        add("File progress: ", file_);
    if (totalShown_)
        add("Total files progress: ", total_);
    const auto now = std::chrono::steady_clock::now();
    if (lines.empty() || (!force && linesDrawn_ > 0 && now - lastDraw_ < kRedrawInterval))
        return;
    ClearProgressLocked();
    const std::size_t width = TerminalWidth(settings_.logStream);
    std::string text;
    for (std::string& line : lines) {
        if (line.size() >= width)
            line.resize(width - 1);
        text += (text.empty() ? "" : "\n") + line;
    }
    std::fputs(text.c_str(), settings_.logStream);
    std::fflush(settings_.logStream);
    linesDrawn_ = static_cast<int>(lines.size());
    lastDraw_ = now;
}

int TerminalView::JobCount()
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(jobs_.size());
}

std::string TerminalView::JobPath(int index)
{
    std::lock_guard lock(mutex_);
    return jobs_.at(static_cast<std::size_t>(index));
}

int TerminalView::JobState(int index)
{
    std::lock_guard lock(mutex_);
    return states_.at(static_cast<std::size_t>(index));
}

void TerminalView::SetJobState(int index, int state)
{
    std::lock_guard lock(mutex_);
    states_.at(static_cast<std::size_t>(index)) = state;
}

std::string TerminalView::DestinationText()
{
    std::lock_guard lock(mutex_);
    return destination_;
}

bool TerminalView::ExtractMediaChecked()
{
    std::lock_guard lock(mutex_);
    return media_;
}

int TerminalView::MessageBox(const std::string& html, const std::string&, unsigned style, bool ownedByView)
{
    std::lock_guard lock(mutex_);
    // The closing message of a save is the only one the desktop shows owned by the view.
    if (!(ownedByView && !settings_.finalMessage)) {
        ClearProgressLocked();
        std::fprintf(stderr, "tavrin-repair: %s\n", Displayed(HtmlToText(html)).c_str());
        std::fflush(stderr);
        DrawProgressLocked(true);
    }
    // Questions are answered Yes: on a terminal, Ctrl-C is the confirmation itself.
    return style == kMbYesNoQuestion ? kIdYes : kIdOk;
}

} // namespace tavrin::cli

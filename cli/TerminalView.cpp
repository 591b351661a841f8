#include "cli/TerminalView.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "cli/HtmlToText.h"
#include "engine/TextUtil.h"

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

// Every line of `text` as PrintableName shows it, the line breaks kept.
std::string PrintableLines(const std::string& text)
{
    std::string shown;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        shown += PrintableName(text.substr(start, end - start)) + "\n";
    return shown + PrintableName(text.substr(start));
}

} // namespace

TerminalView::TerminalView(std::vector<std::string> jobs, std::string destination, bool media, Settings settings)
    : jobs_(std::move(jobs)), states_(jobs_.size(), 0), destination_(std::move(destination)), media_(media),
      settings_(settings)
{
    if (settings_.progressStream == nullptr)
        settings_.progress = false;
}

void TerminalView::Write(FILE* stream, const std::string& text)
{
    if (stream == nullptr)
        return;
    std::fputs(text.c_str(), stream);
    if (std::fflush(stream) == 0 || errno != EPIPE || stream != settings_.logStream)
        return;
    // Nobody reads the log any more (`| head`): stop writing it, and stop the run.
    settings_.logStream = nullptr;
    if (!outputClosed_ && settings_.onOutputClosed) {
        outputClosed_ = true;
        settings_.onOutputClosed();
    }
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
    Write(stderr, "tavrin-repair: " + PrintableLines(text) + "\n");
}

void TerminalView::Finish()
{
    std::lock_guard lock(mutex_);
    ClearProgressLocked();
}

std::string TerminalView::FinalMessage() const
{
    std::lock_guard lock(mutex_);
    return finalMessage_;
}

std::vector<int> TerminalView::JobStates() const
{
    std::lock_guard lock(mutex_);
    return states_;
}

void TerminalView::AddLogLine(const std::string& text, Colour colour)
{
    std::lock_guard lock(mutex_);
    // Without a log, a loss or a failure is still said (under -q, or when the reader left).
    FILE* stream = settings_.logStream != nullptr ? settings_.logStream
                   : colour == kRed             ? settings_.problemStream
                                                : nullptr;
    if (stream == nullptr)
        return;
    ClearProgressLocked();
    // The line's own break is kept; a break, a carriage return or an escape sequence
    // inside it (from a path or a name) is shown as \xNN.
    const std::string displayed = Displayed(text);
    const auto end = displayed.find_last_not_of("\r\n") + 1;
    const std::string body = PrintableName(displayed.substr(0, end));
    std::string breaks;
    for (std::size_t i = end; i < displayed.size(); ++i)
        if (displayed[i] == '\n')
            breaks += '\n';
    // The colour covers the words, not the line breaks, so a cut-off line never bleeds.
    const bool colored = settings_.color && stream == settings_.logStream && !body.empty();
    const char* start = "";
    if (colored && colour == kRed)
        start = "\033[1;31m";
    else if (colored && colour == kGreen)
        start = "\033[1;32m";
    Write(stream, *start != '\0' ? start + body + "\033[0m" + breaks : body + breaks);
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
    Write(settings_.progressStream, clear);
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
    const std::size_t width = TerminalWidth(settings_.progressStream);
    std::string text;
    for (std::string& line : lines) {
        if (line.size() >= width)
            line.resize(width - 1);
        text += (text.empty() ? "" : "\n") + line;
    }
    Write(settings_.progressStream, text);
    linesDrawn_ = static_cast<int>(lines.size());
    lastDraw_ = now;
}

int TerminalView::JobCount()
{
    std::lock_guard lock(mutex_);
    // A batch asks for the count before its first job: what it says next is about no file.
    currentJob_.clear();
    return static_cast<int>(jobs_.size());
}

std::string TerminalView::JobPath(int index)
{
    std::lock_guard lock(mutex_);
    currentJob_ = jobs_.at(static_cast<std::size_t>(index));
    return currentJob_;
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
    if (ownedByView) {
        finalMessage_ = Displayed(HtmlToText(html));
    } else {
        ClearProgressLocked();
        // A message during a job is about that job's file: it is named, as tools name the
        // file an error is about.
        const std::string about = currentJob_.empty() ? "" : PrintableName(currentJob_) + ": ";
        Write(stderr, "tavrin-repair: " + about + PrintableLines(Displayed(HtmlToText(html))) + "\n");
        DrawProgressLocked(true);
    }
    // Questions are answered Yes: on a terminal, Ctrl-C is the confirmation itself.
    return style == kMbYesNoQuestion ? kIdYes : kIdOk;
}

} // namespace tavrin::cli

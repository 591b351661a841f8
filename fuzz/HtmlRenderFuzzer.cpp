// Any bytes as the markup of a message box or a drawer, and as a style sheet, through
// the renderer's layout step (no painting).
//
// Input: [options byte][narrow width byte][text]. Options: bit 0 escape sequences,
// bit 1 disabled, bit 2 the text is a style sheet (up to its first NUL; the markup
// follows the NUL, or is a fixed text that uses every selector), bit 3 also lay the
// narrow wrapping out at a dialog's width (with bit 6 the unwrapped text instead),
// bits 4-5 the tab size. The markup is laid out without wrapping, at the narrow width
// (twice) and at a dialog's width. Besides the sanitizers (and the time limit, for
// layouts that grow faster than the text) this checks what a caller relies on: no size
// is negative, laying out again gives the same records, the width a layout is made
// for moves items but never changes its lines, every link area belongs to a link
// item, and a disabled rule paints nothing but the disabled colour and no background.
//
// What the harness keeps between inputs (colours, sheet, fonts) is made once and
// reused, and the font maker's caches are bounded, so memory stays flat over a run.
#include <QGuiApplication>
#include <QString>

#include <cstdlib>
#include <string>

#include "fuzz/FuzzTarget.h"
#include "html/HtmlColorTable.h"
#include "html/HtmlDrawer.h"
#include "html/HtmlFontMaker.h"
#include "html/HtmlLayoutBuilder.h"
#include "html/HtmlStyleSheet.h"

using namespace tavrin;
using namespace tavrin::fuzz;

namespace {

// Drops Qt's warnings (unknown font families, odd sizes): thousands per second
// would only slow the run and bury a real report.
void QuietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

// The application below is never destroyed, so Qt never hands back the font patterns
// it keeps from fontconfig; the leak checker is told those are not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace {

// Made once and never destroyed: at exit Qt's own globals may already be gone.
void StartGui()
{
    static QGuiApplication* application = nullptr;
    if (application != nullptr)
        return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qInstallMessageHandler(QuietMessages);
    static int argc = 1;
    static char name[] = "fuzz_html_render";
    static char* argv[] = {name, nullptr};
    application = new QGuiApplication(argc, argv);
}

// Uses every selector the renderer looks up, so a fuzzed sheet reaches each of them.
const QString& EverySelectorText()
{
    static const QString text = QStringLiteral(
        "<h1>a</h1><h2>b</h2><h3>c</h3><h4>d</h4><h5>e</h5><h6>f</h6><p>p</p><pre>pre</pre><code>code</code>"
        "<big>big</big><small>small</small><sub>sub</sub><sup>sup</sup><span class=cpp-comment>c</span>"
        "<span class=x>x</span><a href=\"x\">link</a><a msg=\"m\">msg</a><hr width=50%><hr width=20>"
        "<table border=1><tr><td>one two three</td><td colspan=2>four</td></tr></table>end");
    return text;
}

bool SameLines(const std::vector<HtmlLineRecord>& a, const std::vector<HtmlLineRecord>& b)
{
    return a == b;
}

void CheckDisabledRules(const QString& sheet, const CHtmlColorTable& colors)
{
    HtmlApplyContext context;
    context.colors = &colors;
    context.disabled = true;
    context.disabledColor = 0x123456;
    const CHtmlStyle before;
    CHtmlStyle style = before;
    CHtmlStyleSheet::ApplyBody(sheet, style, context);
    const auto keptOrDisabled = [&](HtmlColor was, HtmlColor now) { return now == was || now == context.disabledColor; };
    if (!keptOrDisabled(before.textColor, style.textColor) || !keptOrDisabled(before.backColor, style.backColor) ||
        !keptOrDisabled(before.borderColorLight, style.borderColorLight) ||
        !keptOrDisabled(before.borderColorDark, style.borderColorDark))
        FuzzFailure("a disabled rule set a colour other than the disabled colour");
    if (style.backMode == kBackOpaque)
        FuzzFailure("a disabled rule made the background opaque");
}

struct Shared {
    CHtmlColorTable colors;
    CHtmlStyleSheet sheet;
    CHtmlFontMaker fonts;
};

Shared& SharedState()
{
    static Shared* shared = new Shared; // never destroyed, like the application
    return *shared;
}

CHtmlLayout Lay(const QString& text, const HtmlLayoutOptions& options, int width)
{
    return CHtmlLayoutBuilder::Build(text, options, width, SharedState().fonts);
}

std::string Describe(const CHtmlLayout& layout, int width)
{
    return std::to_string(layout.Size().width()) + "x" + std::to_string(layout.Size().height()) + " in " +
           std::to_string(layout.Lines().size()) + " lines at width " + std::to_string(width);
}

void CheckLayout(const CHtmlLayout& layout)
{
    // Heights add up line by line and table by table: a sum that overflowed shows here.
    if (layout.Size().width() < 0 || layout.Size().height() < 0)
        FuzzFailure("a negative size was measured");
    int links = 0;
    for (const HtmlLayoutItem& item : layout.Items()) {
        if (const auto* run = std::get_if<HtmlTextRun>(&item)) {
            if (run->rect.width() < 0 || run->rect.height() < 0)
                FuzzFailure("a text run of negative size");
            links += run->linkNumber != 0;
        } else if (const auto* picture = std::get_if<HtmlPicture>(&item)) {
            if (picture->rect.isEmpty() || !picture->box.contains(picture->rect))
                FuzzFailure("a picture outside its box");
            links += picture->linkNumber != 0;
        }
    }
    if (static_cast<int>(layout.LinkAreas().size()) != links)
        FuzzFailure("link areas and link items differ");
}

// Lays out at the width with wrapping at `maxWidth`; `again` lays out a second time,
// which must give the same records; `otherWidth` (when positive) lays out for that
// width too, which may move items but must keep the lines and the size.
void LayOutAt(const QString& text, HtmlLayoutOptions options, int maxWidth, bool again, int otherWidth)
{
    options.maxWidth = maxWidth;
    const CHtmlLayout layout = Lay(text, options, maxWidth);
    CheckLayout(layout);
    if (again) {
        const CHtmlLayout second = Lay(text, options, maxWidth);
        if (second.Size() != layout.Size() || !SameLines(second.Lines(), layout.Lines()) ||
            second.Tables().size() != layout.Tables().size() || second.Items().size() != layout.Items().size()) {
            const std::string detail = Describe(layout, maxWidth) + ", then " + Describe(second, maxWidth);
            FuzzFailure("laying out the same text again gave other records", detail.c_str());
        }
    }
    if (otherWidth > 0) {
        const CHtmlLayout wide = Lay(text, options, otherWidth);
        CheckLayout(wide);
        if (wide.Size() != layout.Size() || !SameLines(wide.Lines(), layout.Lines())) {
            const std::string detail = Describe(layout, maxWidth) + ", then " + Describe(wide, otherWidth);
            FuzzFailure("the width a layout is made for changed its lines", detail.c_str());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    StartGui();
    // Qt trims its font caches from a timer; without an event loop they would grow
    // with every new font an input asks for.
    static unsigned runs = 0;
    if (++runs % 64 == 0)
        QCoreApplication::processEvents();
    const std::uint8_t options = data[0];
    const int narrow = 1 + data[1];
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));

    Shared& shared = SharedState();
    HtmlLayoutOptions layoutOptions;
    layoutOptions.escapeSequences = (options & 1) != 0;
    layoutOptions.enabled = (options & 2) == 0;
    static constexpr int kTabSizes[] = {0, 8, 32, 100};
    layoutOptions.tabSize = kTabSizes[(options >> 4) & 3];
    layoutOptions.colors = &shared.colors;
    layoutOptions.sheet = &shared.sheet;

    QString html = text;
    if ((options & 4) != 0) {
        const qsizetype end = text.indexOf(QChar(0));
        const QString sheet = end < 0 ? text : text.left(end);
        html = end < 0 ? EverySelectorText() : text.mid(end + 1);
        shared.sheet.SetCssStyles(sheet);
        CheckDisabledRules(sheet, shared.colors);
    } else {
        shared.sheet.SetCssStyles(QString());
    }
    const QString prepared = CHtmlDrawer::PrepareText(html, layoutOptions.escapeSequences);

    const bool otherWidth = (options & 8) != 0;
    const bool unwrappedOther = (options & 64) != 0;
    // Qt settles the fallback of a family it has not seen before on first use, and
    // that first measurement may differ by a few pixels: the unwrapped layout warms its
    // caches before a layout is made twice.
    LayOutAt(prepared, layoutOptions, 0, false, otherWidth && unwrappedOther ? 420 : 0);
    LayOutAt(prepared, layoutOptions, narrow, true, otherWidth && !unwrappedOther ? 420 : 0);
    LayOutAt(prepared, layoutOptions, 420, false, 0);
    return 0;
}

// Any bytes as the markup of a message box or a drawer, and as a style sheet.
//
// Input: [options byte][narrow width byte][text]. Options: bit 0 escape sequences,
// bit 1 disabled, bit 2 the text is a style sheet (up to its first NUL; the markup
// follows the NUL, or is a fixed text that uses every selector), bit 3 also draw (at
// the narrow width, or with bit 6 at the dialog's), bits 4-5 the tab size. The markup
// is measured without wrapping, at the narrow width (twice) and at a dialog's width.
// Besides the sanitizers (and the time limit, for layouts that grow faster than the
// text) this checks what a caller relies on: no size is negative, measuring again
// gives the same records, drawing leaves them alone, and a disabled rule paints
// nothing but the disabled colour and no background.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdlib>
#include <string>

#include "fuzz/FuzzTarget.h"
#include "html/HtmlColorTable.h"
#include "html/HtmlDrawer.h"
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
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].width != b[i].width || a[i].height != b[i].height || a[i].maxDescent != b[i].maxDescent ||
            a[i].align != b[i].align || a[i].widthPercent != b[i].widthPercent || a[i].wrapped != b[i].wrapped ||
            a[i].spaces != b[i].spaces)
            return false;
    return true;
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

// Measures at the width and checks the result; `again` measures a second time, which
// must give the same records; `draw` then draws, which must leave them alone.
void MeasureAt(CHtmlDrawer& drawer, const QImage& device, const QString& html, int width, bool again, bool draw)
{
    drawer.SetMaxWidth(width);
    const QSize size = drawer.MeasureHtml(&device, html);
    // Heights add up line by line and table by table: a sum that overflowed shows here.
    if (size.width() < 0 || size.height() < 0)
        FuzzFailure("a negative size was measured");

    const std::vector<HtmlLineRecord> lines = drawer.Lines();
    const size_t tables = drawer.Tables().size();
    if (again) {
        const QSize second = drawer.MeasureHtml(&device, html);
        if (second != size || !SameLines(drawer.Lines(), lines) || drawer.Tables().size() != tables) {
            const std::string detail = std::to_string(size.width()) + "x" + std::to_string(size.height()) + " in " +
                                       std::to_string(lines.size()) + " lines, then " + std::to_string(second.width()) +
                                       "x" + std::to_string(second.height()) + " in " +
                                       std::to_string(drawer.Lines().size()) + " lines at width " + std::to_string(width);
            FuzzFailure("measuring the same text again gave other records", detail.c_str());
        }
    }

    if (!draw || size.isEmpty())
        return;
    // A small canvas: what is drawn outside it is clipped, the layout runs all the same.
    QImage canvas(std::min(size.width(), 160), std::min(size.height(), 120), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        drawer.DrawMeasured(painter, QRect(0, 0, size.width(), size.height()));
    }
    if (!SameLines(drawer.Lines(), lines) || drawer.Tables().size() != tables)
        FuzzFailure("drawing changed the records of the measuring pass");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    StartGui();
    // Qt trims its font caches from a timer; without an event loop they would grow
    // with every new family an input names.
    static unsigned runs = 0;
    if (++runs % 64 == 0)
        QCoreApplication::processEvents();
    const std::uint8_t options = data[0];
    const int narrow = 1 + data[1];
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));

    CHtmlDrawer drawer;
    drawer.SetEscapeSequences((options & 1) != 0);
    drawer.SetEnabled((options & 2) == 0);
    static constexpr int kTabSizes[] = {0, 8, 32, 100};
    drawer.SetTabSize(kTabSizes[(options >> 4) & 3]);

    QString html = text;
    if ((options & 4) != 0) {
        const qsizetype end = text.indexOf(QChar(0));
        const QString sheet = end < 0 ? text : text.left(end);
        html = end < 0 ? EverySelectorText() : text.mid(end + 1);
        drawer.SetCssStyles(sheet);
        CheckDisabledRules(sheet, drawer.Colors());
    }

    static const QImage device(1, 1, QImage::Format_RGB32);
    const bool draw = (options & 8) != 0;
    const bool drawWide = (options & 64) != 0;
    // Qt settles the fallback of a family it has not seen before on first use, and
    // that first measurement may differ by a few pixels: the unwrapped pass warms its
    // caches before a pass is measured twice.
    MeasureAt(drawer, device, html, 0, false, false);
    MeasureAt(drawer, device, html, narrow, true, draw && !drawWide);
    MeasureAt(drawer, device, html, 420, false, draw && drawWide);
    return 0;
}

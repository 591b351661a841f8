// Times a hover repaint of the program's largest message box: the save report, whose
// folder link is the only link the program shows. Each step moves the pointer onto the
// link or off it (the box repaints its text strip) and renders the box.
//
//   html_hover_bench [STEPS]        (QT_QPA_PLATFORM=offscreen works)
#include "html/HtmlMessageBox.h"
#include "html/HtmlMessageBoxDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tavrin;

namespace {

void MoveTo(QWidget& widget, const QPoint& point)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(point), widget.mapToGlobal(QPointF(point)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// A point on the link: where the box shows the hand cursor.
QPoint FindLink(QWidget& box)
{
    for (int y = 0; y < box.height(); y += 2)
        for (int x = 0; x < box.width(); x += 2) {
            MoveTo(box, QPoint(x, y));
            if (box.testAttribute(Qt::WA_SetCursor) && box.cursor().shape() == Qt::PointingHandCursor)
                return QPoint(x, y);
        }
    return QPoint(-1, -1);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int steps = argc > 1 ? std::max(2, std::atoi(argv[1])) : 2000;
    const QString folder = QStringLiteral("/home/user/Documents/Databases/Repaired databases of the sales office 2026");
    const QString html = QStringLiteral("File(s) saving process has been completed.Saved file(s) location is:<br><a href='")
                         + folder + QStringLiteral("'>") + folder + QStringLiteral("</a>");
    CHtmlMessageBoxDlg box(MessageBoxParams(nullptr, html, QStringLiteral("Tavrin Lumiq"), 0x40));
    box.resize(box.size());
    QImage canvas(box.size(), QImage::Format_RGB32);
    box.render(&canvas); // the first paint builds the cached background

    const QPoint link = FindLink(box);
    if (link.x() < 0) {
        std::fprintf(stderr, "no link found in the box\n");
        return 1;
    }
    const QPoint outside(2, 2);
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(steps));
    QElapsedTimer timer;
    for (int i = 0; i < steps; ++i) {
        timer.start();
        MoveTo(box, i % 2 == 0 ? link : outside);
        // The box itself, not its buttons: a hover repaint leaves the child controls alone.
        box.render(&canvas, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        micros.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0;
    for (double m : micros)
        sum += m;
    std::printf("box %dx%d, %d hover repaints: mean %.1f us, median %.1f us, p90 %.1f us\n", box.width(), box.height(),
                steps, sum / steps, micros[micros.size() / 2], micros[micros.size() * 9 / 10]);
    return 0;
}

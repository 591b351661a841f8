// Shows the program's three kinds of message box on a real display and saves a PNG of
// each: an information box, a Yes/No question and the save report with its folder link.
// Run through tests/html/screenshots.sh (under Xvfb).
#include "html/HtmlMessageBox.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// Saves the open box as `name` and then presses `key` on it.
void CaptureNextBox(const QString& directory, const QString& name, int key)
{
    QTimer::singleShot(700, qApp, [=] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) {
            std::fprintf(stderr, "no box for %s\n", qPrintable(name));
            QApplication::exit(1);
            return;
        }
        const QString path = directory + QLatin1Char('/') + name;
        const QRect frame = box->frameGeometry();
        QPixmap shot = box->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        if (shot.isNull())
            shot = box->grab();
        shot.save(path);
        std::printf("%s %dx%d\n", qPrintable(path), box->width(), box->height());
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
    });
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    QDir().mkpath(directory);

    QMainWindow main;
    main.setWindowTitle(QStringLiteral("Tavrin Lumiq"));
    main.resize(900, 600);
    main.show();

    QTimer::singleShot(300, &app, [&] {
        CaptureNextBox(directory, QStringLiteral("msgbox-information.png"), Qt::Key_Return);
        std::printf("information -> %d\n",
                    tavrin::HtmlMessageBox(nullptr, QStringLiteral("Please select at least one .odb file to repair."),
                                           QStringLiteral("Tavrin Lumiq"), 0x40));

        CaptureNextBox(directory, QStringLiteral("msgbox-yesno.png"), Qt::Key_Return);
        std::printf("yes/no -> %d\n",
                    tavrin::HtmlMessageBox(nullptr, QStringLiteral("Do you want to close the application?"),
                                           QStringLiteral("Tavrin Lumiq"), 0x24));

        const QString folder = QDir::homePath() + QStringLiteral("/Repaired databases");
        CaptureNextBox(directory, QStringLiteral("msgbox-save-report.png"), Qt::Key_Return);
        std::printf("save report -> %d\n",
                    tavrin::HtmlMessageBox(&main,
                                           QStringLiteral("File(s) saving process has been completed.Saved file(s) "
                                                          "location is:<br><a href='")
                                               + folder + QStringLiteral("'>") + folder + QStringLiteral("</a>"),
                                           QStringLiteral("Tavrin Lumiq"), 0x40));
        QApplication::quit();
    });
    return app.exec();
}

#include "controls/PictureBox.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

namespace tavrin::controls {

CPictureBox::CPictureBox(QWidget* parent)
    : QWidget(parent)
{
}

QString CPictureBox::MessageText(int state)
{
    switch (state) {
    case NoFilesInList:
        return QStringLiteral("No .odb file(s) is available\n in the list");
    case SelectFilesToRepair:
        return QStringLiteral("Select .odb file(s)\n to repair");
    case RepairRunning:
        return QStringLiteral("Please wait while .odb file(s)\n are repairing....");
    case SelectFileForPreview:
        return QStringLiteral("Select .odb file(s)\n to see preview");
    case NoImageInPackage:
        return QStringLiteral("No image is present \n in the selected .odb file(s)");
    case FileNotRepaired:
        return QStringLiteral("Selected .odb file(s)\n is not repaired....");
    default:
        return QString();
    }
}

QRect CPictureBox::PictureRect(int mode, QSize box, QSize picture)
{
    switch (mode) {
    case TopLeft:
        return QRect(QPoint(0, 0), picture);
    case Centred:
        return QRect(QPoint(box.width() / 2 - picture.width() / 2, box.height() / 2 - picture.height() / 2),
                     picture);
    case Stretched:
        return QRect(QPoint(0, 0), box);
    default:
        return QRect();
    }
}

void CPictureBox::LoadPicture(const QString& path, int state)
{
    m_state = state;
    // Release the old picture before the new file is opened.
    m_picture = QImage();
    m_holdsPicture = false;
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        m_holdsPicture = true;
        QImageReader reader(path);
        // A picture is decoded by its content, whatever its name says.
        reader.setDecideFormatFromContent(true);
        reader.setAutoTransform(false);
        m_picture = reader.read();
    }
}

void CPictureBox::SetDrawMode(int mode)
{
    m_mode = mode;
}

void CPictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));

    if (!m_holdsPicture) {
        const QString text = MessageText(m_state);
        if (!text.isEmpty()) {
            p.setPen(Qt::black);
            p.setFont(font());
            p.drawText(QRect(TextLeft, TextTop, std::max(0, width() - TextLeft), std::max(0, height() - TextTop)),
                       Qt::AlignLeft | Qt::AlignTop, text);
        }
        return;
    }
    // A file that could not be read shows only the background. Overlapping siblings
    // need no help to stay visible: Qt paints them after this box.
    if (m_picture.isNull())
        return;
    const QRect target = PictureRect(m_mode, size(), m_picture.size());
    if (target.isEmpty())
        return;
    p.setRenderHint(QPainter::SmoothPixmapTransform, m_mode == Stretched);
    p.drawImage(target, m_picture);
}

} // namespace tavrin::controls

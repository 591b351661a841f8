// Draws every picture of the desktop program and writes them as PNG files.
//
//   tavrin-artwork <output folder>
//
// The pictures are vector drawings made with QPainter, so this file is their source:
// change a drawing here, run the tool, and commit the PNG files it wrote next to it.
// Sizes follow what the program expects of each picture.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <functional>

namespace {

const QColor kNavy(18, 52, 96);
const QColor kBlue(38, 104, 178);
const QColor kSky(120, 182, 236);
const QColor kAmber(244, 176, 54);
const QColor kCream(252, 230, 154);
const QColor kGreen(46, 150, 76);
const QColor kRed(206, 52, 44);

QImage NewImage(int width, int height, QColor fill = Qt::transparent)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

void Prepare(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

// A database drum: three stacked discs, the program's emblem.
void DrawDatabase(QPainter& p, const QRectF& r, QColor body, QColor top)
{
    const qreal rim = r.height() * 0.22;
    QLinearGradient side(r.topLeft(), r.topRight());
    side.setColorAt(0, body.darker(135));
    side.setColorAt(0.45, body.lighter(120));
    side.setColorAt(1, body.darker(150));
    QPainterPath drum;
    drum.moveTo(r.left(), r.top() + rim / 2);
    drum.lineTo(r.left(), r.bottom() - rim / 2);
    drum.arcTo(QRectF(r.left(), r.bottom() - rim, r.width(), rim), 180, 180);
    drum.lineTo(r.right(), r.top() + rim / 2);
    drum.closeSubpath();
    p.setPen(QPen(body.darker(200), qMax<qreal>(1, r.width() / 40)));
    p.setBrush(side);
    p.drawPath(drum);
    // Bands between the discs.
    p.setBrush(Qt::NoBrush);
    for (int band = 1; band <= 2; ++band) {
        const qreal y = r.top() + rim / 2 + (r.height() - rim) * band / 3.0;
        p.drawArc(QRectF(r.left(), y - rim / 2, r.width(), rim), 180 * 16, 180 * 16);
    }
    QLinearGradient lid(r.topLeft(), r.topRight());
    lid.setColorAt(0, top.lighter(110));
    lid.setColorAt(1, top.darker(115));
    p.setBrush(lid);
    p.drawEllipse(QRectF(r.left(), r.top(), r.width(), rim));
}

// A wrench lying diagonally from bottom left to top right.
void DrawWrench(QPainter& p, const QRectF& r, QColor colour)
{
    p.save();
    p.translate(r.center());
    p.rotate(-45);
    const qreal len = qMin(r.width(), r.height()) * 1.25;
    const qreal w = len * 0.16;
    QPainterPath path;
    path.addRoundedRect(QRectF(-len / 2 + w, -w / 2, len - 2 * w, w), w / 2, w / 2);
    path.addEllipse(QPointF(len / 2 - w, 0), w * 1.15, w * 1.15);
    path.addEllipse(QPointF(-len / 2 + w, 0), w * 0.95, w * 0.95);
    QPainterPath jaw;
    jaw.addRect(QRectF(len / 2 - w * 0.9, -w * 0.45, w * 1.6, w * 0.9));
    jaw.addEllipse(QPointF(-len / 2 + w * 0.2, 0), w * 0.45, w * 0.45);
    path = path.subtracted(jaw);
    QLinearGradient metal(0, -w, 0, w);
    metal.setColorAt(0, colour.lighter(160));
    metal.setColorAt(0.5, colour);
    metal.setColorAt(1, colour.darker(160));
    p.setPen(QPen(colour.darker(220), qMax<qreal>(0.8, len / 40)));
    p.setBrush(metal);
    p.drawPath(path);
    p.restore();
}

void DrawFolder(QPainter& p, const QRectF& r, QColor colour)
{
    const qreal tab = r.height() * 0.22;
    QPainterPath back;
    back.moveTo(r.left(), r.top() + tab);
    back.lineTo(r.left(), r.bottom());
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.right(), r.top() + tab * 1.6);
    back.lineTo(r.left() + r.width() * 0.45, r.top() + tab * 1.6);
    back.lineTo(r.left() + r.width() * 0.38, r.top() + tab * 0.6);
    back.lineTo(r.left(), r.top() + tab * 0.6);
    back.closeSubpath();
    p.setPen(QPen(colour.darker(170), qMax<qreal>(0.8, r.width() / 36)));
    p.setBrush(colour.darker(115));
    p.drawPath(back);
    QLinearGradient front(r.topLeft(), r.bottomLeft());
    front.setColorAt(0, colour.lighter(125));
    front.setColorAt(1, colour);
    QPainterPath lid;
    lid.moveTo(r.left() + r.width() * 0.08, r.top() + tab * 2.2);
    lid.lineTo(r.right() + r.width() * 0.02, r.top() + tab * 2.2);
    lid.lineTo(r.right() - r.width() * 0.06, r.bottom());
    lid.lineTo(r.left(), r.bottom());
    lid.closeSubpath();
    p.setBrush(front);
    p.drawPath(lid);
}

// A page with a folded corner and the database emblem on it: an .odb file.
void DrawDocument(QPainter& p, const QRectF& r, QColor accent)
{
    const qreal fold = r.width() * 0.3;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(QPen(QColor(90, 100, 120), qMax<qreal>(0.8, r.width() / 30)));
    QLinearGradient paper(r.topLeft(), r.bottomRight());
    paper.setColorAt(0, Qt::white);
    paper.setColorAt(1, QColor(226, 232, 242));
    p.setBrush(paper);
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    corner.closeSubpath();
    p.setBrush(QColor(200, 208, 222));
    p.drawPath(corner);
    const QRectF emblem(r.left() + r.width() * 0.2, r.top() + r.height() * 0.38, r.width() * 0.6,
                        r.height() * 0.5);
    DrawDatabase(p, emblem, accent, accent.lighter(140));
}

void DrawDisk(QPainter& p, const QRectF& r, QColor colour)
{
    QPainterPath body;
    const qreal cut = r.width() * 0.18;
    body.moveTo(r.left(), r.top());
    body.lineTo(r.right() - cut, r.top());
    body.lineTo(r.right(), r.top() + cut);
    body.lineTo(r.right(), r.bottom());
    body.lineTo(r.left(), r.bottom());
    body.closeSubpath();
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, colour.lighter(130));
    g.setColorAt(1, colour.darker(130));
    p.setPen(QPen(colour.darker(200), qMax<qreal>(0.8, r.width() / 30)));
    p.setBrush(g);
    p.drawPath(body);
    p.setBrush(QColor(235, 240, 248));
    p.drawRect(QRectF(r.left() + r.width() * 0.2, r.top() + r.height() * 0.06, r.width() * 0.56, r.height() * 0.34));
    p.setBrush(colour.darker(170));
    p.drawRect(QRectF(r.left() + r.width() * 0.56, r.top() + r.height() * 0.1, r.width() * 0.12, r.height() * 0.24));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(r.left() + r.width() * 0.16, r.top() + r.height() * 0.56, r.width() * 0.68,
                             r.height() * 0.38),
                      r.width() * 0.05, r.width() * 0.05);
}

void DrawBadge(QPainter& p, const QPointF& centre, qreal radius, QColor colour, const std::function<void()>& mark)
{
    QRadialGradient g(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, colour.lighter(150));
    g.setColorAt(1, colour.darker(120));
    p.setPen(QPen(colour.darker(180), qMax<qreal>(0.8, radius / 8)));
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
    p.save();
    p.setPen(QPen(Qt::white, radius * 0.32, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    mark();
    p.restore();
}

void DrawPlus(QPainter& p, const QPointF& c, qreal r)
{
    DrawBadge(p, c, r, kGreen, [&] {
        p.drawLine(QPointF(c.x() - r * 0.5, c.y()), QPointF(c.x() + r * 0.5, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - r * 0.5), QPointF(c.x(), c.y() + r * 0.5));
    });
}

void DrawMinus(QPainter& p, const QPointF& c, qreal r)
{
    DrawBadge(p, c, r, kRed, [&] { p.drawLine(QPointF(c.x() - r * 0.5, c.y()), QPointF(c.x() + r * 0.5, c.y())); });
}

void DrawCheck(QPainter& p, const QPointF& c, qreal r)
{
    DrawBadge(p, c, r, kGreen, [&] {
        QPainterPath tick;
        tick.moveTo(c.x() - r * 0.5, c.y());
        tick.lineTo(c.x() - r * 0.12, c.y() + r * 0.4);
        tick.lineTo(c.x() + r * 0.52, c.y() - r * 0.38);
        p.drawPath(tick);
    });
}

void DrawQuestion(QPainter& p, const QPointF& c, qreal r)
{
    DrawBadge(p, c, r, kBlue, [&] {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(qRound(r * 1.5));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), Qt::AlignCenter, QStringLiteral("?"));
    });
}

void DrawInfo(QPainter& p, const QPointF& c, qreal r)
{
    DrawBadge(p, c, r, kBlue, [&] {
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setBold(true);
        font.setItalic(true);
        font.setPixelSize(qRound(r * 1.5));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), Qt::AlignCenter, QStringLiteral("i"));
    });
}

void DrawStop(QPainter& p, const QRectF& r)
{
    QPainterPath octagon;
    const QPointF c = r.center();
    const qreal radius = qMin(r.width(), r.height()) / 2;
    for (int i = 0; i < 8; ++i) {
        const qreal angle = (22.5 + 45 * i) * M_PI / 180;
        const QPointF corner(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle));
        if (i == 0)
            octagon.moveTo(corner);
        else
            octagon.lineTo(corner);
    }
    octagon.closeSubpath();
    QRadialGradient g(c - QPointF(radius / 3, radius / 3), radius * 1.5);
    g.setColorAt(0, kRed.lighter(150));
    g.setColorAt(1, kRed.darker(120));
    p.setPen(QPen(kRed.darker(200), qMax<qreal>(0.8, radius / 8)));
    p.setBrush(g);
    p.drawPath(octagon);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(c.x() - radius * 0.45, c.y() - radius * 0.12, radius * 0.9, radius * 0.24));
}

void DrawExit(QPainter& p, const QRectF& r)
{
    // A door frame with an arrow leaving it.
    const QRectF door(r.left() + r.width() * 0.08, r.top() + r.height() * 0.05, r.width() * 0.46, r.height() * 0.9);
    QLinearGradient wood(door.topLeft(), door.topRight());
    wood.setColorAt(0, QColor(150, 96, 52));
    wood.setColorAt(1, QColor(110, 66, 32));
    p.setPen(QPen(QColor(70, 40, 20), qMax<qreal>(0.8, r.width() / 30)));
    p.setBrush(wood);
    p.drawRect(door);
    p.setBrush(kAmber);
    p.drawEllipse(QPointF(door.right() - door.width() * 0.2, door.center().y()), door.width() * 0.08,
                  door.width() * 0.08);
    QPainterPath arrow;
    const qreal y = r.center().y();
    const qreal h = r.height() * 0.2;
    arrow.moveTo(r.left() + r.width() * 0.42, y - h / 2);
    arrow.lineTo(r.left() + r.width() * 0.68, y - h / 2);
    arrow.lineTo(r.left() + r.width() * 0.68, y - h * 1.2);
    arrow.lineTo(r.right(), y);
    arrow.lineTo(r.left() + r.width() * 0.68, y + h * 1.2);
    arrow.lineTo(r.left() + r.width() * 0.68, y + h / 2);
    arrow.lineTo(r.left() + r.width() * 0.42, y + h / 2);
    arrow.closeSubpath();
    p.setPen(QPen(kGreen.darker(180), qMax<qreal>(0.8, r.width() / 30)));
    p.setBrush(kGreen);
    p.drawPath(arrow);
}

// The program's emblem: a database drum with a wrench across it.
void DrawEmblem(QPainter& p, const QRectF& r)
{
    DrawDatabase(p, QRectF(r.left() + r.width() * 0.12, r.top() + r.height() * 0.06, r.width() * 0.66,
                           r.height() * 0.86),
                 kBlue, kSky);
    DrawWrench(p, QRectF(r.left() + r.width() * 0.3, r.top() + r.height() * 0.3, r.width() * 0.62,
                         r.height() * 0.62),
               QColor(190, 196, 206));
}

QFont TitleFont(int pixels, bool bold = true)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QImage Header()
{
    QImage image = NewImage(400, 72);
    QPainter p(&image);
    Prepare(p);
    QLinearGradient sky(0, 0, 0, 72);
    sky.setColorAt(0, QColor(28, 74, 132));
    sky.setColorAt(0.7, kNavy);
    sky.setColorAt(1, QColor(12, 36, 70));
    p.fillRect(image.rect(), sky);
    // A soft glow behind the emblem.
    QRadialGradient glow(QPointF(40, 36), 60);
    glow.setColorAt(0, QColor(120, 182, 236, 110));
    glow.setColorAt(1, QColor(120, 182, 236, 0));
    p.fillRect(image.rect(), glow);
    DrawEmblem(p, QRectF(12, 8, 56, 56));
    p.setPen(Qt::white);
    p.setFont(TitleFont(28));
    p.drawText(QRectF(82, 6, 310, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavrin Lumiq"));
    p.setPen(QColor(252, 214, 120));
    p.setFont(TitleFont(13, false));
    p.drawText(QRectF(84, 40, 310, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Repair for damaged LibreOffice Base files"));
    // The amber rule along the bottom edge continues in the filler.
    p.fillRect(QRectF(0, 69, 400, 3), kAmber);
    return image;
}

QImage HeaderFiller()
{
    QImage image = NewImage(100, 72);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 72);
    sky.setColorAt(0, QColor(28, 74, 132));
    sky.setColorAt(0.7, kNavy);
    sky.setColorAt(1, QColor(12, 36, 70));
    p.fillRect(image.rect(), sky);
    p.fillRect(QRectF(0, 69, 100, 3), kAmber);
    return image;
}

QImage Footer()
{
    QImage image = NewImage(820, 62);
    QPainter p(&image);
    QLinearGradient band(0, 0, 0, 62);
    band.setColorAt(0, kCream);
    band.setColorAt(0.25, QColor(250, 222, 140));
    band.setColorAt(1, QColor(238, 196, 104));
    p.fillRect(image.rect(), band);
    p.fillRect(QRectF(0, 0, 820, 2), QColor(214, 160, 60));
    return image;
}

QImage FooterLeft()
{
    QImage image = NewImage(64, 62);
    QPainter p(&image);
    Prepare(p);
    QLinearGradient band(0, 0, 0, 62);
    band.setColorAt(0, kCream);
    band.setColorAt(0.25, QColor(250, 222, 140));
    band.setColorAt(1, QColor(238, 196, 104));
    p.fillRect(image.rect(), band);
    p.fillRect(QRectF(0, 0, 64, 2), QColor(214, 160, 60));
    DrawInfo(p, QPointF(34, 33), 17);
    return image;
}

QImage JobListBackground()
{
    QImage image = NewImage(850, 300, Qt::white);
    QPainter p(&image);
    Prepare(p);
    QLinearGradient wash(0, 0, 850, 300);
    wash.setColorAt(0, QColor(255, 255, 255));
    wash.setColorAt(1, QColor(236, 244, 252));
    p.fillRect(image.rect(), wash);
    // A faint emblem in the lower right corner as a watermark.
    p.setOpacity(0.10);
    DrawEmblem(p, QRectF(610, 70, 220, 220));
    return image;
}

QImage ListImages()
{
    QImage image = NewImage(60, 20);
    QPainter p(&image);
    Prepare(p);
    DrawDocument(p, QRectF(3.5, 1.5, 13, 17), QColor(150, 150, 150)); // plain file
    DrawDocument(p, QRectF(23.5, 1.5, 13, 17), kGreen);               // repaired
    DrawDocument(p, QRectF(43.5, 1.5, 13, 17), kBlue);                // a Base file
    return image;
}

QImage ButtonImage(int number)
{
    const bool square = number == 337;
    QImage image = NewImage(square ? 20 : 23, 20);
    QPainter p(&image);
    Prepare(p);
    switch (number) {
    case 331: // select files
        DrawDocument(p, QRectF(3, 1.5, 12, 16), kBlue);
        DrawPlus(p, QPointF(17, 14), 5.2);
        break;
    case 332: // repair files
        DrawDatabase(p, QRectF(2, 2, 12, 16), kBlue, kSky);
        DrawWrench(p, QRectF(8, 4, 13, 13), QColor(180, 186, 196));
        break;
    case 333: // remove files
        DrawDocument(p, QRectF(3, 1.5, 12, 16), kBlue);
        DrawMinus(p, QPointF(17, 14), 5.2);
        break;
    case 334: // stop
        DrawStop(p, QRectF(3, 1, 18, 18));
        break;
    case 335: // exit
        DrawExit(p, QRectF(2, 1, 20, 18));
        break;
    case 336: // browse folder
        DrawFolder(p, QRectF(2, 3, 19, 14), kAmber);
        break;
    case 337: // save
        DrawDisk(p, QRectF(2, 2, 16, 16), kBlue);
        break;
    default: break;
    }
    return image;
}

QImage Logo()
{
    QImage image = NewImage(250, 50);
    QPainter p(&image);
    Prepare(p);
    DrawEmblem(p, QRectF(4, 3, 44, 44));
    p.setFont(TitleFont(24));
    p.setPen(kNavy);
    p.drawText(QRectF(54, 2, 194, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavrin"));
    const int tavrinWidth = QFontMetrics(p.font()).horizontalAdvance(QStringLiteral("Tavrin "));
    p.setPen(kBlue);
    p.drawText(QRectF(54 + tavrinWidth, 2, 194 - tavrinWidth, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Lumiq"));
    p.setFont(TitleFont(11, false));
    p.setPen(QColor(90, 98, 110));
    p.drawText(QRectF(55, 31, 194, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Base file repair"));
    return image;
}

QImage ToolbarStrip()
{
    QImage image = NewImage(384, 48);
    QPainter p(&image);
    Prepare(p);
    auto cell = [](int index) { return QRectF(index * 48, 0, 48, 48); };
    // Select, remove, repair, browse, save, help, about; the eighth cell stays empty.
    {
        const QRectF c = cell(0);
        DrawDocument(p, QRectF(c.left() + 7, 4, 26, 36), kBlue);
        DrawPlus(p, QPointF(c.left() + 35, 34), 10);
    }
    {
        const QRectF c = cell(1);
        DrawDocument(p, QRectF(c.left() + 7, 4, 26, 36), kBlue);
        DrawMinus(p, QPointF(c.left() + 35, 34), 10);
    }
    {
        const QRectF c = cell(2);
        DrawDatabase(p, QRectF(c.left() + 5, 5, 28, 38), kBlue, kSky);
        DrawWrench(p, QRectF(c.left() + 16, 10, 30, 30), QColor(186, 192, 202));
    }
    {
        const QRectF c = cell(3);
        DrawFolder(p, QRectF(c.left() + 4, 8, 40, 32), kAmber);
    }
    {
        const QRectF c = cell(4);
        DrawDisk(p, QRectF(c.left() + 6, 6, 36, 36), kBlue);
    }
    DrawQuestion(p, cell(5).center(), 18);
    DrawInfo(p, cell(6).center(), 18);
    return image;
}

QImage Splash()
{
    QImage image = NewImage(480, 300, QColor(255, 0, 255));
    QPainter p(&image);
    Prepare(p);
    const QRectF card(6, 6, 468, 288);
    QPainterPath shape;
    shape.addRoundedRect(card, 28, 28);
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(34, 86, 150));
    sky.setColorAt(1, QColor(10, 30, 62));
    // No antialiasing on the outline: its edge pixels must be either the card or magenta.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillPath(shape, sky);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipPath(shape);
    QRadialGradient glow(QPointF(130, 130), 170);
    glow.setColorAt(0, QColor(120, 182, 236, 120));
    glow.setColorAt(1, QColor(120, 182, 236, 0));
    p.fillRect(image.rect(), glow);
    DrawEmblem(p, QRectF(46, 56, 150, 150));
    p.setPen(Qt::white);
    p.setFont(TitleFont(40));
    p.drawText(QRectF(210, 70, 260, 56), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavrin"));
    p.setPen(QColor(252, 214, 120));
    p.drawText(QRectF(210, 118, 260, 56), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Lumiq"));
    p.setPen(QColor(220, 230, 245));
    p.setFont(TitleFont(14, false));
    p.drawText(QRectF(212, 176, 250, 40), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Repair for damaged LibreOffice Base files"));
    p.fillRect(QRectF(6, 246, 468, 4), kAmber);
    p.setFont(TitleFont(12, false));
    p.setPen(QColor(180, 196, 220));
    p.drawText(QRectF(24, 256, 432, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Version 1.0"));
    p.drawText(QRectF(24, 256, 432, 28), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Starting..."));
    return image;
}

QImage AboutBackground()
{
    QImage image = NewImage(360, 334, Qt::white);
    QPainter p(&image);
    Prepare(p);
    QLinearGradient top(0, 0, 0, 100);
    top.setColorAt(0, QColor(34, 86, 150));
    top.setColorAt(1, kNavy);
    p.fillRect(QRectF(0, 0, 360, 100), top);
    p.fillRect(QRectF(0, 100, 360, 4), kAmber);
    QLinearGradient body(0, 104, 0, 334);
    body.setColorAt(0, QColor(255, 252, 240));
    body.setColorAt(1, kCream);
    p.fillRect(QRectF(0, 104, 360, 230), body);
    DrawEmblem(p, QRectF(16, 14, 72, 72));
    p.setPen(Qt::white);
    p.setFont(TitleFont(26));
    p.drawText(QRectF(100, 16, 250, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavrin Lumiq"));
    p.setPen(QColor(252, 214, 120));
    p.setFont(TitleFont(12, false));
    p.drawText(QRectF(102, 54, 250, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Base file repair"));
    p.setOpacity(0.08);
    DrawEmblem(p, QRectF(250, 226, 100, 100));
    return image.convertToFormat(QImage::Format_RGB888);
}

QImage OkImage()
{
    QImage image = NewImage(20, 20);
    QPainter p(&image);
    Prepare(p);
    DrawCheck(p, QPointF(10, 10), 8.5);
    return image;
}

QImage AppIcon(int size)
{
    QImage image = NewImage(size, size);
    QPainter p(&image);
    Prepare(p);
    const qreal s = size;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.18, s * 0.18);
    QLinearGradient sky(0, 0, 0, s);
    sky.setColorAt(0, QColor(40, 98, 168));
    sky.setColorAt(1, kNavy);
    p.fillPath(tile, sky);
    p.setPen(QPen(kAmber, s * 0.025));
    p.drawPath(tile);
    DrawEmblem(p, QRectF(s * 0.14, s * 0.14, s * 0.72, s * 0.72));
    return image;
}

bool Write(const QImage& image, const QString& path)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrin-artwork <output folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    ok &= Write(Header().convertToFormat(QImage::Format_RGB888), out + QStringLiteral("/bitmap/316.png"));
    ok &= Write(HeaderFiller(), out + QStringLiteral("/bitmap/315.png"));
    ok &= Write(Footer(), out + QStringLiteral("/bitmap/312.png"));
    ok &= Write(FooterLeft().convertToFormat(QImage::Format_RGB888), out + QStringLiteral("/bitmap/311.png"));
    ok &= Write(JobListBackground(), out + QStringLiteral("/bitmap/352.png"));
    ok &= Write(ListImages(), out + QStringLiteral("/bitmap/351.png"));
    ok &= Write(Logo(), out + QStringLiteral("/bitmap/330.png"));
    ok &= Write(Splash().convertToFormat(QImage::Format_RGB888), out + QStringLiteral("/bitmap/319.png"));
    ok &= Write(AboutBackground(), out + QStringLiteral("/bitmap/327.png"));
    ok &= Write(ToolbarStrip(), out + QStringLiteral("/toolbar/338.png"));
    for (int number = 331; number <= 337; ++number)
        ok &= Write(ButtonImage(number), out + QStringLiteral("/png/%1.png").arg(number));
    ok &= Write(OkImage(), out + QStringLiteral("/png/359.png"));
    ok &= Write(AppIcon(256), out + QStringLiteral("/icon/tavrin-lumiq.png"));
    ok &= Write(AppIcon(48), out + QStringLiteral("/icon/tavrin-lumiq-48.png"));
    return ok ? 0 : 1;
}

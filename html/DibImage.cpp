#include "html/DibImage.h"

#include <QPainter>

#include <algorithm>

namespace tavrin {

bool CDibImage::Create(int width, int height, int bitsPerPixel)
{
    m_image = QImage();
    int paletteSize = 0;
    switch (bitsPerPixel) {
    case 1: paletteSize = 2; break;
    case 4: paletteSize = 16; break;
    case 8: paletteSize = 256; break;
    default: return false;
    }
    if (width <= 0 || height <= 0)
        return false;
    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return false;
    image.setColorCount(paletteSize);
    for (int i = 0; i < paletteSize; ++i)
        image.setColor(i, qRgb(0, 0, 0));
    image.fill(0);
    m_image = std::move(image);
    return true;
}

void CDibImage::Clear(std::uint8_t index)
{
    if (!m_image.isNull())
        m_image.fill(index);
}

void CDibImage::SetPaletteIndex(int index, int red, int green, int blue)
{
    if (index < 0 || index >= PaletteSize())
        return;
    m_image.setColor(index, qRgb(red & 0xFF, green & 0xFF, blue & 0xFF));
}

std::uint32_t CDibImage::PaletteColour(int index) const
{
    if (index < 0 || index >= PaletteSize())
        return 0;
    const QRgb c = m_image.color(index);
    return static_cast<std::uint32_t>(qRed(c)) | static_cast<std::uint32_t>(qGreen(c)) << 8
        | static_cast<std::uint32_t>(qBlue(c)) << 16;
}

void CDibImage::SetPixelIndex(int x, int y, std::uint8_t index)
{
    if (PaletteSize() == 0 || x < 0 || y < 0 || x >= Width() || y >= Height())
        return;
    m_image.scanLine(y)[x] = index;
}

std::uint8_t CDibImage::PixelIndex(int x, int y) const
{
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return 0;
    return m_image.constScanLine(y)[x];
}

std::uint8_t* CDibImage::Row(int y)
{
    if (y < 0 || y >= Height())
        return nullptr;
    return m_image.scanLine(y);
}

void CDibImage::BlendPalette(std::uint32_t colour, int percent)
{
    const int p = std::clamp(percent, 0, 100);
    const int r = static_cast<int>(colour & 0xFF);
    const int g = static_cast<int>((colour >> 8) & 0xFF);
    const int b = static_cast<int>((colour >> 16) & 0xFF);
    for (int i = 0; i < PaletteSize(); ++i) {
        const QRgb c = m_image.color(i);
        m_image.setColor(i, qRgb((qRed(c) * (100 - p) + r * p) / 100, (qGreen(c) * (100 - p) + g * p) / 100,
                                 (qBlue(c) * (100 - p) + b * p) / 100));
    }
}

void CDibImage::Draw(QPainter& painter, int x, int y) const
{
    if (!m_image.isNull())
        painter.drawImage(x, y, m_image);
}

} // namespace tavrin

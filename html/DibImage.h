// A small palette bitmap on which the shade, bump, noise and metal fills are computed.
//
// Each pixel is one byte, an index into a palette of up to 256 colours, so an effect is
// computed once as "brightness" bytes and coloured afterwards by choosing the palette.
// Rows are addressed from the top, as everywhere else in Qt.
#pragma once

#include <QImage>

#include <cstdint>

class QPainter;

namespace tavrin {

class CDibImage {
public:
    // Makes a blank image of the given size. Palette sizes follow the bit depth: 2
    // entries for 1 bit, 16 for 4, 256 for 8; every pixel is stored in one byte.
    // Earlier contents are released first. Returns false when the size is not positive,
    // the depth is not one of those, or memory is short.
    bool Create(int width, int height, int bitsPerPixel);

    bool IsNull() const { return m_image.isNull(); }
    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }
    int PaletteSize() const { return static_cast<int>(m_image.colorCount()); }

    // Fills every pixel with the palette index.
    void Clear(std::uint8_t index);

    // Ignored for an index outside the palette.
    void SetPaletteIndex(int index, int red, int green, int blue);
    // The palette entry as 0x00BBGGRR; 0 for an index outside the palette.
    std::uint32_t PaletteColour(int index) const;

    // y is counted from the top; ignored outside the bitmap or without a palette.
    void SetPixelIndex(int x, int y, std::uint8_t index);
    std::uint8_t PixelIndex(int x, int y) const;
    // One row of raw index bytes, y from the top (nullptr outside the image).
    std::uint8_t* Row(int y);

    // Moves every palette entry `percent` (capped at 100) of the way toward `colour`
    // (0x00BBGGRR).
    void BlendPalette(std::uint32_t colour, int percent);

    // Copies the image at its own size to (x, y).
    void Draw(QPainter& painter, int x, int y) const;

    const QImage& Image() const { return m_image; }

private:
    QImage m_image;
};

} // namespace tavrin

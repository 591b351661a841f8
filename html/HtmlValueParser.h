// The value grammars shared by tags, tag attributes and style rules: sizes with units,
// colours, background effect names and the letter codes of "style" attributes.
#pragma once

#include "html/HtmlStyle.h"

#include <QString>

namespace tavrin {

class CHtmlColorTable;

// What a size needs from the device and the current font: ex and em are multiples of
// the current font, physical units go through the device's vertical resolution.
struct HtmlSizeMetrics {
    int xHeight = 8;      // height of the letter "x" in the current font
    int fontHeight = 16;  // height of the current font
    int dpiY = 96;        // device pixels per inch, vertically
};

class CHtmlValueParser {
public:
    // (number * numerator) / denominator rounded half away from zero, as the classic
    // platform helper does; 0 for a zero denominator.
    static int MulDiv(int number, int numerator, int denominator);

    // Reads the text as an unsigned integer in C notation ("0x" hexadecimal, leading 0
    // octal), stopping at the first character that does not belong to the number.
    static std::uint32_t ParseCUnsigned(const QString& text);
    // The leading decimal integer (after optional blanks and sign), 0 when there is none.
    static int LeadingInt(const QString& text);

    // Sizes: "" keeps `current`; "N%" is N percent of `current`; "px", "ex", "em",
    // "in", "cm", "mm", "pt", "pc" units; no unit reads the text in C notation, and in
    // font-size mode 1..7 are the classic HTML sizes 8..36 pixels.
    static int ParseSize(const QString& text, int current, bool fontSizeMode, const HtmlSizeMetrics& metrics);

    // Colours: "" keeps `current`; "#RRGGBB"; a leading digit reads a raw 0x00BBGGRR
    // number; otherwise a named colour, unknown names keeping `current`.
    static HtmlColor ParseColor(const QString& text, HtmlColor current, const CHtmlColorTable& colors);

    // Background effect names to effect ids; "" keeps `current`; anything else is read
    // as a number.
    static int ParseEffect(const QString& text, int current);

    // "left", "center", "right" to the text alignment; anything else keeps `current`.
    static int ParseTextAlign(const QString& text, int current);

    // "baseline", "middle" (or "vcenter"), "top", "bottom" to the vertical alignment;
    // anything else keeps `current`.
    static int ParseVerticalAlign(const QString& text, int current);

    // The letters of a font tag's style attribute: "b", "i", "u", "s", "o" switch on
    // bold, italic, underline, strikeout, overline, or off after a "-".
    static void ParseFontStyleLetters(const QString& text, CHtmlStyle& style);

    // The letters of an image's style: "g" grey, "d" darken, "l" lighten, "s" shadow
    // (only when the renderer draws shadows, i.e. its offsets are not both zero).
    static unsigned ParseImageStyleLetters(const QString& text, bool shadowOffsetsSet, bool gradientShadow);

    static bool IsPercent(const QString& text);
};

} // namespace tavrin

// Everything besides the text and the width that a layout depends on.
#pragma once

#include "html/HtmlStyle.h"

#include <QPixmap>
#include <QString>

#include <vector>

namespace tavrin {

class CHtmlColorTable;
class CHtmlStyleSheet;

struct HtmlLayoutOptions {
    int maxWidth = 0;                     // wrapping width; 0 = no wrapping
    int tabSize = 32;
    bool escapeSequences = true;
    int shadowOffsetX = 4;
    int shadowOffsetY = 4;
    int shadowDarken = 50;                // percent, 0..100
    bool shadowGradient = true;
    int shadowDepthX = 7;
    int shadowDepthY = 7;
    bool enabled = true;
    HtmlColor disabledColor = 0x808080;
    QString resourceRoot = QStringLiteral(":/");
    const std::vector<QPixmap>* imageList = nullptr;
    const CHtmlStyleSheet* sheet = nullptr;
    const CHtmlColorTable* colors = nullptr;
    int dpiY = 96;                        // the paint device's resolution, for pt, in, ...
};

} // namespace tavrin

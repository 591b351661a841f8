// Reads a picture tag ("bmp", "icon", "ilst") into an unplaced HtmlPicture: decodes its
// source, sizes it from its attributes and takes its styles, mask and shadow.
#pragma once

#include "html/HtmlLayoutItem.h"
#include "html/HtmlLayoutOptions.h"
#include "html/HtmlPictureLoader.h"
#include "html/HtmlValueParser.h"

#include <optional>

namespace tavrin {

class CHtmlColorTable;

class CHtmlPictureMaker {
public:
    enum class Kind { Bitmap, Icon, ImageList };

    CHtmlPictureMaker(const HtmlLayoutOptions& options, const CHtmlPictureLoader& loader,
                      const CHtmlColorTable& colors, const HtmlSizeMetrics& metrics)
        : m_options(options), m_loader(loader), m_colors(colors), m_metrics(metrics)
    {
    }

    // The picture with its size in rect and box (at 0, 0); none when the tag shows
    // nothing (no source, a source that does not load, a frame beyond the strip, an
    // empty or oversized picture).
    std::optional<HtmlPicture> Make(const HtmlTag& tag, Kind kind) const;

    // Pictures larger than this are not shown.
    static constexpr int kMaxExtent = 32767;

private:
    bool LoadBitmap(const HtmlTag& tag, HtmlPicture& picture) const;
    bool LoadIcon(const HtmlTag& tag, HtmlPicture& picture) const;
    bool LoadFromImageList(const HtmlTag& tag, HtmlPicture& picture) const;
    bool LoadStripFrame(const HtmlTag& tag, HtmlPicture& picture) const;
    void TakeStyles(const HtmlTag& tag, HtmlPicture& picture) const;
    // A "width" or "height" attribute: pixels, or a percentage of `base` (default 100 %).
    int Extent(const HtmlTag& tag, const QString& attribute, int base) const;

    const HtmlLayoutOptions& m_options;
    const CHtmlPictureLoader& m_loader;
    const CHtmlColorTable& m_colors;
    HtmlSizeMetrics m_metrics;
};

} // namespace tavrin

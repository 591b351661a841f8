// Finds and decodes what picture and string tags name: files, Qt resources (":/bitmap/
// 12.png"), folders standing in for resource libraries, and registered icon handles.
#pragma once

#include "html/HtmlTokenizer.h"

#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <optional>

namespace tavrin {

class CHtmlPictureLoader {
public:
    // `resourceRoot`: where "iddll" sources are found when a tag names no "srcdll".
    explicit CHtmlPictureLoader(QString resourceRoot) : m_resourceRoot(std::move(resourceRoot)) {}

    // The bitmap of a "bmp" or "ilst" tag (idres, file, iddll, else handle).
    std::optional<QImage> LoadBitmap(const HtmlTag& tag) const;
    // The icon of an "icon" tag at the given size.
    std::optional<QPixmap> LoadIcon(const HtmlTag& tag, const QSize& size) const;
    // The text of a "string" tag, line ends removed.
    std::optional<QString> LoadString(const HtmlTag& tag) const;
    // A table's "background" value: "idres:N", "iddll:N" or "file:path" (up to a ";").
    std::optional<QImage> LoadBackground(const QString& spec) const;

    // Whether a tag names a source of its own (not the image list).
    static bool HasSource(const HtmlTag& tag);

private:
    QString ResourcePath(const QString& kind, const QString& id, const QString& root) const;
    // The file or resource a tag names (idres, file, iddll); none when it names none of
    // them (a handle, or nothing).
    std::optional<QString> PicturePath(const HtmlTag& tag, const QString& kind) const;
    static std::optional<QPixmap> PixmapForHandle(const HtmlTag& tag);

    QString m_resourceRoot;
};

} // namespace tavrin

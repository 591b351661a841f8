#include "html/HtmlPictureLoader.h"

#include "html/HtmlValueParser.h"
#include "html/IconHandleRegistry.h"

#include <QFile>
#include <QIcon>

namespace tavrin {

bool CHtmlPictureLoader::HasSource(const HtmlTag& tag)
{
    return tag.Has(QStringLiteral("idres")) || tag.Has(QStringLiteral("file")) || tag.Has(QStringLiteral("iddll")) ||
           tag.Has(QStringLiteral("handle"));
}

QString CHtmlPictureLoader::ResourcePath(const QString& kind, const QString& id, const QString& root) const
{
    if (id.isEmpty())
        return QString();
    QString base = root;
    if (!base.isEmpty() && !base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    const QString number = QString::number(CHtmlValueParser::ParseCUnsigned(id));
    if (kind == QLatin1String("string"))
        return base + kind + QLatin1Char('/') + number + QStringLiteral(".txt");
    for (const char* extension : {".png", ".svg", ".bmp", ".ico"}) {
        const QString path = base + kind + QLatin1Char('/') + number + QLatin1String(extension);
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

std::optional<QString> CHtmlPictureLoader::PicturePath(const HtmlTag& tag, const QString& kind) const
{
    if (tag.Has(QStringLiteral("idres")))
        return ResourcePath(kind, tag.Attribute(QStringLiteral("idres")), QStringLiteral(":/"));
    if (tag.Has(QStringLiteral("file")))
        return tag.Attribute(QStringLiteral("file"));
    if (tag.Has(QStringLiteral("iddll")))
        return ResourcePath(kind, tag.Attribute(QStringLiteral("iddll")),
                            tag.Has(QStringLiteral("srcdll")) ? tag.Attribute(QStringLiteral("srcdll")) : m_resourceRoot);
    return std::nullopt;
}

std::optional<QPixmap> CHtmlPictureLoader::PixmapForHandle(const HtmlTag& tag)
{
    const QPixmap pixmap =
        IconForHandle(static_cast<int>(CHtmlValueParser::ParseCUnsigned(tag.Attribute(QStringLiteral("handle")))));
    if (pixmap.isNull())
        return std::nullopt;
    return pixmap;
}

std::optional<QImage> CHtmlPictureLoader::LoadBitmap(const HtmlTag& tag) const
{
    const std::optional<QString> path = PicturePath(tag, QStringLiteral("bitmap"));
    if (!path) {
        if (!tag.Has(QStringLiteral("handle")))
            return std::nullopt;
        const std::optional<QPixmap> pixmap = PixmapForHandle(tag);
        return pixmap ? std::optional<QImage>(pixmap->toImage()) : std::nullopt;
    }
    if (path->isEmpty())
        return std::nullopt;
    QImage image(*path);
    if (image.isNull())
        return std::nullopt;
    return image;
}

std::optional<QPixmap> CHtmlPictureLoader::LoadIcon(const HtmlTag& tag, const QSize& size) const
{
    const std::optional<QString> path = PicturePath(tag, QStringLiteral("icon"));
    if (!path)
        return tag.Has(QStringLiteral("handle")) ? PixmapForHandle(tag) : std::nullopt;
    if (path->isEmpty())
        return std::nullopt;
    const QIcon icon(*path);
    if (icon.isNull())
        return std::nullopt;
    const QPixmap pixmap = icon.pixmap(size);
    if (pixmap.isNull())
        return std::nullopt;
    return pixmap;
}

std::optional<QString> CHtmlPictureLoader::LoadString(const HtmlTag& tag) const
{
    QString path;
    if (tag.Has(QStringLiteral("idres")))
        path = ResourcePath(QStringLiteral("string"), tag.Attribute(QStringLiteral("idres")), QStringLiteral(":/"));
    else if (tag.Has(QStringLiteral("iddll")))
        path = ResourcePath(QStringLiteral("string"), tag.Attribute(QStringLiteral("iddll")),
                            tag.Has(QStringLiteral("srcdll")) ? tag.Attribute(QStringLiteral("srcdll")) : m_resourceRoot);
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll()).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
}

std::optional<QImage> CHtmlPictureLoader::LoadBackground(const QString& spec) const
{
    const qsizetype colon = spec.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    const QString kind = spec.left(colon);
    QString value = spec.mid(colon + 1);
    const qsizetype semicolon = value.indexOf(QLatin1Char(';'));
    if (semicolon >= 0)
        value.truncate(semicolon);
    QString path;
    if (kind == QLatin1String("idres"))
        path = ResourcePath(QStringLiteral("bitmap"), value, QStringLiteral(":/"));
    else if (kind == QLatin1String("iddll"))
        path = ResourcePath(QStringLiteral("bitmap"), value, m_resourceRoot);
    else if (kind == QLatin1String("file"))
        path = value;
    if (path.isEmpty())
        return std::nullopt;
    QImage image(path);
    if (image.isNull())
        return std::nullopt;
    return image;
}

} // namespace tavrin

// The colour names the markup understands: the CSS extended colour keywords (in the
// renderer's own variant, see the .cpp) and the names of the desktop's system colours.
#pragma once

#include "html/HtmlStyle.h"

#include <QHash>
#include <QString>

#include <optional>

namespace tavrin {

class CHtmlColorTable {
public:
    // Registers every name; the system colours are read once, here, from the
    // application palette where one exists and from a fixed classic palette otherwise.
    CHtmlColorTable();

    // The colour of `name` looked up exactly as given (no case folding), or
    // `defaultColor` for an unknown name.
    HtmlColor GetColorByName(const QString& name, HtmlColor defaultColor) const;
    std::optional<HtmlColor> Find(const QString& name) const;

    // Adds a name or replaces its value.
    void RegisterColor(const QString& name, HtmlColor colour);

    int Count() const { return static_cast<int>(m_colors.size()); }

private:
    QHash<QString, HtmlColor> m_colors;
};

} // namespace tavrin

// The renderer's small style sheet: "selector {property: value; ...}" rules in a CSS-like
// syntax, stored by lower-cased selector with the body kept as text and parsed each
// time the rule is applied.
#pragma once

#include "html/HtmlStyle.h"
#include "html/HtmlValueParser.h"

#include <QMap>
#include <QString>

#include <optional>

namespace tavrin {

class CHtmlColorTable;

// What applying a rule needs besides the rule: the colour names, the measures of the
// current font and device, and the renderer's disabled state (which turns every colour
// into the disabled colour and every background transparent).
struct HtmlApplyContext {
    const CHtmlColorTable* colors = nullptr;
    HtmlSizeMetrics metrics;
    bool disabled = false;
    HtmlColor disabledColor = 0x808080;
};

class CHtmlStyleSheet {
public:
    // Starts with the default sheet.
    CHtmlStyleSheet();

    // The built-in sheet the renderer starts with and falls back to.
    static QString DefaultSheet();

    // Replaces the sheet; a null text installs the default sheet. A selector given
    // twice keeps the later body.
    void SetCssStyles(const QString& text);
    const QString& SourceText() const { return m_source; }

    // The body stored for the selector (looked up in lower case).
    std::optional<QString> GetStyleBody(const QString& selector) const;

    // Applies the selector's rule to the record; an unknown selector changes nothing.
    void ApplyStyle(const QString& selector, CHtmlStyle& style, const HtmlApplyContext& context) const;

    // Applies a rule body ("color:red; font-size:12pt") property by property.
    static void ApplyBody(const QString& body, CHtmlStyle& style, const HtmlApplyContext& context);
    // Applies one property; unknown properties change nothing. `value` is used as given.
    static void ApplyProperty(const QString& property, const QString& value, CHtmlStyle& style,
                              const HtmlApplyContext& context);

    // The weight a "font-weight" value names.
    static int ParseFontWeight(const QString& value);
    // Border width and style, with the rules that keep the two consistent.
    static void SetBorderWidth(const QString& value, CHtmlStyle& style, const HtmlSizeMetrics& metrics);
    static void SetBorderStyle(const QString& value, CHtmlStyle& style);

private:
    QMap<QString, QString> m_rules;
    QString m_source;
};

} // namespace tavrin

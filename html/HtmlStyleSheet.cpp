#include "html/HtmlStyleSheet.h"

#include "html/HtmlColorTable.h"

#include <QStringList>

namespace tavrin {
namespace {

bool StartsName(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('.');
}

// Words of a "text-decoration" value, separated by blanks or commas.
QStringList DecorationWords(const QString& value)
{
    QStringList words;
    QString word;
    for (const QChar c : value) {
        if (c == QLatin1Char(' ') || c == QLatin1Char(',') || c == QLatin1Char('\t')) {
            if (!word.isEmpty())
                words << word;
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        words << word;
    return words;
}

HtmlColor RuleColor(const QString& value, HtmlColor current, const HtmlApplyContext& context)
{
    if (context.disabled)
        return context.disabledColor;
    if (!context.colors)
        return current;
    return CHtmlValueParser::ParseColor(value, current, *context.colors);
}

} // namespace

CHtmlStyleSheet::CHtmlStyleSheet()
{
    SetCssStyles(QString());
}

QString CHtmlStyleSheet::DefaultSheet()
{
    return QStringLiteral(
        "body {font-size: 10pt; color:black; font-family:Verdana}\r\n"
        "p {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
        "h1 {font-size: 14pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
        "h2 {font-size: 13pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
        "h3 {font-size: 12pt; color:#ff9900; font-family:Arial; font-weight:bold}\r\n"
        "h4 {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
        "h5 {font-size: 9pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
        "h6 {font-size: 65%; color:#626262; font-family:Verdana; font-weight:normal}\r\n"
        "pre {font-size: 9pt; font-family:\"Courier\"; background-color:#fbedbb}\r\n"
        "code {color:#990000; font-family:Arial}\r\n"
        "a:link {text-decoration:none; color:blue}\r\n"
        "a:hover {text-decoration:underline; color:blue}\r\n"
        "sub {font-size:65%; vertical-align:bottom}\r\n"
        "sup {font-size:65%; vertical-align:top}\r\n"
        "big {font-size:125%}\r\n"
        "small {font-size:75%}\r\n"
        ".cpp-comment {color:green; font-style:italic}\r\n");
}

void CHtmlStyleSheet::SetCssStyles(const QString& text)
{
    m_source = text.isNull() ? DefaultSheet() : text;
    m_rules.clear();

    const QString& sheet = m_source;
    const qsizetype n = sheet.size();
    qsizetype pos = 0;
    while (pos < n) {
        while (pos < n && !StartsName(sheet[pos]))
            ++pos;
        if (pos >= n)
            break;
        const qsizetype selectorStart = pos;
        while (pos < n && sheet[pos] != QLatin1Char(' ') && sheet[pos] != QLatin1Char('{'))
            ++pos;
        const QString selector = sheet.mid(selectorStart, pos - selectorStart).toLower();
        const qsizetype open = sheet.indexOf(QLatin1Char('{'), pos);
        if (open < 0)
            break;
        qsizetype close = sheet.indexOf(QLatin1Char('}'), open + 1);
        if (close < 0)
            close = n;
        const QString body = sheet.mid(open + 1, close - open - 1);
        pos = close + 1;
        if (selector.isEmpty() || body.trimmed().isEmpty())
            continue;
        m_rules.insert(selector, body);
    }
}

std::optional<QString> CHtmlStyleSheet::GetStyleBody(const QString& selector) const
{
    const auto it = m_rules.constFind(selector.toLower());
    if (it == m_rules.constEnd())
        return std::nullopt;
    return *it;
}

void CHtmlStyleSheet::ApplyStyle(const QString& selector, CHtmlStyle& style, const HtmlApplyContext& context) const
{
    if (const std::optional<QString> body = GetStyleBody(selector))
        ApplyBody(*body, style, context);
}

void CHtmlStyleSheet::ApplyBody(const QString& bodyText, CHtmlStyle& style, const HtmlApplyContext& context)
{
    const QString body = bodyText.toLower();
    const qsizetype n = body.size();
    qsizetype pos = 0;
    while (pos < n) {
        while (pos < n && !StartsName(body[pos]))
            ++pos;
        if (pos >= n)
            break;
        const qsizetype nameStart = pos;
        while (pos < n && body[pos] != QLatin1Char(' ') && body[pos] != QLatin1Char(':') &&
               body[pos] != QLatin1Char(';'))
            ++pos;
        const QString name = body.mid(nameStart, pos - nameStart);

        // A declaration without a colon is skipped whole, so it cannot swallow the
        // value of the next one.
        qsizetype end = body.indexOf(QLatin1Char(';'), pos);
        if (end < 0)
            end = n;
        const qsizetype colon = body.indexOf(QLatin1Char(':'), pos);
        if (colon < 0 || colon > end) {
            pos = end + 1;
            continue;
        }
        pos = colon + 1;
        while (pos < n && body[pos] == QLatin1Char(' '))
            ++pos;

        QString value;
        if (pos < n && body[pos] == QLatin1Char('"')) {
            qsizetype quote = body.indexOf(QLatin1Char('"'), pos + 1);
            if (quote < 0)
                quote = n;
            value = body.mid(pos + 1, quote - pos - 1);
            end = body.indexOf(QLatin1Char(';'), quote);
            if (end < 0)
                end = n;
        } else {
            end = body.indexOf(QLatin1Char(';'), pos);
            if (end < 0)
                end = n;
            value = body.mid(pos, end - pos);
            while (!value.isEmpty() && value.back().isSpace())
                value.chop(1);
        }
        pos = end + 1;
        ApplyProperty(name, value, style, context);
    }
}

int CHtmlStyleSheet::ParseFontWeight(const QString& value)
{
    if (value.isEmpty() || value == QLatin1String("normal"))
        return 400;
    if (value == QLatin1String("bold"))
        return 700;
    if (value == QLatin1String("bolder"))
        return 900;
    if (value == QLatin1String("lighter"))
        return 100;
    return CHtmlValueParser::LeadingInt(value);
}

void CHtmlStyleSheet::SetBorderWidth(const QString& value, CHtmlStyle& style, const HtmlSizeMetrics& metrics)
{
    if (value == QLatin1String("thin"))
        style.borderWidth = CHtmlValueParser::MulDiv(style.borderWidth, 75, 100);
    else if (value == QLatin1String("thick"))
        style.borderWidth = CHtmlValueParser::MulDiv(style.borderWidth, 125, 100);
    else if (value != QLatin1String("medium"))
        style.borderWidth = CHtmlValueParser::ParseSize(value, style.borderWidth, false, metrics);

    if (style.borderWidth == 0)
        style.borderStyle = kBorderNone;
    else if (style.borderStyle == kBorderNone)
        style.borderStyle = kBorderSolid;
}

void CHtmlStyleSheet::SetBorderStyle(const QString& value, CHtmlStyle& style)
{
    if (value.isEmpty() || value == QLatin1String("none"))
        style.borderStyle = kBorderNone;
    else if (value == QLatin1String("solid"))
        style.borderStyle = kBorderSolid;
    else if (value == QLatin1String("dotted"))
        style.borderStyle = kBorderDotted;
    else if (value == QLatin1String("dashed"))
        style.borderStyle = kBorderDashed;
    else if (value == QLatin1String("double"))
        style.borderStyle = kBorderDouble;

    if (style.borderStyle != kBorderNone && style.borderWidth == 0)
        style.borderWidth = 1;
}

void CHtmlStyleSheet::ApplyProperty(const QString& property, const QString& value, CHtmlStyle& style,
                                    const HtmlApplyContext& context)
{
    const HtmlSizeMetrics& metrics = context.metrics;
    if (property == QLatin1String("font-size")) {
        style.fontSize = CHtmlValueParser::ParseSize(value, style.fontSize, true, metrics);
    } else if (property == QLatin1String("font-family")) {
        if (!value.isEmpty())
            style.fontFamily = value;
    } else if (property == QLatin1String("font-style")) {
        if (value.isEmpty() || value == QLatin1String("normal"))
            style.italic = false;
        else if (value == QLatin1String("italic") || value == QLatin1String("oblique"))
            style.italic = true;
    } else if (property == QLatin1String("font-weight")) {
        style.fontWeight = ParseFontWeight(value);
    } else if (property == QLatin1String("text-align")) {
        // An empty rule sets the default back.
        style.textAlign = CHtmlValueParser::ParseTextAlign(value.isEmpty() ? QStringLiteral("left") : value, style.textAlign);
    } else if (property == QLatin1String("text-transform")) {
        if (value.isEmpty() || value == QLatin1String("none"))
            style.textTransform = kTransformNone;
        else if (value == QLatin1String("uppercase"))
            style.textTransform = kTransformUpper;
        else if (value == QLatin1String("lowercase"))
            style.textTransform = kTransformLower;
        else if (value == QLatin1String("capitalize"))
            style.textTransform = kTransformCapitalize;
    } else if (property == QLatin1String("color")) {
        style.textColor = RuleColor(value, style.textColor, context);
    } else if (property == QLatin1String("background-color")) {
        if (value.isEmpty() || value == QLatin1String("transparent") || context.disabled) {
            style.backMode = kBackTransparent;
        } else {
            style.backMode = kBackOpaque;
            style.backColor = RuleColor(value, style.backColor, context);
        }
    } else if (property == QLatin1String("text-decoration")) {
        QStringList words = DecorationWords(value);
        if (words.isEmpty())
            words << QStringLiteral("none");
        for (const QString& word : words) {
            if (word == QLatin1String("none"))
                style.underline = style.strikeout = style.overline = false;
            else if (word == QLatin1String("underline"))
                style.underline = true;
            else if (word == QLatin1String("line-through"))
                style.strikeout = true;
            else if (word == QLatin1String("overline"))
                style.overline = true;
        }
    } else if (property == QLatin1String("vertical-align")) {
        style.verticalAlign =
            CHtmlValueParser::ParseVerticalAlign(value.isEmpty() ? QStringLiteral("baseline") : value, style.verticalAlign);
    } else if (property == QLatin1String("border-color")) {
        style.borderColorLight = style.borderColorDark = RuleColor(value, style.borderColorLight, context);
    } else if (property == QLatin1String("border-width") || property == QLatin1String("size")) {
        SetBorderWidth(value, style, metrics);
    } else if (property == QLatin1String("border-style")) {
        SetBorderStyle(value, style);
    } else if (property == QLatin1String("margin")) {
        style.margin = CHtmlValueParser::ParseSize(value, style.margin, false, metrics);
    } else if (property == QLatin1String("padding")) {
        style.padding = CHtmlValueParser::ParseSize(value, style.padding, false, metrics);
    }
}

} // namespace tavrin

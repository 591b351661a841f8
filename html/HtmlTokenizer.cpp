#include "html/HtmlTokenizer.h"

#include "html/HtmlValueParser.h"

namespace tavrin {

QString HtmlTag::Attribute(const QString& attributeName, bool* present) const
{
    for (const HtmlAttribute& attribute : attributes) {
        if (attribute.first == attributeName) {
            if (present)
                *present = true;
            return attribute.second;
        }
    }
    if (present)
        *present = false;
    return QString();
}

bool HtmlTag::Has(const QString& attributeName) const
{
    bool present = false;
    Attribute(attributeName, &present);
    return present;
}

int HtmlTag::Count() const
{
    if (!rest.startsWith(QLatin1Char('=')))
        return 1;
    return std::max(1, CHtmlValueParser::LeadingInt(rest.mid(1).trimmed()));
}

CHtmlTokenizer::CHtmlTokenizer(const QString& text) : m_text(text) {}

CHtmlTokenizer::Kind CHtmlTokenizer::Next()
{
    const qsizetype n = m_text.size();
    m_tokenStart = m_pos;
    if (m_pos >= n)
        return Kind::End;

    if (m_text[m_pos] == QLatin1Char('<') && !(m_pos + 1 < n && m_text[m_pos + 1] == QLatin1Char('<'))) {
        const qsizetype close = m_text.indexOf(QLatin1Char('>'), m_pos + 1);
        if (close >= 0) {
            m_tag = ParseTag(m_text.mid(m_pos + 1, close - m_pos - 1));
            m_pos = close + 1;
            return Kind::Tag;
        }
        // Never closed: the "<" goes, the rest is plain text.
        m_tokenText = m_text.mid(m_pos + 1);
        m_pos = n;
        return m_tokenText.isEmpty() ? Kind::End : Kind::Text;
    }

    m_tokenText.clear();
    while (m_pos < n) {
        const QChar c = m_text[m_pos];
        if (c == QLatin1Char('<')) {
            if (m_pos + 1 < n && m_text[m_pos + 1] == QLatin1Char('<')) {
                m_tokenText += c;
                m_pos += 2;
                continue;
            }
            break;
        }
        m_tokenText += c;
        ++m_pos;
    }
    return Kind::Text;
}

HtmlTag CHtmlTokenizer::ParseTag(const QString& inside)
{
    HtmlTag tag;
    qsizetype end = 0;
    while (end < inside.size() && inside[end] != QLatin1Char(' ') && inside[end] != QLatin1Char('='))
        ++end;
    tag.name = inside.left(end);
    if (tag.name.startsWith(QLatin1Char('/'))) {
        tag.closing = true;
        tag.name.remove(0, 1);
    }
    qsizetype restStart = end;
    while (restStart < inside.size() && inside[restStart] == QLatin1Char(' '))
        ++restStart;
    tag.rest = inside.mid(restStart);
    tag.attributes = ParseAttributes(tag.rest);
    return tag;
}

QList<HtmlAttribute> CHtmlTokenizer::ParseAttributes(const QString& rest)
{
    QList<HtmlAttribute> attributes;
    const qsizetype n = rest.size();
    qsizetype pos = 0;
    while (pos < n) {
        while (pos < n && rest[pos] == QLatin1Char(' '))
            ++pos;
        if (pos >= n)
            break;
        const qsizetype nameStart = pos;
        while (pos < n && rest[pos] != QLatin1Char(' ') && rest[pos] != QLatin1Char('='))
            ++pos;
        const QString name = rest.mid(nameStart, pos - nameStart);
        QString value;
        if (pos < n && rest[pos] == QLatin1Char('=')) {
            ++pos;
            if (pos < n && (rest[pos] == QLatin1Char('"') || rest[pos] == QLatin1Char('\''))) {
                const QChar quote = rest[pos];
                qsizetype close = rest.indexOf(quote, pos + 1);
                if (close < 0)
                    close = n;
                value = rest.mid(pos + 1, close - pos - 1);
                pos = close + 1;
            } else {
                const qsizetype valueStart = pos;
                while (pos < n && rest[pos] != QLatin1Char(' '))
                    ++pos;
                value = rest.mid(valueStart, pos - valueStart);
            }
        }
        if (!name.isEmpty())
            attributes.append({name, value});
    }
    return attributes;
}

std::vector<HtmlBlock> CHtmlTokenizer::SplitBlocks(const QString& text)
{
    std::vector<HtmlBlock> blocks;
    CHtmlTokenizer tokens(text);
    qsizetype flowStart = 0;
    qsizetype tableStart = -1;
    int depth = 0;
    for (Kind kind = tokens.Next(); kind != Kind::End; kind = tokens.Next()) {
        if (kind != Kind::Tag || tokens.Tag().name != QLatin1String("table"))
            continue;
        if (!tokens.Tag().closing) {
            if (depth++ == 0) {
                tableStart = tokens.TokenStart();
                if (tableStart > flowStart)
                    blocks.push_back({false, text.mid(flowStart, tableStart - flowStart)});
            }
        } else if (depth > 0 && --depth == 0) {
            blocks.push_back({true, text.mid(tableStart, tokens.Position() - tableStart)});
            flowStart = tokens.Position();
        }
    }
    if (depth > 0)
        blocks.push_back({true, text.mid(tableStart)});
    else if (flowStart < text.size())
        blocks.push_back({false, text.mid(flowStart)});
    return blocks;
}

} // namespace tavrin

// Cuts the renderer's markup into text runs and tags.
//
// Outside a tag text runs up to the next "<"; "<<" stands for a literal "<". A tag runs
// from "<" to the next ">"; its name ends at the first blank or "=", a leading "/"
// makes it a closing tag, and the rest holds name=value attributes. Names are compared
// exactly as written, so markup is lower case. A "<" that is never closed is dropped
// and what follows it is plain text.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <vector>

namespace tavrin {

using HtmlAttribute = QPair<QString, QString>;

struct HtmlTag {
    QString name;          // without the closing "/"
    bool closing = false;
    QString rest;          // what follows the name, leading blanks removed
    QList<HtmlAttribute> attributes;

    // The value of the first attribute of that name; `present` tells whether it exists.
    QString Attribute(const QString& attributeName, bool* present = nullptr) const;
    bool Has(const QString& attributeName) const;
    // The count of "<br=2>" and "<t=3>": the number after "=", at least 1.
    int Count() const;
};

// One piece of flow text or of a table, in document order.
struct HtmlBlock {
    bool isTable = false;
    QString text;          // a table runs from "<table" to its matching "</table>"
};

class CHtmlTokenizer {
public:
    enum class Kind { End, Text, Tag };

    explicit CHtmlTokenizer(const QString& text);

    // Reads the next token; Text() or Tag() hold it afterwards.
    Kind Next();
    const QString& Text() const { return m_tokenText; }
    const HtmlTag& Tag() const { return m_tag; }
    // Where the last token started and where reading continues.
    qsizetype TokenStart() const { return m_tokenStart; }
    qsizetype Position() const { return m_pos; }

    // The tag inside "<" and ">".
    static HtmlTag ParseTag(const QString& inside);
    static QList<HtmlAttribute> ParseAttributes(const QString& rest);

    // Splits text into flow parts and top-level tables; nested tables stay inside
    // their parent, and a table without "</table>" takes the rest of the text.
    static std::vector<HtmlBlock> SplitBlocks(const QString& text);

private:
    const QString& m_text;
    qsizetype m_pos = 0;
    qsizetype m_tokenStart = 0;
    QString m_tokenText;
    HtmlTag m_tag;
};

} // namespace tavrin

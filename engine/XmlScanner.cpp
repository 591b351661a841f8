#include "engine/XmlScanner.h"

#include <algorithm>
#include <vector>

#include "engine/XmlText.h"

namespace tavrin {
namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameChar(char c)
{
    return !IsSpace(c) && c != '/' && c != '>' && c != '=' && c != '<' && c != '"' && c != '\'' && c != '\0';
}

class Scanner {
public:
    Scanner(std::string_view text, XmlListener* listener) : text_(text), listener_(listener) {}

    bool Scan()
    {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            pos_ = 3;
        std::vector<std::string_view> open;
        bool rootSeen = false;
        while (pos_ < text_.size()) {
            if (text_[pos_] != '<') {
                const auto next = std::min(text_.find('<', pos_), text_.size());
                const std::string_view chunk = text_.substr(pos_, next - pos_);
                std::string decoded;
                if (!DecodeXmlEntities(chunk, decoded))
                    return false;
                if (open.empty() && !std::all_of(chunk.begin(), chunk.end(), IsSpace))
                    return false; // text outside the root element
                pos_ = next;
                continue;
            }
            const std::string_view rest = text_.substr(pos_);
            if (rest.substr(0, 2) == "<?") {
                if (!SkipPast("?>"))
                    return false;
            } else if (rest.substr(0, 4) == "<!--") {
                if (!SkipPast("-->"))
                    return false;
            } else if (rest.substr(0, 9) == "<![CDATA[") {
                if (open.empty() || !SkipPast("]]>"))
                    return false;
            } else if (rest.substr(0, 9) == "<!DOCTYPE") {
                if (rootSeen || !SkipDoctype())
                    return false;
            } else if (rest.substr(0, 2) == "</") {
                const std::size_t begin = pos_;
                pos_ += 2;
                const std::string_view name = ReadName();
                SkipSpace();
                if (name.empty() || open.empty() || open.back() != name || !Expect('>'))
                    return false;
                open.pop_back();
                if (listener_ != nullptr)
                    listener_->End(begin, pos_);
            } else {
                if (rootSeen && open.empty())
                    return false; // a second root element
                const std::size_t begin = pos_;
                ++pos_;
                const std::string_view name = ReadName();
                if (name.empty())
                    return false;
                rootSeen = true;
                std::map<std::string, std::string> attributes;
                bool empty = false;
                if (!ReadAttributes(attributes, empty))
                    return false;
                if (listener_ != nullptr && !listener_->Start(name, attributes, begin, pos_, empty))
                    return false;
                if (!empty)
                    open.push_back(name);
                else if (listener_ != nullptr)
                    listener_->End(pos_, pos_);
            }
        }
        return rootSeen && open.empty();
    }

private:
    bool SkipPast(std::string_view marker)
    {
        const auto found = text_.find(marker, pos_);
        if (found == std::string_view::npos)
            return false;
        pos_ = found + marker.size();
        return true;
    }

    bool SkipDoctype()
    {
        const auto close = text_.find('>', pos_);
        const auto subset = text_.find('[', pos_);
        if (close == std::string_view::npos)
            return false;
        if (subset != std::string_view::npos && subset < close)
            return SkipPast("]>");
        pos_ = close + 1;
        return true;
    }

    void SkipSpace()
    {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
    }

    bool Expect(char c)
    {
        if (pos_ >= text_.size() || text_[pos_] != c)
            return false;
        ++pos_;
        return true;
    }

    std::string_view ReadName()
    {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && IsNameChar(text_[pos_]))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    bool ReadAttributes(std::map<std::string, std::string>& attributes, bool& empty)
    {
        for (;;) {
            const std::size_t before = pos_;
            SkipSpace();
            if (pos_ >= text_.size())
                return false;
            if (text_[pos_] == '>') {
                ++pos_;
                return true;
            }
            if (text_.substr(pos_, 2) == "/>") {
                pos_ += 2;
                empty = true;
                return true;
            }
            if (pos_ == before)
                return false; // attributes must be separated by white space
            const std::string name(ReadName());
            SkipSpace();
            if (name.empty() || !Expect('='))
                return false;
            SkipSpace();
            if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\''))
                return false;
            const char quote = text_[pos_++];
            const auto close = text_.find(quote, pos_);
            if (close == std::string_view::npos)
                return false;
            const std::string_view raw = text_.substr(pos_, close - pos_);
            pos_ = close + 1;
            std::string value;
            if (raw.find('<') != std::string_view::npos || !DecodeXmlEntities(raw, value))
                return false;
            if (!attributes.emplace(name, std::move(value)).second)
                return false; // the same attribute twice
        }
    }

    std::string_view text_;
    XmlListener* listener_;
    std::size_t pos_ = 0;
};

} // namespace

bool ScanXml(std::string_view text, XmlListener* listener)
{
    return Scanner(text, listener).Scan();
}

std::string_view XmlLocalName(std::string_view qualified)
{
    const auto colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

} // namespace tavrin

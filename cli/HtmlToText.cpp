#include "cli/HtmlToText.h"

#include <cctype>
#include <utility>

namespace tavrin::cli {

std::string HtmlToText(const std::string& html)
{
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&apos;", "'"}, {"&nbsp;", " "},
    };
    std::string text;
    for (std::size_t i = 0; i < html.size();) {
        if (html[i] == '<') {
            const auto end = html.find('>', i);
            if (end == std::string::npos) {
                text += html.substr(i);
                break;
            }
            std::string tag = html.substr(i + 1, end - i - 1);
            for (char& c : tag)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (tag == "br" || tag == "br/" || tag == "br /" || tag == "p" || tag == "/p")
                text += '\n';
            i = end + 1;
            continue;
        }
        if (html[i] == '&') {
            bool decoded = false;
            for (const auto& [entity, character] : kEntities) {
                if (html.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                    text += character;
                    i += std::char_traits<char>::length(entity);
                    decoded = true;
                    break;
                }
            }
            if (decoded)
                continue;
        }
        text += html[i++];
    }
    return text;
}

} // namespace tavrin::cli

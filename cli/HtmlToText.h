// Message texts are HTML; a terminal gets them as plain text.
#pragma once

#include <string>

namespace tavrin::cli {

// Drops the tags, turns <br> into a line break and decodes the common entities.
std::string HtmlToText(const std::string& html);

} // namespace tavrin::cli

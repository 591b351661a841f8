// Where the message box's Help button finds the program's help document. The program
// tells it (the document is installed apart from the program); left alone it looks
// beside the program for an HTML file named after it.
#pragma once

#include <QString>

#include <functional>

namespace tavrin {

using HelpDocumentLocator = std::function<QString()>;

// Replaces the locator; an empty function restores the default. Returns the previous one.
HelpDocumentLocator SetHelpDocumentLocator(HelpDocumentLocator locator);

// The help document's path; empty when there is none.
QString HelpDocumentPath();

} // namespace tavrin

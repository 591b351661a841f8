// Finds and opens the program's help document.
#pragma once

#include <QString>
#include <QStringList>

namespace tavrin::app {

// Where the help document is looked for, in order: next to the program (a build), then
// in the data folder of the installation the program belongs to.
QStringList HelpDocumentCandidates();
// The first candidate that exists; empty when there is none.
QString FindHelpDocument();
// Opens a local document or a web address in the user's default program. Returns
// whether something accepted it.
bool OpenInDefaultProgram(const QString& pathOrUrl);

} // namespace tavrin::app

// Opens link targets (web addresses, local folders and files) in the desktop.
//
// Everything that opens a link goes through here so that tests can replace the desktop
// with a recorder and check what would have been opened.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace tavrin {

using DesktopOpenFunction = std::function<bool(const QUrl&)>;

// Turns a link target into a URL: anything with a scheme stays as it is, a path
// (absolute, or "~/..." after expansion) becomes a file URL.
QUrl LinkTargetToUrl(const QString& target);

// Opens the URL through the current opener (QDesktopServices::openUrl by default).
// Returns whether the desktop accepted it.
bool OpenInDesktop(const QUrl& url);

// Replaces the opener; an empty function restores the default. Returns the previous one.
DesktopOpenFunction SetDesktopOpener(DesktopOpenFunction opener);

} // namespace tavrin

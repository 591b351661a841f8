// The few places where the work view and the frame reach the user's desktop: message
// boxes, the open-file dialog and the folder chooser.
//
// Each goes through a replaceable function so that tests can answer the dialogs
// themselves and still run the same command code the buttons run.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace tavrin::view {

// Returns the pressed button's id (1 OK, 6 Yes, 7 No, 2 Escape).
using MessageBoxFunction =
    std::function<int(QWidget* owner, const QString& html, const QString& caption, unsigned style)>;
// Returns the chosen files in the dialog's order; an empty list when cancelled.
using OpenFilesFunction = std::function<QStringList(QWidget* owner)>;
// Returns the chosen folder; an empty text when cancelled.
using ChooseFolderFunction = std::function<QString(QWidget* owner, const QString& title)>;

// Each setter returns the previous function; an empty function restores the desktop's.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function);
OpenFilesFunction SetOpenFilesFunction(OpenFilesFunction function);
ChooseFolderFunction SetChooseFolderFunction(ChooseFolderFunction function);

// Shows an HTML message box with the program's caption.
int ShowMessage(QWidget* owner, const QString& html, unsigned style);
int ShowMessageWithCaption(QWidget* owner, const QString& html, const QString& caption, unsigned style);
QStringList ChooseFilesToOpen(QWidget* owner);
QString ChooseFolder(QWidget* owner, const QString& title);

} // namespace tavrin::view

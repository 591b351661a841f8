#include "view/ViewSeams.h"

#include "html/HtmlMessageBox.h"
#include "view/ViewTexts.h"

#include <QFileDialog>

#include <utility>

namespace tavrin::view {
namespace {

int DesktopMessageBox(QWidget* owner, const QString& html, const QString& caption, unsigned style)
{
    return HtmlMessageBox(owner, html, caption, style);
}

QStringList DesktopOpenFiles(QWidget* owner)
{
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("odb"));
    dialog.setNameFilter(QString::fromUtf8(kOpenFilter));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString DesktopChooseFolder(QWidget* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(owner, title);
}

MessageBoxFunction& CurrentMessageBox()
{
    static MessageBoxFunction function = DesktopMessageBox;
    return function;
}

OpenFilesFunction& CurrentOpenFiles()
{
    static OpenFilesFunction function = DesktopOpenFiles;
    return function;
}

ChooseFolderFunction& CurrentChooseFolder()
{
    static ChooseFolderFunction function = DesktopChooseFolder;
    return function;
}

template <typename Function>
Function Replace(Function& current, Function replacement, Function fallback)
{
    Function previous = std::move(current);
    current = replacement ? std::move(replacement) : std::move(fallback);
    return previous;
}

} // namespace

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function)
{
    return Replace(CurrentMessageBox(), std::move(function), MessageBoxFunction(DesktopMessageBox));
}

OpenFilesFunction SetOpenFilesFunction(OpenFilesFunction function)
{
    return Replace(CurrentOpenFiles(), std::move(function), OpenFilesFunction(DesktopOpenFiles));
}

ChooseFolderFunction SetChooseFolderFunction(ChooseFolderFunction function)
{
    return Replace(CurrentChooseFolder(), std::move(function), ChooseFolderFunction(DesktopChooseFolder));
}

int ShowMessage(QWidget* owner, const QString& html, unsigned style)
{
    return CurrentMessageBox()(owner, html, QString::fromUtf8(kCaption), style);
}

int ShowMessageWithCaption(QWidget* owner, const QString& html, const QString& caption, unsigned style)
{
    return CurrentMessageBox()(owner, html, caption, style);
}

QStringList ChooseFilesToOpen(QWidget* owner)
{
    return CurrentOpenFiles()(owner);
}

QString ChooseFolder(QWidget* owner, const QString& title)
{
    return CurrentChooseFolder()(owner, title);
}

} // namespace tavrin::view

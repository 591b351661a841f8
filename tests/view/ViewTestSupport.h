// Shared pieces of the work view tests: a host standing in for the main frame, the
// desktop dialogs answered by the test, and a private Workspace per test.
#pragma once

#include "engine/Workspace.h"
#include "view/QuenmarView.h"
#include "view/ViewHost.h"
#include "view/ViewSeams.h"

#include <QFile>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <vector>

namespace tavrin::view::testing {

class RecordingHost : public ViewHost {
public:
    std::atomic<int>& RunningFlag() override { return running; }
    void ShowStatusText(const QString& text) override { status = text; }
    void CloseFromView() override { closeRequests.push_back(true); }

    std::atomic<int> running{0};
    QString status;
    std::vector<bool> closeRequests;
};

struct ShownMessage {
    QWidget* owner;
    QString html;
    QString caption;
    unsigned style;
};

// Answers every desktop dialog for the duration of a test and restores the real ones.
class DesktopStandIn {
public:
    DesktopStandIn()
    {
        SetMessageBoxFunction([this](QWidget* owner, const QString& html, const QString& caption, unsigned style) {
            messages.push_back({owner, html, caption, style});
            return (style & 0xF) == 0x4 ? answerYesNo : 1;
        });
        SetOpenFilesFunction([this](QWidget*) { return std::exchange(filesToOpen, {}); });
        SetChooseFolderFunction([this](QWidget*, const QString&) { return folderToChoose; });
    }
    ~DesktopStandIn()
    {
        SetMessageBoxFunction({});
        SetOpenFilesFunction({});
        SetChooseFolderFunction({});
    }
    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const ShownMessage& message : messages)
            texts << message.html;
        return texts;
    }

    std::vector<ShownMessage> messages;
    QStringList filesToOpen;
    QString folderToChoose;
    int answerYesNo = 6;
};

// A Workspace of the test's own, so tests never meet each other's package folders.
class PrivateWorkspace {
public:
    PrivateWorkspace() { SetWorkspaceRootOverride(dir.filePath(QStringLiteral("BsTmp")).toStdString()); }
    ~PrivateWorkspace() { SetWorkspaceRootOverride({}); }
    QString Root() const { return dir.filePath(QStringLiteral("BsTmp")); }

private:
    QTemporaryDir dir;
};

// Copies fixture packages into a folder of the test and returns their paths in order.
inline QStringList CopyFixtures(const QTemporaryDir& into, const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names) {
        const QString target = into.filePath(name);
        QFile::copy(QStringLiteral(TAVRIN_TEST_DATA_DIR "/fixtures/") + name, target);
        paths << target;
    }
    return paths;
}

// Waits for the running batch of `view` to end; false when it did not within a minute.
inline bool WaitForBatch(CQuenmarView& view, QSignalSpy& finished, int alreadySeen)
{
    while (finished.count() <= alreadySeen) {
        if (!finished.wait(60000))
            return false;
    }
    return !view.BatchRunning();
}

} // namespace tavrin::view::testing

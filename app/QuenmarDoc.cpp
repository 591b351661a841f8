#include "app/QuenmarDoc.h"

#include "app/CommandIds.h"
#include "app/MainFrame.h"

#include <QAction>
#include <QKeySequence>

namespace tavrin::app {

CQuenmarDoc::CQuenmarDoc(CMainFrame* frame)
    : QObject(frame)
    , frame_(frame)
{
    auto make = [this](int id, const QKeySequence& keys) {
        auto* action = new QAction(frame_);
        action->setData(id);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        frame_->addAction(action);
        return action;
    };
    fileNew_ = make(ID_FILE_NEW, QKeySequence(Qt::CTRL | Qt::Key_N));
    fileOpen_ = make(ID_FILE_OPEN, QKeySequence(Qt::CTRL | Qt::Key_O));
    fileSave_ = make(ID_FILE_SAVE, QKeySequence(Qt::CTRL | Qt::Key_S));
}

void CQuenmarDoc::OnCommand(int id)
{
    switch (id) {
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
        frame_->ExecuteCommand(ID_FILE_SELECT_FILES);
        break;
    case ID_FILE_SAVE:
        frame_->ExecuteCommand(ID_FILE_SAVE_FILES);
        break;
    default:
        break;
    }
}

QAction* CQuenmarDoc::Shortcut(int id) const
{
    switch (id) {
    case ID_FILE_NEW: return fileNew_;
    case ID_FILE_OPEN: return fileOpen_;
    case ID_FILE_SAVE: return fileSave_;
    default: return nullptr;
    }
}

} // namespace tavrin::app

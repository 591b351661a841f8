// The document of the single window. It holds no data; it only owns the three
// keyboard commands that lead to the frame's Select files and Save.
#pragma once

#include <QObject>

class QAction;

namespace tavrin::app {

class CMainFrame;

class CQuenmarDoc : public QObject {
    Q_OBJECT
public:
    explicit CQuenmarDoc(CMainFrame* frame);

    // Ctrl+N (new), Ctrl+O (open) and Ctrl+S (save) by their command numbers.
    void OnCommand(int id);
    QAction* Shortcut(int id) const;

private:
    CMainFrame* frame_;
    QAction* fileNew_ = nullptr;
    QAction* fileOpen_ = nullptr;
    QAction* fileSave_ = nullptr;
};

} // namespace tavrin::app

#include "app/MainFrame.h"

#include "app/AboutDlg.h"
#include "app/ApplicationLook.h"
#include "app/CommandIds.h"
#include "app/HelpDocument.h"
#include "app/LockKeyState.h"
#include "app/QuenmarDoc.h"
#include "controls/SplashWnd.h"
#include "html/HelpDocumentLocation.h"
#include "view/QuenmarView.h"
#include "view/ViewSeams.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <utility>

namespace tavrin::app {
namespace {

constexpr unsigned kMbOk = 0x40;
constexpr unsigned kMbYesNo = 0x24;
constexpr int kIdYes = 6;

QIcon ToolbarImage(int index)
{
    static const QPixmap strip(QStringLiteral(":/toolbar/338.png"));
    if (strip.isNull() || index < 0)
        return {};
    return QIcon(strip.copy(index * 48, 0, 48, 48));
}

} // namespace

CMainFrame::CMainFrame(Options options, QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QString::fromUtf8(kWindowTitle));
    setWindowIcon(QIcon(QStringLiteral(":/icon/tavrin-lumiq.png")));
    setMinimumSize(650, 450);

    if (options.showSplash) {
        auto* splash = new controls::CSplashWnd;
        if (splash->Create(this, QString(), 2000, 0x0F)) {
            splash->SetBitmap(QImage(QStringLiteral(":/bitmap/319.png")), 255, 0, 255);
            splash->Show();
        }
    }

    // The message boxes' Help button opens the same document as Software Help.
    SetHelpDocumentLocator([] { return FindHelpDocument(); });

    look_ = LoadApplicationLook();
    ApplyApplicationLook(look_);

    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateLookCommands();

    view_ = new view::CQuenmarView(this, this);
    setCentralWidget(view_);
    document_ = new CQuenmarDoc(this);
    connect(view_, &view::CQuenmarView::commandStateChanged, this, &CMainFrame::UpdateCommandStates);
    connect(view_, &view::CQuenmarView::batchFinished, this, &CMainFrame::UpdateCommandStates);
    connect(view_, &view::CQuenmarView::batchFinished, this, [this] {
        if (!waitingFiles_.isEmpty())
            OpenFiles(std::exchange(waitingFiles_, {}));
    });

    CreateLogo();
    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    // The view's worker reports to widgets of this window; let it end first.
    if (view_)
        view_->FinishWorker();
}

QAction* CMainFrame::AddCommand(int id, const QString& text, int toolbarImage)
{
    auto* action = new QAction(text, this);
    action->setData(id);
    if (toolbarImage >= 0)
        action->setIcon(ToolbarImage(toolbarImage));
    connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
    actions_.insert(id, action);
    return action;
}

void CMainFrame::CreateMenus()
{
    // The accelerator texts after the tab are what the menu shows; the keys themselves
    // belong to the document, which sends Ctrl+N and Ctrl+O to Select files and Ctrl+S
    // to Save, so the texts stand at those commands. Each entry has a mnemonic of its own.
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(AddCommand(ID_FILE_SELECT_FILES, QStringLiteral("&Select File(s)\tCtrl+N"), 0));
    file->addSeparator();
    file->addAction(AddCommand(ID_FILE_REMOVE_FILES, QStringLiteral("&Remove File(s)"), 1));
    file->addAction(AddCommand(ID_FILE_REPAIR_FILES, QStringLiteral("Re&pair File(s)"), 2));
    file->addSeparator();
    file->addAction(AddCommand(ID_FILE_BROWSE_FOLDER, QStringLiteral("Browse folder"), 3));
    file->addAction(AddCommand(ID_FILE_SAVE_FILES, QStringLiteral("Save file(s)\tCtrl+S"), 4));
    file->addSeparator();
    file->addAction(AddCommand(ID_APP_EXIT, QStringLiteral("E&xit")));
    connect(file, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(AddCommand(ID_APP_ABOUT_TAVRIN, QStringLiteral("&About Tavrin Lumiq"), 6));
    help->addSeparator();
    help->addAction(AddCommand(ID_HELP_SOFTWARE_HELP, QStringLiteral("Software Help"), 5));
    help->addAction(AddCommand(ID_HELP_VISIT_WEBPAGE, QStringLiteral("Visit Software WebPage")));
}

void CMainFrame::CreateToolBar()
{
    toolBar_ = addToolBar(QStringLiteral("Standard"));
    toolBar_->setObjectName(QStringLiteral("Standard"));
    toolBar_->setIconSize(QSize(48, 48));
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // No gripper, and buttons packed as tightly as the classic toolbar's, so the seven
    // buttons stay clear of the logo at the window's minimum width.
    toolBar_->setMovable(false);
    if (toolBar_->layout())
        toolBar_->layout()->setSpacing(0);
    toolBar_->setStyleSheet(QStringLiteral("QToolButton { padding: 2px; margin: 0px; }"));
    const struct {
        int id;
        const char* tip;
    } buttons[] = {
        {ID_FILE_SELECT_FILES, "Select File(s)"}, {ID_FILE_REMOVE_FILES, "Remove File(s)"},
        {ID_FILE_REPAIR_FILES, "Repair File(s)"}, {ID_FILE_BROWSE_FOLDER, "Browse folder"},
        {ID_FILE_SAVE_FILES, "Save file(s)"},     {ID_HELP_SOFTWARE_HELP, "Software Help"},
        {ID_APP_ABOUT_TAVRIN, "About"},
    };
    for (const auto& button : buttons) {
        QAction* action = actions_.value(button.id);
        action->setToolTip(QString::fromUtf8(button.tip));
        toolBar_->addAction(action);
    }
}

void CMainFrame::CreateStatusBar()
{
    statusPane_ = new QLabel(QString::fromUtf8(kApplicationTitle));
    statusPane_->setObjectName(QStringLiteral("StatusPane0"));
    // It shows hovered log text, which holds names from damaged packages: never markup.
    statusPane_->setTextFormat(Qt::PlainText);
    statusPane_->setMinimumWidth(500);
    statusBar()->addWidget(statusPane_, 1);
    // The lock indicators show their text while the key is on, as keyboards' own lamps
    // do; where the platform cannot tell, they stay greyed.
    const struct {
        QLabel** pane;
        const char* text;
        const char* name;
    } indicators[] = {
        {&capsPane_, "CAP", "Caps Lock"},
        {&numPane_, "NUM", "Num Lock"},
        {&scrollPane_, "SCRL", "Scroll Lock"},
    };
    for (const auto& indicator : indicators) {
        auto* pane = new QLabel(QString::fromUtf8(indicator.text));
        pane->setObjectName(QString::fromUtf8(indicator.text) + QStringLiteral("Indicator"));
        pane->setAccessibleName(QString::fromUtf8(indicator.name));
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(40);
        statusBar()->addPermanentWidget(pane);
        *indicator.pane = pane;
    }
    auto* lockKeyTimer = new QTimer(this);
    connect(lockKeyTimer, &QTimer::timeout, this, [this] { ShowLockKeys(ReadLockKeyState()); });
    lockKeyTimer->start(250);
    ShowLockKeys(ReadLockKeyState());
}

void CMainFrame::ShowLockKeys(const LockKeyState& state)
{
    const struct {
        QLabel* pane;
        bool on;
        const char* text;
    } panes[] = {
        {capsPane_, state.capsLock, "CAP"},
        {numPane_, state.numLock, "NUM"},
        {scrollPane_, state.scrollLock, "SCRL"},
    };
    for (const auto& pane : panes) {
        pane.pane->setEnabled(state.known);
        const QString text = !state.known || pane.on ? QString::fromUtf8(pane.text) : QString();
        if (pane.pane->text() != text)
            pane.pane->setText(text);
        pane.pane->setAccessibleDescription(!state.known ? QStringLiteral("unknown")
                                            : pane.on    ? QStringLiteral("on")
                                                         : QStringLiteral("off"));
    }
}

void CMainFrame::CreateLogo()
{
    logo_ = new QLabel(this);
    logo_->setObjectName(QStringLiteral("Logo"));
    logo_->setAccessibleName(QString::fromUtf8(kApplicationTitle));
    logo_->setPixmap(QPixmap(QStringLiteral(":/bitmap/330.png")));
    logo_->setAlignment(Qt::AlignCenter);
    logo_->setCursor(Qt::PointingHandCursor);
    logo_->setAttribute(Qt::WA_TranslucentBackground);
    logo_->installEventFilter(this);
    PlaceLogo();
}

void CMainFrame::CreateLookCommands()
{
    // The looks are frame commands without a menu of their own; the stored value picks
    // one at start.
    looks_ = new QActionGroup(this);
    looks_->setExclusive(true);
    for (int id = kFirstLook; id <= kLastLook; ++id) {
        QAction* action = AddCommand(id, QString::fromUtf8(DescribeLook(id).name));
        action->setCheckable(true);
        action->setChecked(id == look_);
        looks_->addAction(action);
    }
}

void CMainFrame::PlaceLogo()
{
    if (logo_) {
        logo_->setGeometry(width() - 250, 28, 245, 50);
        logo_->raise();
    }
}

void CMainFrame::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    PlaceLogo();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == logo_) {
        if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove)
            ShowStatusText(QString::fromUtf8(kApplicationTitle));
        else if (event->type() == QEvent::MouseButtonRelease)
            ExecuteCommand(ID_LOGO);
    }
    return QMainWindow::eventFilter(watched, event);
}

QString CMainFrame::StatusText() const
{
    return statusPane_->text();
}

void CMainFrame::ShowStatusText(const QString& text)
{
    statusPane_->setText(text);
}

bool CMainFrame::CommandEnabled(int id) const
{
    switch (id) {
    case ID_FILE_SELECT_FILES: return view_ && view_->SelectEnabled();
    case ID_FILE_REMOVE_FILES:
    case ID_FILE_REPAIR_FILES: return view_ && view_->RepairEnabled();
    case ID_FILE_BROWSE_FOLDER:
    case ID_FILE_SAVE_FILES: return view_ && view_->SaveEnabled();
    default: return true;
    }
}

void CMainFrame::UpdateCommandStates()
{
    for (int id : {ID_FILE_SELECT_FILES, ID_FILE_REMOVE_FILES, ID_FILE_REPAIR_FILES, ID_FILE_BROWSE_FOLDER,
                   ID_FILE_SAVE_FILES}) {
        if (QAction* action = actions_.value(id))
            action->setEnabled(CommandEnabled(id));
    }
}

void CMainFrame::ExecuteCommand(int id)
{
    if (!CommandEnabled(id))
        return;
    if (id >= kFirstLook && id <= kLastLook) {
        OnLook(id);
        return;
    }
    switch (id) {
    case ID_FILE_SELECT_FILES:
        if (view_)
            view_->OnSelectFiles();
        break;
    case ID_FILE_REMOVE_FILES:
        if (view_)
            view_->OnRemoveFiles();
        break;
    case ID_FILE_REPAIR_FILES:
        if (view_)
            view_->OnRepairFiles();
        break;
    case ID_FILE_BROWSE_FOLDER:
        if (view_)
            view_->OnBrowseFolder();
        break;
    case ID_FILE_SAVE_FILES:
        if (view_)
            view_->OnSaveFiles();
        break;
    case ID_APP_EXIT: close(); break;
    case ID_APP_ABOUT_TAVRIN:
    case ID_APP_ABOUT: OnAbout(); break;
    case ID_HELP_SOFTWARE_HELP: OnHelp(); break;
    case ID_HELP_VISIT_WEBPAGE: OnVisitWebPage(); break;
    case ID_LOGO: OpenInDefaultProgram(QString::fromUtf8(kMakerWebSite)); break;
    default: break;
    }
    UpdateCommandStates();
}

void CMainFrame::OnLook(int id)
{
    look_ = id;
    ApplyApplicationLook(id);
    SaveApplicationLook(id);
    if (QAction* action = actions_.value(id))
        action->setChecked(true);
    update();
}

void CMainFrame::OnHelp()
{
    const QString help = FindHelpDocument();
    if (help.isEmpty()) {
        view::ShowMessage(nullptr, QStringLiteral("Tavrin Lumiq help file not found, please re-install the software. "),
                          kMbOk);
        return;
    }
    OpenInDefaultProgram(help);
}

void CMainFrame::OnVisitWebPage()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    OpenInDefaultProgram(QString::fromUtf8(kProductWebPage));
    QApplication::restoreOverrideCursor();
}

void CMainFrame::OnAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

void CMainFrame::OpenFiles(const QStringList& files)
{
    if (files.isEmpty() || !view_)
        return;
    if (view_->BatchRunning()) {
        waitingFiles_ << files;
        return;
    }
    view_->AddSelectedFiles(files);
    UpdateCommandStates();
    if (isMinimized())
        showMaximized();
    raise();
    activateWindow();
}

void CMainFrame::CloseFromView()
{
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (isMinimized())
        showMaximized();
    if (running_.load() == 1) {
        view::ShowMessage(nullptr, QStringLiteral("Please stop the running process before closing the application."),
                          kMbOk);
        event->ignore();
        return;
    }
    if (view::ShowMessage(nullptr, QStringLiteral("Do you really want to exit the application?"), kMbYesNo) != kIdYes) {
        event->ignore();
        return;
    }
    if (view_) {
        view_->FinishWorker();
        view_->ClearWorkspaceOnClose();
    }
    event->accept();
}

} // namespace tavrin::app

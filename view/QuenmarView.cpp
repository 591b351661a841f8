#include "view/QuenmarView.h"

#include "controls/EstProgressCtrl.h"
#include "controls/KelvarListCtrl.h"
#include "controls/PictureBox.h"
#include "controls/PromptEdit.h"
#include "engine/PackageOutcome.h"
#include "engine/PackagesInFile.h"
#include "engine/PictureWalk.h"
#include "engine/RepairBatch.h"
#include "engine/SaveBatch.h"
#include "engine/Workspace.h"
#include "html/DesktopOpener.h"
#include "view/JobListGridDelegate.h"
#include "view/JobOutcomeDisplay.h"
#include "view/ViewHost.h"
#include "view/ViewSeams.h"
#include "view/ViewTexts.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTreeWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <type_traits>
#include <utility>

namespace tavrin::view {
namespace {

const QColor kBackground(252, 230, 154);
const QColor kPromptGrey(158, 158, 158);
const QColor kDisabledText(128, 128, 128);
const QColor kDisabledBase(236, 236, 236);
// The progress bars' own colours, the same in every look: a dark bar on a light field,
// so that the estimate text (white over the bar, bar colour's complement combined with
// the field elsewhere) stays readable on both; the looks' light highlight colours gave
// almost no contrast.
const QColor kProgressField(244, 244, 244);
const QColor kProgressBar(31, 95, 191);
constexpr int kRepairStateRole = Qt::UserRole;
// The rebuilt package once saved.
constexpr int kSavedPathRole = Qt::UserRole + 2;
constexpr const char* kLastDestinationKey = "LastDestination";

QSettings ViewSettings()
{
    return QSettings(QStringLiteral("Tavrin"), QStringLiteral("TavrinLumiqv1.0"));
}
constexpr int kStatusTextLimit = 259;

QColor FromColour(Colour colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// The regular font of the view: 18 logical units of cell height in Times New Roman.
QFont RegularFont()
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(16);
    font.setWeight(QFont::Normal);
    return font;
}

// The bold font of the view: 16 logical units of cell height in bold Arial, which
// leaves 13 pixels for the letters themselves.
QFont BoldFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    font.setWeight(QFont::Bold);
    return font;
}

QPixmap LoadBitmap(int number)
{
    return QPixmap(QStringLiteral(":/bitmap/%1.png").arg(number));
}

// Image 2 of the three 20 x 20 list images in bitmap 351.
QIcon JobItemImage()
{
    static const QIcon image = [] {
        const QPixmap strip(QStringLiteral(":/bitmap/351.png"));
        return strip.isNull() ? QIcon() : QIcon(strip.copy(40, 0, 20, 20));
    }();
    return image;
}

QIcon LoadButtonImage(int number)
{
    return QIcon(QStringLiteral(":/png/%1.png").arg(number));
}

bool SameIgnoringAsciiCase(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'A' && x <= u'Z')
            x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z')
            y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y)
            return false;
    }
    return true;
}

// A window's text as the status bar shows it when the mouse is over the window.
QString HoverTextOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* prompt = qobject_cast<controls::CPromptEdit*>(widget))
        return prompt->GetEnteredText();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* rich = qobject_cast<QTextEdit*>(widget))
        return rich->toPlainText().left(kStatusTextLimit);
    return {};
}

// Deletes a package folder with everything in it.
void RemovePackageFolder(const std::string& folder)
{
    if (!IsRealDirectory(folder))
        return;
    DeleteFolderTree(folder);
    QDir().rmdir(QString::fromStdString(folder));
}

} // namespace

template <typename Call>
auto CQuenmarView::OnGuiThread(Call&& call)
{
    using Result = std::invoke_result_t<Call&>;
    if (QThread::currentThread() == thread())
        return call();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(this, [&call] { call(); }, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(this, [&call, &result] { result = call(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

CQuenmarView::CQuenmarView(ViewHost* host, QWidget* parent)
    : QWidget(parent)
    , host_(host)
{
    setObjectName(QStringLiteral("QuenmarView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    {
        // The view paints its own light background whatever the frame's look is, so
        // its texts stay dark on it.
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, kBackground);
        palette.setColor(QPalette::WindowText, Qt::black);
        palette.setColor(QPalette::Text, Qt::black);
        palette.setColor(QPalette::Base, Qt::white);
        // Disabled controls must look disabled on that background too (the save group
        // before a repair): grey text and a grey field.
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(QPalette::Disabled, role, kDisabledText);
        palette.setColor(QPalette::Disabled, QPalette::Base, kDisabledBase);
        setPalette(palette);
    }
    header_ = LoadBitmap(316);
    headerFiller_ = LoadBitmap(315);
    footer_ = LoadBitmap(312);
    footerLeft_ = LoadBitmap(311);
    CreateControls();
    // Hover texts come from the view's own controls; a filter on the whole application
    // would see every event of every window.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

CQuenmarView::~CQuenmarView()
{
    FinishWorker();
}

void CQuenmarView::CreateControls()
{
    const QFont regular = RegularFont();
    const QFont bold = BoldFont();

    jobList_ = new controls::CKelvarListCtrl(this);
    jobList_->setObjectName(QStringLiteral("JobList"));
    jobList_->setColumnCount(2);
    jobList_->setHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Status")});
    jobList_->setColumnWidth(0, 900);
    // The outcome comes first on screen, where a 900-pixel path column cannot push it
    // out of sight.
    jobList_->setColumnWidth(kStatusColumn, 170);
    jobList_->header()->moveSection(kStatusColumn, 0);
    jobList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(jobList_, &QWidget::customContextMenuRequested, this, &CQuenmarView::ShowJobContextMenu);
    jobList_->setRootIsDecorated(false);
    jobList_->setItemsExpandable(false);
    jobList_->setUniformRowHeights(true);
    jobList_->setAllColumnsShowFocus(true);
    jobList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    jobList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    jobList_->setIconSize(QSize(20, 20));
    jobList_->setItemDelegate(new JobListGridDelegate(jobList_));
    connect(jobList_, &controls::CKelvarListCtrl::previewRequested, this, [this](int index) { ShowPreview(index); });
    connect(jobList_, &controls::CKelvarListCtrl::statusTextRequested, this, [this](const QString& text) {
        if (host_)
            host_->ShowStatusText(text);
    });

    struct ButtonSetup {
        QPushButton** button;
        const char* name;
        const char* text;
        const char* tip;
        int image;
    };
    const ButtonSetup buttons[] = {
        {&selectFiles_, "SelectFiles", "Select files", "Select file(s)", 331},
        {&removeFiles_, "RemoveFiles", "Remove files", "Remove file(s)", 333},
        {&repairFiles_, "RepairFiles", "Repair files", "Repair file(s)", 332},
        {&save_, "Save", "Save...", "Save file(s)", 337},
        {&stop_, "Stop", "Stop", "Stop", 334},
        {&exit_, "Exit", "Exit", "Exit", 335},
    };
    for (const ButtonSetup& setup : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(setup.text), this);
        button->setObjectName(QString::fromUtf8(setup.name));
        button->setToolTip(QString::fromUtf8(setup.tip));
        button->setIcon(LoadButtonImage(setup.image));
        button->setIconSize(setup.image == 337 ? QSize(20, 20) : QSize(23, 20));
        *setup.button = button;
    }
    connect(selectFiles_, &QPushButton::clicked, this, &CQuenmarView::OnSelectFiles);
    connect(removeFiles_, &QPushButton::clicked, this, &CQuenmarView::OnRemoveFiles);
    connect(repairFiles_, &QPushButton::clicked, this, &CQuenmarView::OnRepairFiles);
    connect(save_, &QPushButton::clicked, this, &CQuenmarView::OnSaveFiles);
    connect(stop_, &QPushButton::clicked, this, &CQuenmarView::OnStop);
    connect(exit_, &QPushButton::clicked, this, &CQuenmarView::OnExit);

    locationLabel_ = new QLabel(QString::fromUtf8(kLocationLabelText), this);
    locationLabel_->setObjectName(QStringLiteral("LocationLabel"));
    locationLabel_->setFont(bold);

    pictureBox_ = new controls::CPictureBox(this);
    pictureBox_->setObjectName(QStringLiteral("PictureBox"));

    activityLog_ = new QTextEdit(this);
    activityLog_->setObjectName(QStringLiteral("ActivityLog"));
    activityLog_->setReadOnly(true);
    activityLog_->setLineWrapMode(QTextEdit::NoWrap);
    activityLog_->setUndoRedoEnabled(false);
    {
        QFont logFont = activityLog_->font();
        logFont.setWeight(QFont::Bold);
        activityLog_->document()->setDefaultFont(logFont);
    }
    // The log is read-only but its text can be selected and copied, by mouse and keyboard.
    activityLog_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    SetLogText(QString::fromUtf8(kLogStartText));

    hintBox_ = new QTextEdit(this);
    hintBox_->setObjectName(QStringLiteral("HintBox"));
    hintBox_->setReadOnly(true);
    hintBox_->setFrameStyle(QFrame::NoFrame);
    hintBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->setTextInteractionFlags(Qt::NoTextInteraction);
    hintBox_->viewport()->setAutoFillBackground(false);
    {
        QPalette palette = hintBox_->palette();
        palette.setColor(QPalette::Base, Qt::transparent);
        palette.setColor(QPalette::Text, Qt::black);
        hintBox_->setPalette(palette);
        QFont hintFont(QStringLiteral("Arial"));
        hintFont.setPointSizeF(9);
        hintBox_->document()->setDefaultFont(hintFont);
        hintBox_->document()->setDocumentMargin(1);
    }
    ApplyHint(QString::fromUtf8(kHintStartText), kHintStartEmphasis);

    destination_ = new controls::CPromptEdit(this);
    destination_->setObjectName(QStringLiteral("DestinationEdit"));
    destination_->setFont(regular);
    browse_ = new QPushButton(QStringLiteral("..."), this);
    browse_->setObjectName(QStringLiteral("BrowseFolder"));
    browse_->setToolTip(QStringLiteral("Browse folder"));
    browse_->setIcon(LoadButtonImage(336));
    browse_->setIconSize(QSize(23, 20));
    connect(browse_, &QPushButton::clicked, this, &CQuenmarView::OnBrowseFolder);

    previewLabel_ = new QLabel(QStringLiteral("File preview:"), this);
    previewLabel_->setObjectName(QStringLiteral("PreviewLabel"));
    previewLabel_->setFont(bold);

    extractMedia_ = new QCheckBox(QStringLiteral("Extract Media.."), this);
    extractMedia_->setObjectName(QStringLiteral("ExtractMedia"));
    extractMedia_->setFont(regular);

    EnableSaveControls(false);
    EnableRepairButtons(false);
    stop_->hide();

    context_.view = this;
    context_.window = this;
    context_.running = &Running();
    context_.report = &report_;

    extractMedia_->setChecked(true);
    selectFiles_->setEnabled(true);
    selectEnabled_ = true;

    fileProgressLabel_ = new QLabel(QStringLiteral("File progress:"), this);
    fileProgressLabel_->setObjectName(QStringLiteral("FileProgressLabel"));
    fileProgressLabel_->setFont(regular);
    totalProgressLabel_ = new QLabel(QStringLiteral("Total files progress:"), this);
    totalProgressLabel_->setObjectName(QStringLiteral("TotalProgressLabel"));
    totalProgressLabel_->setFont(regular);
    fileProgress_ = new controls::CEstProgressCtrl(this);
    fileProgress_->setObjectName(QStringLiteral("FileProgress"));
    totalProgress_ = new controls::CEstProgressCtrl(this);
    totalProgress_->setObjectName(QStringLiteral("TotalProgress"));
    for (controls::CEstProgressCtrl* bar : {fileProgress_, totalProgress_}) {
        QPalette colours = bar->palette();
        colours.setColor(QPalette::Button, kProgressField);
        colours.setColor(QPalette::Highlight, kProgressBar);
        bar->setPalette(colours);
    }
    ShowProgressControls(false);

    jobList_->SetBackgroundPicture(QImage(QStringLiteral(":/bitmap/352.png")));

    // Names for screen readers where a control's own text does not say what it is.
    const struct {
        QWidget* control;
        const char* name;
    } accessibleNames[] = {
        {jobList_, "Files to repair"},
        {pictureBox_, "File preview"},
        {activityLog_, "Activity log"},
        {hintBox_, "Hint"},
        {destination_, "Folder to save repaired files in"},
        {browse_, "Browse folder"},
        {save_, "Save files"},
        {fileProgress_, "File progress"},
        {totalProgress_, "Total files progress"},
    };
    for (const auto& entry : accessibleNames)
        entry.control->setAccessibleName(QString::fromUtf8(entry.name));
    locationLabel_->setBuddy(destination_);

    destination_->SetPromptText(QString::fromUtf8(kDestinationPrompt));
    destination_->SetPromptColor(kPromptGrey);
    // Show the prompt from its beginning in a narrow edit.
    destination_->setCursorPosition(0);
}

QWidget* CQuenmarView::Control(const char* name) const
{
    return findChild<QWidget*>(QString::fromUtf8(name));
}

QString CQuenmarView::LogText() const
{
    return activityLog_->toPlainText();
}

QString CQuenmarView::HintText() const
{
    return hintBox_->toPlainText();
}

std::atomic<int>& CQuenmarView::Running() const
{
    return host_ ? host_->RunningFlag() : ownRunningFlag_;
}

bool CQuenmarView::BatchRunning() const
{
    return Running().load() == 1;
}

// ---- layout and painting ----

void CQuenmarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ApplyLayout();
}

void CQuenmarView::ApplyLayout()
{
    ProgressRows rows = ProgressRows::None;
    if (!fileProgressLabel_->isHidden())
        rows = ProgressRows::Both;
    else if (!totalProgressLabel_->isHidden())
        rows = ProgressRows::TotalOnly;
    layout_ = ComputeViewLayout(width(), height(), rows);

    selectFiles_->setGeometry(layout_.selectFiles);
    removeFiles_->setGeometry(layout_.removeFiles);
    repairFiles_->setGeometry(layout_.repairFiles);
    previewLabel_->setGeometry(layout_.previewLabel);
    jobList_->setGeometry(layout_.jobList);
    pictureBox_->setGeometry(layout_.pictureBox);
    locationLabel_->setGeometry(layout_.locationLabel);
    destination_->setGeometry(layout_.destinationEdit);
    browse_->setGeometry(layout_.browseFolder);
    save_->setGeometry(layout_.save);
    extractMedia_->setGeometry(layout_.extractMedia);
    activityLog_->setGeometry(layout_.activityLog);
    stop_->setGeometry(layout_.stop);
    exit_->setGeometry(layout_.exit);
    hintBox_->setGeometry(layout_.hintBox);
    fileProgressLabel_->setGeometry(layout_.fileProgressLabel);
    fileProgress_->setGeometry(layout_.fileProgressBar);
    totalProgressLabel_->setGeometry(layout_.totalProgressLabel);
    totalProgress_->setGeometry(layout_.totalProgressBar);
}

void CQuenmarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    // Everything the bitmaps do not cover keeps the view's colour.
    painter.fillRect(rect(), kBackground);
    if (!header_.isNull())
        painter.drawPixmap(0, 0, header_);
    if (w - 100 > 173 && !headerFiller_.isNull())
        painter.drawPixmap(QRect(400, 0, w - 400, headerFiller_.height()), headerFiller_);
    painter.fillRect(RectFromEdges(0, 72, w, h - 50), kBackground);
    if (!footer_.isNull())
        painter.drawPixmap(QRect(0, h - 60, w, footer_.height()), footer_);
    if (!footerLeft_.isNull())
        painter.drawPixmap(0, h - 60, footerLeft_);
}

void CQuenmarView::Relayout()
{
    OnGuiThread([this] { ApplyLayout(); });
}

// ---- status text on hover ----

bool CQuenmarView::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) && host_) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget != this && isAncestorOf(widget)) {
            // The viewport of a scrolling control stands for the control itself.
            if (auto* area = qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
                area && area->viewport() == widget)
                widget = area;
            if (widget != jobList_)
                host_->ShowStatusText(HoverTextOf(widget));
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- hint box and log ----

void CQuenmarView::ApplyHint(const QString& text, const std::vector<TextRange>& emphasis)
{
    hintBox_->setPlainText(text);
    QTextCharFormat strong;
    strong.setFontWeight(QFont::Bold);
    const int length = hintBox_->document()->characterCount() - 1;
    for (const TextRange& range : emphasis) {
        const int start = std::clamp(range.first, 0, length);
        const int end = std::clamp(range.second, start, length);
        QTextCursor cursor(hintBox_->document());
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(strong);
    }
}

void CQuenmarView::SetHintText(const std::string& text, const std::vector<TextRange>& emphasis)
{
    OnGuiThread([&] { ApplyHint(FromStd(text), emphasis); });
}

void CQuenmarView::SetLogText(const QString& text)
{
    activityLog_->setPlainText(text);
}

void CQuenmarView::AddLogLine(const std::string& text, Colour colour)
{
    OnGuiThread([&] {
        QString piece = FromStd(text);
        piece.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        piece.remove(QLatin1Char('\r'));
        QTextCursor cursor(activityLog_->document());
        cursor.movePosition(QTextCursor::End);
        QTextCharFormat format;
        format.setForeground(FromColour(colour));
        cursor.insertText(piece, format);
        // Keep the newest line in sight, the way appending to the log always did.
        activityLog_->verticalScrollBar()->setValue(activityLog_->verticalScrollBar()->maximum());
        activityLog_->viewport()->update();
    });
}

void CQuenmarView::ClearLog()
{
    OnGuiThread([this] { activityLog_->clear(); });
}

// ---- progress ----

void CQuenmarView::SetProgressRange(ProgressBar bar, int maximum)
{
    OnGuiThread([&] {
        controls::CEstProgressCtrl* target = bar == ProgressBar::File ? fileProgress_ : totalProgress_;
        target->SetRange(0, maximum);
    });
}

void CQuenmarView::SetProgressPosition(ProgressBar bar, int position)
{
    OnGuiThread([&] {
        controls::CEstProgressCtrl* target = bar == ProgressBar::File ? fileProgress_ : totalProgress_;
        target->setValue(position);
    });
}

// ---- control states ----

void CQuenmarView::EnableRepairButtons(bool enable)
{
    OnGuiThread([&] {
        repairFiles_->setEnabled(enable);
        removeFiles_->setEnabled(enable);
        repairEnabled_ = enable;
        emit commandStateChanged();
    });
}

void CQuenmarView::EnableSaveControls(bool enable)
{
    OnGuiThread([&] {
        browse_->setEnabled(enable);
        save_->setEnabled(enable);
        extractMedia_->setEnabled(enable);
        destination_->setEnabled(enable);
        saveEnabled_ = enable;
        emit commandStateChanged();
    });
}

void CQuenmarView::ShowProgressControls(bool show)
{
    OnGuiThread([&] {
        fileProgressLabel_->setVisible(show);
        totalProgressLabel_->setVisible(show);
        fileProgress_->setVisible(show);
        totalProgress_->setVisible(show);
    });
}

void CQuenmarView::ShowTotalProgressOnly(bool show)
{
    OnGuiThread([&] {
        fileProgressLabel_->setVisible(false);
        fileProgress_->setVisible(false);
        totalProgressLabel_->setVisible(show);
        totalProgress_->setVisible(show);
    });
}

void CQuenmarView::SetSelectEnabled(bool enable)
{
    OnGuiThread([&] {
        selectEnabled_ = enable;
        if (enable || batch_ != Batch::Save)
            selectFiles_->setEnabled(enable);
        emit commandStateChanged();
    });
}

void CQuenmarView::SetRepairStarted(bool started)
{
    OnGuiThread([&] { repairStarted_ = started; });
}

void CQuenmarView::ShowStopButton(bool show, bool enable)
{
    OnGuiThread([&] {
        stop_->setEnabled(enable);
        stop_->setVisible(show);
    });
}

// ---- job list ----

int CQuenmarView::JobCount()
{
    return OnGuiThread([this] { return jobList_->topLevelItemCount(); });
}

QString CQuenmarView::JobText(int index) const
{
    const QTreeWidgetItem* item = jobList_->topLevelItem(index);
    return item ? item->text(0) : QString();
}

std::string CQuenmarView::JobPath(int index)
{
    return OnGuiThread([&] { return JobText(index).toStdString(); });
}

int CQuenmarView::JobState(int index)
{
    return OnGuiThread([&] {
        const QTreeWidgetItem* item = jobList_->topLevelItem(index);
        return item ? item->data(0, kRepairStateRole).toInt() : 0;
    });
}

void CQuenmarView::SetJobState(int index, int state)
{
    OnGuiThread([&] {
        if (QTreeWidgetItem* item = jobList_->topLevelItem(index))
            item->setData(0, kRepairStateRole, state);
        // The worker waits here, so the job's report entry is complete and still.
        ShowJobOutcome(index);
    });
}

void CQuenmarView::ShowJobOutcome(int index)
{
    QTreeWidgetItem* item = jobList_->topLevelItem(index);
    if (item == nullptr || index < 0 || static_cast<std::size_t>(index) >= report_.packages.size())
        return;
    const PackageReport& report = report_.packages[static_cast<std::size_t>(index)];
    const PackageOutcome outcome = OutcomeOf(report, report.noDamageFound);
    item->setText(kStatusColumn, OutcomeText(outcome));
    item->setIcon(kStatusColumn, OutcomeIcon(outcome));
    const bool saved = report.result == PackageResult::Saved || report.result == PackageResult::SavedWithLosses;
    if (saved && !report.outputPath.empty())
        item->setData(0, kSavedPathRole, QString::fromStdString(report.outputPath));
}

void CQuenmarView::ClearJobOutcomes()
{
    for (int row = 0; row < jobList_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = jobList_->topLevelItem(row);
        item->setText(kStatusColumn, QString());
        item->setIcon(kStatusColumn, QIcon());
        item->setData(0, kSavedPathRole, QVariant());
    }
}

QString CQuenmarView::JobStatusText(int index) const
{
    const QTreeWidgetItem* item = jobList_->topLevelItem(index);
    return item ? item->text(kStatusColumn) : QString();
}

QString CQuenmarView::SavedPackagePath(int index) const
{
    const QTreeWidgetItem* item = jobList_->topLevelItem(index);
    return item ? item->data(0, kSavedPathRole).toString() : QString();
}

void CQuenmarView::OpenSavedPackage(int index)
{
    const QString saved = SavedPackagePath(index);
    if (!saved.isEmpty())
        OpenInDesktop(QUrl::fromLocalFile(saved));
}

void CQuenmarView::ShowSavedPackageInFolder(int index)
{
    const QString saved = SavedPackagePath(index);
    if (!saved.isEmpty())
        OpenInDesktop(QUrl::fromLocalFile(QFileInfo(saved).absolutePath()));
}

void CQuenmarView::ShowJobContextMenu(const QPoint& position)
{
    QTreeWidgetItem* item = jobList_->itemAt(position);
    if (item == nullptr)
        return;
    const int index = jobList_->indexOfTopLevelItem(item);
    const bool saved = !SavedPackagePath(index).isEmpty();
    QMenu menu(this);
    QAction* open = menu.addAction(QStringLiteral("&Open in LibreOffice"));
    QAction* folder = menu.addAction(QStringLiteral("Show in &folder"));
    open->setEnabled(saved);
    folder->setEnabled(saved);
    QAction* chosen = menu.exec(jobList_->viewport()->mapToGlobal(position));
    if (chosen == open)
        OpenSavedPackage(index);
    else if (chosen == folder)
        ShowSavedPackageInFolder(index);
}

QString CQuenmarView::SavedPackagesReport() const
{
    std::vector<SavedPackage> saved;
    for (std::size_t i = 0; i < report_.packages.size(); ++i) {
        const PackageReport& report = report_.packages[i];
        if (report.outputPath.empty() ||
            (report.result != PackageResult::Saved && report.result != PackageResult::SavedWithLosses))
            continue;
        saved.push_back({QString::fromStdString(report.path), QString::fromStdString(report.outputPath),
                         OutcomeOf(report, report.noDamageFound)});
        for (const PackageReport& further : report.furtherPackages)
            if (!further.outputPath.empty() &&
                (further.result == PackageResult::Saved || further.result == PackageResult::SavedWithLosses))
                saved.push_back({QString::fromStdString(further.path), QString::fromStdString(further.outputPath),
                                 OutcomeOf(further, false)});
    }
    return SavedPackagesHtml(saved);
}

void CQuenmarView::OnBatchFinished(bool wasRepair, bool wasSave)
{
    for (int row = 0; row < jobList_->topLevelItemCount(); ++row)
        ShowJobOutcome(row);
    if (wasRepair)
        FillDefaultDestination();
    if (wasSave) {
        const bool anySaved = std::any_of(report_.packages.begin(), report_.packages.end(), [](const PackageReport& r) {
            return r.result == PackageResult::Saved || r.result == PackageResult::SavedWithLosses;
        });
        if (anySaved)
            ViewSettings().setValue(QString::fromUtf8(kLastDestinationKey), destination_->GetEnteredText());
    }
}

void CQuenmarView::FillDefaultDestination()
{
    if (!destination_->GetEnteredText().isEmpty() || jobList_->topLevelItemCount() == 0)
        return;
    // The folder of the last save when it is still there, else the first package's.
    QString folder = ViewSettings().value(QString::fromUtf8(kLastDestinationKey)).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QFileInfo(JobText(0)).absolutePath();
    if (QFileInfo(folder).isDir())
        destination_->SetEnteredText(folder);
}

void CQuenmarView::AppendJob(const QString& path)
{
    auto* item = new QTreeWidgetItem(QStringList{path});
    item->setData(0, kRepairStateRole, 0);
    item->setIcon(0, JobItemImage());
    jobList_->addTopLevelItem(item);
}

int CQuenmarView::IsNewJob(const QString& path) const
{
    for (int row = 0; row < jobList_->topLevelItemCount(); ++row) {
        if (SameIgnoringAsciiCase(JobText(row), path))
            return 0;
    }
    return 1;
}

// ---- destination ----

std::string CQuenmarView::DestinationText()
{
    return OnGuiThread([this] { return destination_->GetEnteredText().toStdString(); });
}

bool CQuenmarView::ExtractMediaChecked()
{
    return OnGuiThread([this] { return extractMedia_->isChecked(); });
}

void CQuenmarView::OnBrowseFolder()
{
    if (!saveEnabled_)
        return;
    const QString chosen = ChooseFolder(this, QString::fromUtf8(kBrowseTitle)).trimmed();
    if (!chosen.isEmpty() && QFileInfo(chosen).isDir())
        destination_->SetEnteredText(chosen);
}

// ---- messages ----

int CQuenmarView::MessageBox(const std::string& html, const std::string& caption, unsigned style, bool ownedByView)
{
    return OnGuiThread([&] {
        if (closing_)
            return (style & 0xF) == 0x4 ? kIdNo : kIdOk;
        QString text = FromStd(html);
        // The save report: what was saved, with ways to open it.
        if (ownedByView && batch_ == Batch::Save)
            text += SavedPackagesReport();
        return ShowMessageWithCaption(ownedByView ? this : nullptr, text, FromStd(caption), style);
    });
}

// ---- worker ----

void CQuenmarView::StartWorker(std::function<void()> batch)
{
    JoinFinishedWorker();
    workerDone_ = false;
    worker_ = std::thread([this, batch = std::move(batch)] {
        batch();
        workerDone_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                JoinFinishedWorker();
                const Batch finished = std::exchange(batch_, Batch::None);
                OnBatchFinished(finished == Batch::Repair, finished == Batch::Save);
                emit batchFinished();
            },
            Qt::QueuedConnection);
    });
}

void CQuenmarView::JoinFinishedWorker()
{
    if (worker_.joinable() && workerDone_)
        worker_.join();
}

void CQuenmarView::FinishWorker()
{
    if (!worker_.joinable())
        return;
    closing_ = true;
    Running() = 0;
    // The worker may be waiting for the GUI thread; keep serving it until it ends.
    while (!workerDone_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    // The worker's own end-of-batch call may already have joined it meanwhile.
    if (worker_.joinable())
        worker_.join();
    closing_ = false;
}

// ---- preview ----

void CQuenmarView::SetPictureOnGui(const QString& path, PictureState state)
{
    pictureBox_->LoadPicture(path, static_cast<int>(state));
    pictureBox_->SetDrawMode(controls::CPictureBox::Stretched);
    pictureBox_->update();
}

void CQuenmarView::SetPicture(const std::string& path, PictureState state)
{
    OnGuiThread([&] { SetPictureOnGui(FromStd(path), state); });
}

int CQuenmarView::ShowPreview(int index)
{
    if (index < 0 || index >= jobList_->topLevelItemCount())
        return 0;
    if (!IsRealDirectory(GetWorkspaceRoot())) {
        SetPictureOnGui(QString(), PictureState::NotRepaired);
        return 0;
    }
    const std::string folder = PackageFolder(JobText(index).toStdString(), index);
    const QString thumbnail = QString::fromStdString(folder) + QStringLiteral("/Thumbnails/thumbnail.png");
    if (QFileInfo(thumbnail).isFile()) {
        SetPicture(thumbnail.toStdString(), PictureState::NoText);
        return 1;
    }
    if (FindFirstPicture(folder, *this) == 1)
        return 1;
    SetPictureOnGui(QString(), PictureState::NoImage);
    return 0;
}

// ---- workspace ----

void CQuenmarView::WipeWorkspaceShowingNothing()
{
    // The picture may come from the Workspace: let go of it before the files go.
    SetPictureOnGui(QString(), PictureState::NoText);
    WipeWorkspace();
}

void CQuenmarView::ClearWorkspaceOnClose()
{
    WipeWorkspaceShowingNothing();
}

// ---- file list commands ----

void CQuenmarView::OnSelectFiles()
{
    // The button stays enabled during a save (only the menu follows the select-enabled
    // flag), and choosing files wipes the Workspace that the save still reads.
    if (BatchRunning()) {
        ShowMessage(nullptr, QString::fromUtf8(kStopFirstBeforeSelecting), kMbOkInformation);
        return;
    }
    const QStringList chosen = ChooseFilesToOpen(this);
    if (chosen.isEmpty())
        return;
    AddSelectedFiles(chosen);
}

void CQuenmarView::AddSelectedFiles(const QStringList& paths)
{
    if (BatchRunning() || paths.isEmpty())
        return;
    if (IsRealDirectory(GetWorkspaceRoot()))
        WipeWorkspaceShowingNothing();
    if (repairStarted_) {
        jobList_->clear();
        report_.packages.clear();
        repairStarted_ = false;
    }
    SetLogText(QString::fromUtf8(kLogFilesChosenText));
    SetPictureOnGui(QString(), PictureState::SelectToRepair);
    for (const QString& path : paths) {
        if (IsNewJob(path))
            AppendJob(path);
        else
            ShowMessage(nullptr, path + QString::fromUtf8(kDuplicateSuffix), kMbOkInformation);
    }
    EnableRepairButtons(true);
}

void CQuenmarView::AddDroppedFiles(const QStringList& paths)
{
    // A drop while a batch runs would change the list under the worker.
    if (BatchRunning())
        return;
    for (const QString& dropped : paths) {
        const QString path = dropped.trimmed();
        if (path.contains(QStringLiteral(".odb")))
            AppendJob(path);
    }
}

void CQuenmarView::RemoveJobAt(int index)
{
    const int count = jobList_->topLevelItemCount();
    SetPictureOnGui(QString(), PictureState::NoText);
    const std::string removed = PackageFolder(JobText(index).toStdString(), index);
    RemovePackageFolder(removed);
    for (std::size_t number = 2; number <= kMaxPackagesInFile; ++number)
        RemovePackageFolder(FurtherPackageFolder(removed, number));
    // Package folders are named by position: move the folders of the later jobs down
    // with them, so that every job keeps its own extracted package.
    for (int later = index + 1; later < count; ++later) {
        const std::string path = JobText(later).toStdString();
        const std::string from = PackageFolder(path, later);
        const std::string to = PackageFolder(path, later - 1);
        RemovePackageFolder(to);
        if (IsRealDirectory(from))
            QDir().rename(QString::fromStdString(from), QString::fromStdString(to));
        for (std::size_t number = 2; number <= kMaxPackagesInFile; ++number) {
            const std::string furtherFrom = FurtherPackageFolder(from, number);
            const std::string furtherTo = FurtherPackageFolder(to, number);
            RemovePackageFolder(furtherTo);
            if (IsRealDirectory(furtherFrom))
                QDir().rename(QString::fromStdString(furtherFrom), QString::fromStdString(furtherTo));
        }
    }
    delete jobList_->takeTopLevelItem(index);
    if (static_cast<std::size_t>(index) < report_.packages.size())
        report_.packages.erase(report_.packages.begin() + index);
}

void CQuenmarView::OnRemoveFiles()
{
    if (!repairEnabled_ || BatchRunning())
        return;
    auto firstSelected = [this] {
        for (int row = 0; row < jobList_->topLevelItemCount(); ++row) {
            if (jobList_->topLevelItem(row)->isSelected())
                return row;
        }
        return -1;
    };
    int row = firstSelected();
    if (row < 0) {
        ShowMessage(nullptr, QString::fromUtf8(kNothingToRemove), kMbOkInformation);
        return;
    }
    for (; row >= 0; row = firstSelected())
        RemoveJobAt(row);

    if (jobList_->topLevelItemCount() == 0) {
        WipeWorkspaceShowingNothing();
        destination_->SetEnteredText(QString());
        EnableSaveControls(false);
        EnableRepairButtons(false);
        SetPictureOnGui(QString(), PictureState::NoFiles);
        SetLogText(QString::fromUtf8(kLogStartText));
        ApplyHint(QString::fromUtf8(kHintStartText), kHintStartEmphasis);
    } else {
        SetPictureOnGui(QString(), PictureState::SelectForPreview);
    }
}

// ---- batch commands ----

void CQuenmarView::OnRepairFiles()
{
    if (!repairEnabled_ || BatchRunning())
        return;
    batch_ = Batch::Repair;
    ClearJobOutcomes();
    StartRepair(context_);
    StartWorker([this] { RepairThreadProc(context_); });
}

void CQuenmarView::OnSaveFiles()
{
    if (!saveEnabled_)
        return;
    if (!StartSave(context_))
        return;
    batch_ = Batch::Save;
    for (int row = 0; row < jobList_->topLevelItemCount(); ++row)
        jobList_->topLevelItem(row)->setData(0, kSavedPathRole, QVariant());
    StartWorker([this] { SaveThreadProc(context_); });
}

void CQuenmarView::OnStop()
{
    ConfirmStop(context_);
}

void CQuenmarView::OnExit()
{
    if (host_)
        host_->CloseFromView();
    else
        window()->close();
}

// ---- drag and drop ----

void CQuenmarView::dragEnterEvent(QDragEnterEvent* event)
{
    // Copy, never move: the dropped files must stay where they are.
    if (event->mimeData()->hasUrls() && !BatchRunning()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void CQuenmarView::dragMoveEvent(QDragMoveEvent* event)
{
    // Copy, never move: the dropped files must stay where they are.
    if (event->mimeData()->hasUrls() && !BatchRunning()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void CQuenmarView::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls() || BatchRunning())
        return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    AddDroppedFiles(paths);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace tavrin::view

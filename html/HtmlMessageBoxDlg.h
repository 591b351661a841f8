// The modal dialog behind HtmlMessageBox: computes its size from the HTML and the
// button captions, paints its areas with fill effects, and ends with the id of the
// pressed button.
#pragma once

#include "html/DrawManager.h"
#include "html/HtmlMsgBoxParams.h"
#include "html/MsgBoxHtmlPane.h"

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QTimer>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tavrin {

class CHtmlMessageBoxDlg : public QDialog {
    Q_OBJECT
public:
    // Layout constants, in pixels.
    static constexpr int kIconPadding = 5;
    static constexpr int kSeparatorTextGap = 5;
    static constexpr int kMarginX = 14;
    static constexpr int kMarginY = 14;
    static constexpr int kCheckBoxLeft = 10;
    static constexpr int kCheckBoxSide = 13;
    static constexpr int kButtonGap = 11;
    static constexpr int kButtonAreaMargin = 11;
    static constexpr int kMinButtonWidth = 80;
    static constexpr int kMinButtonHeight = 23;
    static constexpr int kIconSize = 32;

    explicit CHtmlMessageBoxDlg(const HtmlMsgBoxParams& params, QWidget* owner = nullptr);
    ~CHtmlMessageBoxDlg() override;

    // What the box shows, for callers and tests.
    struct ButtonInfo {
        int id = 0;
        QPushButton* button = nullptr;
    };
    const std::vector<ButtonInfo>& Buttons() const { return m_buttons; }
    int DefaultButtonIndex() const { return m_defaultIndex; }
    QSize ButtonCellSize() const { return m_buttonSize; }
    bool CancelAllowed() const { return m_cancelAllowed; }
    // Whether Escape and the close box end the box right now.
    bool CloseEnabled() const { return m_closeEnabled; }
    QString MessageHtml() const { return m_messageHtml; }
    int HeaderHeight() const { return m_headerHeight; }
    int MessageHeight() const { return m_messageHeight; }
    int ButtonAreaHeight() const { return m_buttonAreaHeight; }
    int DetailsHeight() const { return m_detailsHeight; }
    bool DetailsOpen() const { return m_detailsOpen; }
    QCheckBox* CheckBox() const { return m_checkBox; }
    int Countdown() const { return m_countdown; }
    // What Copy puts on the clipboard: the caption, then the header and the message as
    // plain text (the box draws its text, so it is copied whole rather than selected).
    QString PlainText() const;

    // The command of a button, Escape or the close box.
    void OnCommand(int id);
    // One countdown step, as the one-second timer does it.
    void OnTimer();

    void reject() override;

    // The answer stored for a box with a "Do not show again" check box, 0 when none is
    // stored (or the record names no module).
    static int RememberedAnswer(const HtmlMsgBoxParams& params);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void LoadIcon();
    void CreateControlsAndSize();
    void AddButtonsForStyle();
    QString ButtonCaption(int id) const;
    void PlaceControls();
    void CentreWindow();
    void BuildBackground();
    void PaintArea(QPainter& painter, const QRect& rect, const HtmlMsgBoxArea& area);
    void PaintSeparator(QPainter& painter, int y, int width, const HtmlMsgBoxArea& area);
    void UpdateCloseBox();
    void SetCountdownCaption();
    QString CountdownButtonCaption() const;
    QRect HeaderRect() const;
    QRect MessageRect() const;
    QRect ButtonAreaRect() const;
    QRect DetailsRect() const;
    QPushButton* DefaultButton() const;
    void RememberAnswer(int result) const;

    HtmlMsgBoxParams m_params;
    QString m_caption;
    QString m_countdownFormat;
    QString m_moreCaption;
    QString m_lessCaption;
    QString m_defaultCaption;
    QString m_messageHtml;
    QFont m_messageFont;
    QPixmap m_icon;
    int m_iconHandle = 0;

    std::vector<ButtonInfo> m_buttons;
    int m_defaultIndex = 0;
    bool m_cancelAllowed = false;
    bool m_closeEnabled = false;
    QCheckBox* m_checkBox = nullptr;
    QLabel* m_checkLabel = nullptr;

    int m_headerHeight = 0;
    int m_messageHeight = 0;
    int m_buttonAreaHeight = 0;
    int m_detailsHeight = 0;
    int m_boxWidth = 0;
    QSize m_buttonSize;
    bool m_detailsOpen = false;
    int m_countdown = 0;
    QTimer m_timer;
    QPixmap m_background;
    bool m_placed = false;

    CDrawManager m_drawManager;
    CMsgBoxHtmlPane m_header;
    CMsgBoxHtmlPane m_message;
    CMsgBoxHtmlPane m_details;
};

} // namespace tavrin

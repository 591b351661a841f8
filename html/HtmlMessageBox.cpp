#include "html/HtmlMessageBox.h"

#include "html/HtmlMessageBoxDlg.h"
#include "html/HtmlMsgBoxParams.h"

#include <QApplication>
#include <QPointer>
#include <QThread>

namespace tavrin {

HtmlMsgBoxParams MessageBoxParams(QWidget* owner, const QString& html, const QString& caption, unsigned style)
{
    HtmlMsgBoxParams params;
    params.parent = owner;
    params.text = html;
    params.caption = caption;
    params.style = style;
    // The program's boxes: gold at the edges, light yellow across the middle.
    params.messageArea.separator = kSeparatorNone;
    params.messageArea.separatorAlign = 0;
    params.messageArea.effect = kEffectVBump;
    params.messageArea.color1 = 0x0051ECFD;
    params.messageArea.color2 = 0x00A9F3FE;
    params.messageArea.color3 = 0x0051ECFD;
    return params;
}

int HtmlMessageBox(QWidget* owner, const QString& html, const QString& caption, unsigned style)
{
    return HtmlMessageBoxIndirect(MessageBoxParams(owner, html, caption, style));
}

int HtmlMessageBoxIndirect(const HtmlMsgBoxParams& params)
{
    if (!qApp)
        return IDCANCEL;
    // Widgets live on the GUI thread only: a worker's call is carried over there and
    // the worker waits for the answer, as it would for any modal box.
    if (QThread::currentThread() != qApp->thread()) {
        int result = IDCANCEL;
        QMetaObject::invokeMethod(
            qApp, [&params, &result] { result = HtmlMessageBoxIndirect(params); }, Qt::BlockingQueuedConnection);
        return result;
    }
    QWidget* owner = params.parent;
    if (!owner) {
        owner = QApplication::activeModalWidget();
        if (!owner)
            owner = QApplication::activeWindow();
    }
    if (const int remembered = CHtmlMessageBoxDlg::RememberedAnswer(params))
        return remembered;
    if (!(params.style & HMB_NOSOUND))
        QApplication::beep();
    QPointer<CHtmlMessageBoxDlg> dialog = new CHtmlMessageBoxDlg(params, owner);
    const int result = dialog->exec();
    delete dialog.data();
    return result;
}

} // namespace tavrin

// The program's own message box: an HTML text on a painted background with the
// button sets of the classic platform message box.
//
// Call sites read like ordinary message-box calls: owner, text, caption, style bits,
// and the result is the id of the pressed button (1 OK, 2 Cancel, 6 Yes, 7 No, ...).
// The box runs on the GUI thread; a call from another thread is carried over there with
// a blocking queued call, so the caller waits for the answer (the GUI thread must not be
// waiting for that caller meanwhile).
#pragma once

#include "html/HtmlMsgBoxParams.h"

#include <QString>

class QWidget;

namespace tavrin {

// Shows a modal box with the message area painted in the program's yellow "vbump"
// background. `style` takes the MB_ button set (low 4 bits), icon (0xF0) and
// default-button (0xF00) bits; 0x40 is OK with the information icon, 0x24 Yes/No with
// the question icon. Returns the pressed button's id, 2 when Escape closes an OK box.
int HtmlMessageBox(QWidget* owner, const QString& html, const QString& caption, unsigned style);

// The record HtmlMessageBox shows: the arguments plus the program's yellow background.
HtmlMsgBoxParams MessageBoxParams(QWidget* owner, const QString& html, const QString& caption, unsigned style);

// Shows a box for a full parameter record. A record with a "Do not show again" check
// box whose answer was remembered returns that answer without showing anything.
int HtmlMessageBoxIndirect(const HtmlMsgBoxParams& params);

} // namespace tavrin

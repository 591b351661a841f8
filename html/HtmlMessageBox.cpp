#include "html/HtmlMessageBox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

// Interim body until the painted box is in place: rich text in a label and the right
// buttons and results.
int HtmlMessageBox(QWidget* owner, const QString& html, const QString& caption, unsigned style)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(caption.isEmpty() ? QStringLiteral("Error") : caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(html, &dialog);
    label->setTextFormat(Qt::RichText);
    label->setOpenExternalLinks(true);
    layout->addWidget(label);
    auto* buttons = new QDialogButtonBox(&dialog);
    layout->addWidget(buttons);
    int result = 2;
    auto addButton = [&](const QString& text, int id) {
        QPushButton* button = buttons->addButton(text, QDialogButtonBox::ActionRole);
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &result, id] {
            result = id;
            dialog.accept();
        });
        return button;
    };
    if ((style & 0xF) == 4) {
        addButton(QStringLiteral("Yes"), 6)->setDefault(true);
        addButton(QStringLiteral("No"), 7);
    } else {
        addButton(QStringLiteral("OK"), 1)->setDefault(true);
    }
    dialog.exec();
    return result;
}

} // namespace tavrin

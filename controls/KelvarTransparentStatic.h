// A label without a background of its own: its text lies straight on whatever the
// parent painted behind it (the About box picture).
#pragma once

#include <QString>
#include <QWidget>

namespace tavrin::controls {

class CKelvarTransparentStatic : public QWidget
{
    Q_OBJECT
public:
    explicit CKelvarTransparentStatic(const QString& text = QString(), QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

} // namespace tavrin::controls

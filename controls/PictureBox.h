// The preview area: one picture file, or one of the fixed messages about the work.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

namespace tavrin::controls {

class CPictureBox : public QWidget
{
    Q_OBJECT
public:
    // Message states; any other value (NoMessage in practice) draws no text.
    enum MessageState {
        NoFilesInList = 0,
        SelectFilesToRepair = 1,
        RepairRunning = 2,
        SelectFileForPreview = 3,
        NoImageInPackage = 4,
        FileNotRepaired = 5,
        NoMessage = 6,
    };

    enum DrawMode {
        TopLeft = 0,    // own size at the top-left corner
        Centred = 1,    // own size, centred
        Stretched = 2,  // the whole box, aspect ratio not kept
    };

    explicit CPictureBox(QWidget* parent = nullptr);

    // Forgets the previous picture first, then reads the file if one exists at `path`.
    // Without a readable picture the text of `state` shows (none for NoMessage).
    void LoadPicture(const QString& path, int state);

    // Takes effect at the next paint.
    void SetDrawMode(int mode);

    int MessageStateValue() const { return m_state; }
    int DrawModeValue() const { return m_mode; }
    // A file was found at the last path (whether or not it could be read).
    bool HoldsPicture() const { return m_holdsPicture; }
    bool PictureReadable() const { return !m_picture.isNull(); }

    // The text of a message state; empty for states without one.
    static QString MessageText(int state);

    // Where a picture of `picture` size goes in a box of `box` size; an empty
    // rectangle for an unknown mode.
    static QRect PictureRect(int mode, QSize box, QSize picture);

    // Message text origin inside the box.
    static constexpr int TextLeft = 10;
    static constexpr int TextTop = 20;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    int m_state = NoFilesInList;
    int m_mode = Centred;
    bool m_holdsPicture = false;
};

} // namespace tavrin::controls

// PictureBox: the window of a chart picture. It owns the Picture the charts draw into, shows its
// image (painting only copies the image; child widgets such as crosshair lines and labels lie over
// it and are never part of the image) and passes the mouse and keys on with positions in twips.
#pragma once

#include <QWidget>

#include "platform/picture.h"

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);
    ~PictureBox() override;

    // The picture; its size is this widget's, read at each use.
    Picture &picture() { return m_picture; }

    // The mouse buttons (1 left, 2 right, 4 middle) and shift keys (1 Shift, 2 Ctrl, 4 Alt) as numbers.
    static int ButtonOf(Qt::MouseButtons buttons);
    static int ShiftOf(Qt::KeyboardModifiers modifiers);
    // The key code of a key: 37 to 40 for left, up, right and down, the character code of a letter
    // (upper case) or digit, 0 for other keys.
    static int KeyCodeOf(int qtKey);

signals:
    // Positions are in twips from the picture's top-left corner.
    void mouseDown(int button, int shift, double x, double y);
    void mouseMove(int button, int shift, double x, double y);
    void mouseUp(int button, int shift, double x, double y);
    void dblClick();
    void keyDown(int keyCode, int shift);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    Picture m_picture;
};

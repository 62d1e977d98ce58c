// ColorBox: a box that shows a colour and opens a choice of colour when clicked. It holds the colour
// number as decimal text, drawn in the colour itself so that it cannot be seen; it takes no focus
// and no typing, so the text changes only through the program.
#pragma once

#include <QLineEdit>

#include "platform/canvas.h"

class ColorBox : public QLineEdit {
    Q_OBJECT
public:
    explicit ColorBox(QWidget *parent = nullptr);

    // The colour the box is filled with, and the colour its text is drawn in (colour numbers
    // 0x00BBGGRR; the top byte is kept but not shown).
    ColorRef BackColor() const { return m_back; }
    ColorRef ForeColor() const { return m_fore; }
    void SetBackColor(ColorRef color);
    // The box takes a colour: filled with it, its text the colour number, drawn in the colour.
    void ShowColor(ColorRef color);
    // After the text was restored from saved settings: a text fills the box with the colour number it
    // begins with (a negative one taken as the 32-bit pattern it was stored from, 0 without a
    // number); an empty text becomes the number of the colour the box is filled with. Either way the
    // text is drawn in the box's colour.
    void TakeColorFromText();

signals:
    // The left button was pressed and released over the box (a double click counts once).
    void clicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void ApplyColors();

    ColorRef m_back = 0xFFFFFF;
    ColorRef m_fore = 0;
    bool m_pressed = false;
};

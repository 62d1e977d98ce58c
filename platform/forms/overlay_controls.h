// The line and label controls of a chart picture over real widgets: a 1-pixel line laid over the
// picture box, and a label sized to its caption. Positions are twips from the picture's top-left
// corner, 15 to a pixel.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include "platform/picture.h"

// A LineControl over a widget (a QFrame or any plain widget) that becomes the line: a box of one pixel
// across from (X1, Y1) to (X2, Y2), filled with BorderColor. Its Tag is the widget's "Tag" property
// and its visibility the widget's own, so that code setting either on the widget agrees with the
// control. A line running neither across nor along (both ends differ in x and y) is drawn as the
// box that holds it; the charts move only straight lines. Nothing happens once the widget is gone.
class LineOverlay : public LineControl {
public:
    // Takes the widget's frame off, gives it an opaque background and puts it between the two ends.
    LineOverlay(QWidget *line, double x1, double y1, double x2, double y2);

    QString Tag() const override;
    void SetTag(const QString &tag) override;
    bool Visible() const override;
    void SetVisible(bool visible) override;

protected:
    void Changed() override;

private:
    QPointer<QWidget> m_line;
};

// A LabelControl over a QLabel that sizes itself to its caption (plain text, lines broken at "\n",
// an opaque background): Width is the label's width in twips after the caption is set. Setting Left
// moves the label sideways and keeps its top. Nothing happens once the label is gone (its Width
// reads 0 then).
class LabelOverlay : public LabelControl {
public:
    explicit LabelOverlay(QLabel *label);

    QString Caption() const override;
    void SetCaption(const QString &caption) override;
    double Left() const override;
    void SetLeft(double left) override;
    double Width() const override;

private:
    QPointer<QLabel> m_label;
};

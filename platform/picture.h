// The picture of a chart without its window: a persistent image the charts draw into through its
// canvas, its size in twips, its Tag and colours. The picture box widget shows it; tests use it
// alone, on a canvas of their own. Beside it, the line and label controls that lie over a picture
// (a crosshair, a read-out), as the charts move and write them.
#pragma once

#include <functional>
#include <memory>

#include <QImage>
#include <QSize>
#include <QString>

#include "platform/canvas.h"

class Picture {
public:
    // Charts lay out in twips and draw in pixels, 15 twips to a pixel.
    static constexpr int kTwipsPerPixel = 15;

    // A picture drawing into its own image.
    Picture();
    // A picture drawing on the given canvas instead (tests record the calls); it has no image.
    explicit Picture(std::unique_ptr<Canvas> canvas);
    ~Picture();
    Picture(const Picture &) = delete;
    Picture &operator=(const Picture &) = delete;

    // Where the size in pixels comes from: the widget's size, read at each use, because a hidden
    // widget gets its resize event late. SetPixelSize fixes it instead (no widget).
    void SetSizeSource(std::function<QSize()> pixels);
    void SetPixelSize(int width, int height);
    QSize PixelSize() const;
    // The outer size in twips: the size in pixels × 15.
    int Width() const;
    int Height() const;

    // The text of the stock the chart last showed.
    QString Tag;
    // The background that Cls clears to, and the colour of text and of Line.
    ColorRef BackColor = 0;
    ColorRef ForeColor = 0;

    // The canvas to draw on; the image first takes the picture's present size (what both sizes share
    // keeps its pixels, the rest takes BackColor).
    Canvas &hDC();
    // Clears the whole image to BackColor.
    void Cls();
    // Ends the drawing pass and asks the window, when there is one, to show the image.
    void Refresh();
    // A line in ForeColor, 1 pixel solid, between two points given in twips (converted to the
    // nearest pixel, halves to even; the end pixel left out). The selected pen stays selected.
    void Line(double x1, double y1, double x2, double y2);

    // The image as drawn so far (the pass is ended first); a null image for a picture drawing on a
    // canvas of its own.
    QImage Image();
    // What Refresh calls to show the image (the widget's update); nothing by default.
    void SetRefreshHook(std::function<void()> hook) { m_refresh = std::move(hook); }

private:
    std::unique_ptr<Canvas> m_canvas;
    ImageCanvas *m_image = nullptr;  // m_canvas when the picture draws into its own image
    std::function<QSize()> m_size;
    std::function<void()> m_refresh;
};

// A line control over a picture: its two end points in twips from the picture's top-left corner, its
// colour, a Tag text and whether it shows. This base only keeps the values (tests use it alone); a
// window's line derives from it and follows each change (platform/forms/overlay_controls.h).
class LineControl {
public:
    virtual ~LineControl();

    double X1() const { return m_x1; }
    double Y1() const { return m_y1; }
    double X2() const { return m_x2; }
    double Y2() const { return m_y2; }
    ColorRef BorderColor() const { return m_color; }
    void SetX1(double v);
    void SetY1(double v);
    void SetX2(double v);
    void SetY2(double v);
    void SetBorderColor(ColorRef c);
    virtual QString Tag() const { return m_tag; }
    virtual void SetTag(const QString &tag) { m_tag = tag; }
    virtual bool Visible() const { return m_visible; }
    virtual void SetVisible(bool visible) { m_visible = visible; }

protected:
    // Called after a change of an end point or of the colour.
    virtual void Changed() {}

private:
    double m_x1 = 0, m_y1 = 0, m_x2 = 0, m_y2 = 0;
    ColorRef m_color = 0;
    QString m_tag;
    bool m_visible = true;
};

// A label control over a picture: its caption, and its left edge and width in twips. The width is the
// one it takes when sized to its caption. This base only keeps the values, its width as set by
// SetWidth (tests); a window's label derives from it, shows the caption and measures it.
class LabelControl {
public:
    virtual ~LabelControl();

    virtual QString Caption() const { return m_caption; }
    virtual void SetCaption(const QString &caption) { m_caption = caption; }
    virtual double Left() const { return m_left; }
    virtual void SetLeft(double left) { m_left = left; }
    virtual double Width() const { return m_width; }
    void SetWidth(double width) { m_width = width; }

private:
    QString m_caption;
    double m_left = 0;
    double m_width = 0;
};

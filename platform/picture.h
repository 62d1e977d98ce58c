// The picture of a chart without its window: a persistent image the charts draw into through its
// canvas, its size in twips, its Tag and colours. The picture box widget shows it; tests use it
// alone, on a canvas of their own.
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
    // How Circle fills what it draws: 0 solid in FillColor, any other value (1 by default) hollow.
    int FillStyle = 1;
    ColorRef FillColor = 0;

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
    // The same line in the colour instead of ForeColor.
    void Line(double x1, double y1, double x2, double y2, ColorRef colour);
    // The circle of radius r about (x, y), in twips: outlined in the colour (1 pixel) and filled as
    // FillStyle says. Its box is converted to the nearest pixels (halves to even); a box that does
    // not fit 32 bits draws nothing. The selected pen and brush stay selected.
    void Circle(double x, double y, double r, ColorRef colour);
    // The sector of that circle from the angle |start| counter-clockwise to the angle |end| (radians
    // from 3 o'clock; an end below the start goes round through 0, an end a full turn or more beyond
    // it gives the whole circle), closed by its two radii, as the charts ask for it with negative
    // angles. Start and end at the same 1/16 degree draw nothing: a full circle is the call without
    // angles.
    void Circle(double x, double y, double r, ColorRef colour, double start, double end);

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

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

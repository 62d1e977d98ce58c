// 保存图片: copying what a window shows into a picture, its child windows (lines and labels laid over
// a chart) included.
#pragma once

#include <QImage>
#include <QPixmap>

class QWidget;

// The area of the window from (left, top), width × height pixels, as the window and its children
// paint it: from the inside of its frame with client set, else from its outer corner. A null image
// for no window or an empty area; parts beyond the window are black.
QImage CaptureWindowArea(QWidget *window, bool client, int left, int top, int width, int height);

// The whole window (its frame included) as it paints itself with its children.
QImage CaptureWholeWindow(QWidget *window);

// The pixmap as an image in pixels of the window's own size (device pixel ratio 1, 32 bits without
// alpha).
QImage MakeBitmapPicture(const QPixmap &bitmap);

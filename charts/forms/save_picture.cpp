// 保存图片: window capture.
#include "save_picture.h"

#include <QPainter>
#include <QWidget>

QImage CaptureWindowArea(QWidget *window, bool client, int left, int top, int width, int height)
{
    if (!window || width <= 0 || height <= 0)
        return QImage();
    const QPoint origin = client ? window->contentsRect().topLeft() : QPoint(0, 0);
    const QRect wanted(origin + QPoint(left, top), QSize(width, height));
    const QRect inside = wanted & window->rect();
    if (inside == wanted)
        return MakeBitmapPicture(window->grab(wanted));
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    if (!inside.isEmpty()) {
        QPainter painter(&image);
        painter.drawImage(inside.topLeft() - wanted.topLeft(), MakeBitmapPicture(window->grab(inside)));
    }
    return image;
}

QImage CaptureWholeWindow(QWidget *window)
{
    if (!window)
        return QImage();
    return CaptureWindowArea(window, false, 0, 0, window->width(), window->height());
}

QImage MakeBitmapPicture(const QPixmap &bitmap)
{
    if (bitmap.isNull())
        return QImage();
    QImage image = bitmap.toImage().convertToFormat(QImage::Format_RGB32);
    const qreal ratio = bitmap.devicePixelRatio();
    if (ratio != 1.0) {
        const QSize logical = (QSizeF(image.size()) / ratio).toSize();
        image = image.scaled(logical, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    image.setDevicePixelRatio(1.0);
    return image;
}

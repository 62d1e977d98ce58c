// 保存JPG图片: writing a 24-bit bitmap as a JPEG file, and the safe writing of a picture file that it
// shares with the chart's BMP saving.
#pragma once

#include <QImage>
#include <QString>

#include "charts/dib_section.h"

// Writes the image to fileName in the image format ("bmp", "jpeg"; quality -1 for the format's
// default) through a temporary file in the same folder that is renamed over the target, so a
// failed write leaves an existing file as it was and no temporary file behind. The new file takes
// the old file's permissions; a read-only file is written over all the same (the caller asked the
// user first), as only its folder's permissions decide. A link keeps pointing to the file written.
// False with the writer's or the system's text in error when the file cannot be written.
bool WritePictureFile(const QImage &image, const QString &fileName, const char *format, int quality,
                      QString &error);

// Writes the bitmap's pixels (top row first, the row padding skipped) as a JPEG file of the quality
// (0..100; the program passes 80). When the file existed, the new one takes its access and
// modification times and its mode (a read-only file stays read-only); its birth time cannot be set.
// False on failure, with error "Failed to save to JPG " followed by the writer's text ("Failed to
// initialise the IJL library: " followed by the reason when no JPEG writer is available); an
// existing file is then left as it was.
bool SaveDibAsJpeg(const cDIBSection &dib, const QString &fileName, int quality, QString &error);

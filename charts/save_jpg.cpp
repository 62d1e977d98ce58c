// 保存JPG图片: JPEG writing.
#include "save_jpg.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QImageWriter>
#include <QSaveFile>

bool WritePictureFile(const QImage &image, const QString &fileName, const char *format, int quality,
                      QString &error)
{
    // QSaveFile writes beside the target and renames on commit; it gives the temporary file the
    // permissions of an existing target.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    QImageWriter writer(&file, format);
    writer.setQuality(quality);
    if (!writer.write(image)) {
        error = writer.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool SaveDibAsJpeg(const cDIBSection &dib, const QString &fileName, int quality, QString &error)
{
    if (!QImageWriter::supportedImageFormats().contains("jpeg")) {
        error = QStringLiteral("Failed to initialise the IJL library: no JPEG writer");
        return false;
    }
    const QByteArray path = QFile::encodeName(fileName);
    struct stat old {};
    const bool existed = ::stat(path.constData(), &old) == 0 && S_ISREG(old.st_mode);
    QString writeError;
    if (!WritePictureFile(dib.ToImage(), fileName, "jpeg", quality, writeError)) {
        error = QStringLiteral("Failed to save to JPG ") + writeError;
        return false;
    }
    if (existed) {
        // The file written over keeps its times and mode; a failure here leaves a good picture, so
        // it is not reported.
        const struct timespec times[2] = {old.st_atim, old.st_mtim};
        ::utimensat(AT_FDCWD, path.constData(), times, 0);
        ::chmod(path.constData(), old.st_mode & 07777);
    }
    return true;
}

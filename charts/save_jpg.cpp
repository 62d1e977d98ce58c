// 保存JPG图片: JPEG writing.
#include "save_jpg.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QRandomGenerator>

#include "platform/program_folder.h"

namespace {

QString ErrnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Creates a new file beside the target under a name no other file has; the umask applies to it as
// to any new file. The descriptor, or -1 with errno set.
int OpenSibling(const QString &target, QByteArray &name)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 64; ++attempt) {
        name = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.' +
                                 QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp"));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

bool WritePictureFile(const QImage &image, const QString &fileName, const char *format, int quality,
                      QString &error)
{
    // A link stays a link: the picture replaces the file it points to.
    const QString target = FileBehindLink(fileName);
    const QByteArray path = QFile::encodeName(target);
    struct stat old {};
    const bool existed = ::stat(path.constData(), &old) == 0;
    // The old file is replaced by renaming, which its own mode does not stop (only its folder's
    // does), so a read-only file the user agreed to write over is written over.
    QByteArray temporary;
    const int fd = OpenSibling(target, temporary);
    if (fd < 0) {
        error = ErrnoText(errno);
        return false;
    }
    bool ok = false;
    {
        QFile file;
        file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
        QImageWriter writer(&file, format);
        writer.setQuality(quality);
        ok = writer.write(image);
        if (!ok)
            error = writer.errorString();
        else if (!(ok = file.flush()))
            error = file.errorString();
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        error = ErrnoText(errno);
    }
    // The new file takes the old one's permissions before it takes its place.
    if (ok && existed)
        ::fchmod(fd, old.st_mode & 07777);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = ErrnoText(errno);
    }
    if (ok && ::rename(temporary.constData(), path.constData()) != 0) {
        ok = false;
        error = ErrnoText(errno);
    }
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
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
        // The file written over keeps its times (its mode came with the writing); a failure here
        // leaves a good picture, so it is not reported. The new file is the user's own, so its times
        // can be set whatever its mode.
        const struct timespec times[2] = {old.st_atim, old.st_mtim};
        ::utimensat(AT_FDCWD, path.constData(), times, 0);
    }
    return true;
}

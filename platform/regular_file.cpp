// A file named from outside the program opened for reading only when it is a regular file.
#include "regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::~RegularFile()
{
    Close();
}

FileOpening RegularFile::Open(const QString &path)
{
    Close();
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return FileOpening::Unreadable;
    if (!S_ISREG(st.st_mode))
        return FileOpening::NotAFile;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FileOpening::Unreadable;
    const bool looked = ::fstat(fd, &st) == 0;
    if (!looked || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return looked ? FileOpening::NotAFile : FileOpening::Unreadable;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_size = st.st_size;
    return FileOpening::Opened;
}

bool RegularFile::HandTo(QFile &file)
{
    if (m_fd < 0 || !file.open(m_fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    m_fd = -1;
    return true;
}

void RegularFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

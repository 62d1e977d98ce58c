// A file named from outside the program (chosen in a file dialog, typed, listed in a folder) opened for
// reading only when it is a regular file.
#pragma once

#include <QFile>
#include <QString>

// What RegularFile::Open found.
enum class FileOpening {
    Opened,      // a regular file, now open for reading
    Unreadable,  // missing, or it cannot be looked at or opened
    NotAFile,    // a folder, a named pipe, a device: anything but a regular file
};

// A regular file open for reading by its descriptor (reads wait as usual; closed on exec), closed with
// the object unless handed to a QFile. Anything else is refused without anything waiting on it: the
// open of a named pipe waits for a writer for good, and a pipe or a device may never end.
class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // Opens the file at path (a link followed), closing the one opened before. What its name shows to
    // be no regular file is not opened at all; the open itself does not wait, and what it opened is
    // looked at again, so that a file swapped for a pipe meanwhile is refused too.
    FileOpening Open(const QString &path);
    // The descriptor; -1 while none is open.
    int Fd() const { return m_fd; }
    // The file's size in bytes when it was opened (also after HandTo); 0 when none was opened.
    qint64 Size() const { return m_size; }
    // Hands the descriptor to file, opened read-only, which closes it from then on. False, the
    // descriptor kept here, when none is open or QFile does not take it.
    bool HandTo(QFile &file);

private:
    void Close();

    int m_fd = -1;
    qint64 m_size = 0;
};

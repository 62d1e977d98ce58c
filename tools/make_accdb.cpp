// Build step: makes ACC.MDB from data/ when it is missing; an existing file is left as it is.
#include <cstdio>

#include <QFileInfo>
#include <QString>

#include "storage/db_create.h"

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_accdb <ACC.MDB path> <data folder>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (QFileInfo::exists(path))
        return 0;
    if (!CreateAccDb(path, QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "make_accdb: cannot make %s\n", argv[1]);
        return 1;
    }
    return 0;
}

// The layering of the sources: procedures never see a widget, no folder includes a header of a folder
// above it, and only the database layer speaks to SQLite.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

TEST(Layering, ProceduresNameNoWidgets)
{
    const QRegularExpression banned(QStringLiteral(R"(\b(QWidget|QMessageBox|QApplication|QtWidgets)\b)"));
    const QString root = QStringLiteral(KELVARO_SOURCE_DIR);
    QStringList offenders;
    int scanned = 0;
    for (const char *folder : {"platform", "storage", "market", "records", "mainwindow", "charts", "exchange"}) {
        QDirIterator it(root + u'/' + QLatin1String(folder), {"*.h", "*.cpp"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(QStringLiteral("/forms/")))
                continue;
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
            ++scanned;
            if (banned.match(QString::fromUtf8(f.readAll())).hasMatch())
                offenders << path;
        }
    }
    EXPECT_GT(scanned, 0);
    EXPECT_TRUE(offenders.isEmpty()) << offenders.join(u'\n').toStdString();
}

// The folders link one way: a source file includes headers of its own folder and of the folders below
// it, never of one above (tests/ and bench/ sit on top and may include anything).
TEST(Layering, NoFolderIncludesAHeaderOfAFolderAboveIt)
{
    const QStringList order = {"platform", "storage", "market", "records", "exchange", "charts", "mainwindow", "app"};
    const QRegularExpression include(QStringLiteral(R"re(^\s*#\s*include\s*"([A-Za-z_]+)/)re"),
                                     QRegularExpression::MultilineOption);
    const QString root = QStringLiteral(KELVARO_SOURCE_DIR);
    QStringList offenders;
    int scanned = 0;
    for (int level = 0; level < order.size(); ++level) {
        QDirIterator it(root + u'/' + order[level], {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
            ++scanned;
            auto matches = include.globalMatch(QString::fromUtf8(f.readAll()));
            while (matches.hasNext()) {
                const int target = order.indexOf(matches.next().captured(1));
                if (target > level)
                    offenders << path;
            }
        }
    }
    EXPECT_GT(scanned, 0);
    EXPECT_TRUE(offenders.isEmpty()) << offenders.join(u'\n').toStdString();
}

// Only platform/ and storage/ speak to SQLite itself; the modules above them go through the layer.
TEST(Layering, OnlyTheDatabaseLayerIncludesSqlite)
{
    const QRegularExpression include(QStringLiteral(R"re(^\s*#\s*include\s*[<"]sqlite3\.h[>"])re"),
                                     QRegularExpression::MultilineOption);
    const QString root = QStringLiteral(KELVARO_SOURCE_DIR);
    QStringList offenders;
    int scanned = 0;
    for (const char *folder : {"market", "records", "exchange", "charts", "mainwindow", "app"}) {
        QDirIterator it(root + u'/' + QLatin1String(folder), {"*.h", "*.cpp"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
            ++scanned;
            if (include.match(QString::fromUtf8(f.readAll())).hasMatch())
                offenders << path;
        }
    }
    EXPECT_GT(scanned, 0);
    EXPECT_TRUE(offenders.isEmpty()) << offenders.join(u'\n').toStdString();
}

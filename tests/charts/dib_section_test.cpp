// The 24-bit bitmap (row layout, copies, resampling, random fill, clipboard) and its JPEG writing.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include "charts/dib_section.h"
#include "charts/save_jpg.h"

namespace {

// An image whose upper `split` rows are red and the rest blue.
QImage RedOverBlue(int width, int height, int split)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < split; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    return image;
}

// The bytes of the bitmap's row in memory (0 = the bottom row).
std::vector<int> RowBytes(const cDIBSection &dib, int row)
{
    const uint8_t *p = dib.DIBSectionBitsPtr() + static_cast<size_t>(row) * dib.BytesPerScanLine();
    return std::vector<int>(p, p + dib.BytesPerScanLine());
}

bool Near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// Runs the action as a user whom permission bits stop: as root (whom they stop not) in a child that
// has become "nobody", with the folder opened to it. The action's result.
bool AsOrdinaryUser(const QString &folder, const std::function<bool()> &action)
{
    if (::geteuid() != 0)
        return action();
    const passwd *nobody = ::getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    if (::chmod(QFile::encodeName(folder).constData(), 0777) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0 && action();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(DibSectionTest, RowsAreBottomUpBlueGreenRedPaddedWithZeros)
{
    cDIBSection dib;
    for (const auto &[width, stride] : std::vector<std::pair<int, int>>{{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}}) {
        ASSERT_TRUE(dib.Create(width, 2));
        EXPECT_EQ(dib.BytesPerScanLine(), stride) << width;
        EXPECT_EQ(dib.Header().biSizeImage, static_cast<uint32_t>(stride * 2)) << width;
    }
    for (const auto &[width, height] : std::vector<std::pair<int, int>>{{0, 5}, {5, 0}, {-3, 2}, {2, -1}, {16385, 1}, {1, 100000}}) {
        EXPECT_FALSE(dib.Create(width, height)) << width << "x" << height;
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
        EXPECT_EQ(dib.Width(), 0);
    }
    dib.CreateFromPicture(QImage());
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr) << "a null picture gives no bitmap";

    dib.CreateFromPicture(RedOverBlue(3, 2, 1));
    const BitmapInfoHeader &h = dib.Header();
    EXPECT_EQ(std::vector<int>({int(h.biSize), h.biWidth, h.biHeight, h.biPlanes, h.biBitCount, int(h.biCompression),
                                int(h.biSizeImage)}),
              std::vector<int>({40, 3, 2, 1, 24, 0, 24}));
    EXPECT_EQ(RowBytes(dib, 0), std::vector<int>({0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0, 0, 0})) << "bottom row blue";
    EXPECT_EQ(RowBytes(dib, 1), std::vector<int>({0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0})) << "top row red";
    EXPECT_EQ(dib.ToImage(), RedOverBlue(3, 2, 1).convertToFormat(QImage::Format_BGR888));
}

TEST(DibSectionTest, BlockCopiesTakeTheBitmapsSizeForMinusOneAndActOnlyOnAPlainCopy)
{
    QImage source(6, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            source.setPixel(x, y, qRgb(x * 40, y * 50, 7));
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(4, 3));
    dib.LoadPictureBlt(source, 1, 2);
    QImage shown = dib.ToImage();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(shown.pixel(x, y), source.pixel(x + 1, y + 2)) << x << "," << y;

    // Only the part the source has is copied; a raster operation other than a copy changes nothing.
    ASSERT_TRUE(dib.Create(4, 3));
    dib.LoadPictureBlt(source, 4, 3, 2, -1);
    shown = dib.ToImage();
    EXPECT_EQ(shown.pixel(0, 0), source.pixel(4, 3));
    EXPECT_EQ(shown.pixel(1, 1), source.pixel(5, 4));
    EXPECT_EQ(shown.pixel(2, 0), qRgb(0, 0, 0)) << "beyond the width asked for";
    EXPECT_EQ(shown.pixel(0, 2), qRgb(0, 0, 0)) << "beyond the source";
    dib.LoadPictureBlt(source, 0, 0, -1, -1, 0x00EE0086);
    EXPECT_EQ(dib.ToImage(), shown);

    QImage canvas(8, 8, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        dib.PaintPicture(painter, 2, 1);
        dib.PaintPicture(painter, 0, 0, -1, -1, 0, 0, 0x008800C6);
    }
    EXPECT_EQ(canvas.copy(2, 1, 4, 3), shown.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(canvas.pixel(6, 1), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(DibSectionTest, ResampleCopiesKeepsTheCornerAndStaysInsideNarrowSources)
{
    QImage gradient(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            gradient.setPixel(x, y, qRgb(x * 60, y * 60, 255 - x * 30));
    struct Case {
        QImage source;
        int newWidth, newHeight;
    };
    const Case cases[] = {
        {gradient, 4, 4}, {gradient, 2, 2}, {gradient, 7, 3}, {RedOverBlue(1, 1, 1), 3, 3},
        {RedOverBlue(1, 4, 2), 3, 2}, {RedOverBlue(5, 1, 1), 2, 4},
    };
    for (const Case &c : cases) {
        cDIBSection dib;
        dib.CreateFromPicture(c.source);
        const std::unique_ptr<cDIBSection> out = dib.Resample(c.newHeight, c.newWidth);
        ASSERT_TRUE(out) << c.newWidth << "x" << c.newHeight;
        ASSERT_EQ(out->Width(), c.newWidth);
        ASSERT_EQ(out->Height(), c.newHeight);
        EXPECT_EQ(RowBytes(*out, 0)[0], RowBytes(dib, 0)[0]) << "corner (0, 0) kept";
        EXPECT_EQ(RowBytes(*out, 0)[2], RowBytes(dib, 0)[2]);
        if (c.newWidth == dib.Width() && c.newHeight == dib.Height()) {
            EXPECT_EQ(out->ToImage(), dib.ToImage()) << "the same size is a plain copy";
        }
        if (dib.Width() == 1 && dib.Height() == 1) {
            EXPECT_EQ(out->ToImage(), RedOverBlue(3, 3, 3).convertToFormat(QImage::Format_BGR888))
                << "one pixel spreads to all";
        }
        // The padding of every row stays 0.
        for (int row = 0; row < out->Height(); ++row)
            for (int b = out->Width() * 3; b < out->BytesPerScanLine(); ++b)
                EXPECT_EQ(RowBytes(*out, row)[b], 0);
    }
    cDIBSection dib;
    dib.CreateFromPicture(gradient);
    EXPECT_EQ(dib.Resample(0, 3), nullptr);
}

TEST(DibSectionTest, RandomFillKeepsBlueZeroOrGreysEveryPixel)
{
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(7, 5));
    for (bool grey : {false, true}) {
        dib.RandomiseBits(grey);
        std::set<int> values;
        for (int row = 0; row < 5; ++row) {
            const std::vector<int> bytes = RowBytes(dib, row);
            for (int x = 0; x < 7; ++x) {
                if (grey) {
                    EXPECT_EQ(bytes[x * 3], bytes[x * 3 + 1]);
                    EXPECT_EQ(bytes[x * 3], bytes[x * 3 + 2]);
                } else {
                    EXPECT_EQ(bytes[x * 3], 0) << "blue of pixel " << x << " row " << row;
                }
                values.insert(bytes[x * 3 + 2]);
            }
            EXPECT_EQ(std::vector<int>(bytes.begin() + 21, bytes.end()), std::vector<int>(3, 0)) << "padding";
        }
        EXPECT_GT(values.size(), 5u) << "the values vary";
    }
}

TEST(DibSectionTest, ClipboardTakesTheImageOnlyForAFalseFlag)
{
    cDIBSection dib;
    EXPECT_FALSE(dib.CopyToClipboard(false)) << "empty";
    dib.CreateFromPicture(RedOverBlue(5, 4, 2));
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(dib.CopyToClipboard(true));
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
    EXPECT_TRUE(dib.CopyToClipboard(false));
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), RedOverBlue(5, 4, 2));
}

TEST(SaveDibAsJpegTest, RowsOfEveryPaddingComeOutUprightInTheirColours)
{
    QTemporaryDir dir;
    for (int width : {5, 6, 7, 16}) {
        cDIBSection dib;
        dib.CreateFromPicture(RedOverBlue(width, 32, 16));
        const QString path = dir.filePath(QStringLiteral("w%1.jpg").arg(width));
        QString error;
        ASSERT_TRUE(SaveDibAsJpeg(dib, path, 80, error)) << error.toStdString();
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), "jpeg");
        const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(back.size(), QSize(width, 32));
        for (int y : {0, 5, 10, 21, 26, 31})
            for (int x = 0; x < width; ++x)
                EXPECT_TRUE(Near(back.pixel(x, y), y < 16 ? qRgb(255, 0, 0) : qRgb(0, 0, 255), 10))
                    << "width " << width << " pixel " << x << "," << y << " is " << std::hex << back.pixel(x, y);
    }
    EXPECT_EQ(FilesIn(dir.path()).size(), 4) << "no temporary file is left";
}

TEST(SaveDibAsJpegTest, AnOverwrittenFileKeepsItsTimesAndModeAndAFailureKeepsIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.jpg"));
    const QByteArray native = QFile::encodeName(path);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old picture");
    }
    const time_t jan2020 = 1577836800;  // 2020-01-01 00:00:00 UTC
    const utimbuf times{jan2020 + 60, jan2020};
    ASSERT_EQ(::utime(native.constData(), &times), 0);
    ASSERT_EQ(::chmod(native.constData(), 0444), 0);

    cDIBSection dib;
    dib.CreateFromPicture(RedOverBlue(9, 9, 4));
    QString error;
    // The old file is read-only: the user who agreed to write over it is not stopped by that.
    ASSERT_TRUE(AsOrdinaryUser(dir.path(), [&] { return SaveDibAsJpeg(dib, path, 80, error); }))
        << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(native.constData(), &st), 0);
    EXPECT_EQ(st.st_mtime, jan2020);
    EXPECT_EQ(st.st_atime, jan2020 + 60);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(3), QByteArray("\xFF\xD8\xFF"));
    f.close();
    // So is a BMP, which keeps the mode too.
    const QString bmp = dir.filePath(QStringLiteral("old.bmp"));
    ASSERT_TRUE(QFile::copy(path, bmp));
    ASSERT_EQ(::chmod(QFile::encodeName(bmp).constData(), 0444), 0);
    ASSERT_TRUE(AsOrdinaryUser(dir.path(), [&] { return WritePictureFile(dib.ToImage(), bmp, "bmp", -1, error); }))
        << error.toStdString();
    EXPECT_EQ(QImageReader(bmp).format(), "bmp");
    ASSERT_EQ(::stat(QFile::encodeName(bmp).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    ASSERT_TRUE(QFile::remove(bmp));

    // A write that fails (an empty bitmap) leaves the old file whole and no temporary file behind.
    const QByteArray before = [&] {
        QFile g(path);
        g.open(QIODevice::ReadOnly);
        return g.readAll();
    }();
    cDIBSection empty;
    EXPECT_FALSE(SaveDibAsJpeg(empty, path, 80, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Failed to save to JPG "))) << error.toStdString();
    QFile g(path);
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    EXPECT_EQ(g.readAll(), before);
    EXPECT_EQ(FilesIn(dir.path()), QStringList{QStringLiteral("old.jpg")});

    // A folder that does not exist.
    error.clear();
    EXPECT_FALSE(SaveDibAsJpeg(dib, dir.filePath(QStringLiteral("missing/x.jpg")), 80, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Failed to save to JPG "))) << error.toStdString();
    EXPECT_GT(error.size(), 22) << "the writer's reason follows";
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing"))));
}

// The pop-up menus and the chart picture saving: the grid items' commands, the colour form, and
// BMP and JPEG files of a chart with a line laid over it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImageReader>
#include <QMenu>

#include "charts/forms/ktrade_disp_set.h"
#include "fixtures/db_fixture.h"
#include "mainwindow/forms/col_set.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/forms/msf_view_set.h"
#include "mainwindow/forms/pop.h"
#include "platform/busy_guard.h"
#include "storage/dialogs.h"
#include "storage/params.h"

namespace {

const QString kSaveFailed = QStringLiteral("保存图片出错！");

class POPTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        ResetFormParamSets();
        MainWindowHooks() = MFHooks{};
        MainWindowHooks().commandRun = [this](int index) { commands.push_back(index); };
        MainWindowHooks().endProgram = [] {};
        // A chart 200 × 120 pixels: black, a grey block drawn into its picture, and a yellow line
        // 4 pixels wide laid over it at x 48..51 as the crosshair is.
        chart = std::make_unique<PictureBox>();
        chart->resize(200, 120);
        chart->picture().BackColor = 0x000000;
        chart->picture().Cls();
        Canvas &dc = chart->picture().hDC();
        dc.SelectPen({0x808080, PS_SOLID, 1});
        dc.SelectBrush({true, 0x808080});
        dc.Rectangle(120, 20, 180, 100);
        chart->picture().Refresh();
        auto *line = new QFrame(chart.get());
        line->setGeometry(48, 0, 4, 120);
        line->setAutoFillBackground(true);
        QPalette p = line->palette();
        p.setColor(QPalette::Window, QColor(255, 255, 0));
        line->setPalette(p);
        POP()->TargetPic = chart.get();
    }
    void TearDown() override
    {
        delete LoadedKTradeDispSet();
        delete LoadedColSet();
        delete LoadedMSFViewSet();
        delete LoadedPOP();
        delete LoadedMF();
        chart.reset();
        MainWindowHooks() = MFHooks{};
        RecordsWindowHooks() = RecordsHooks{};
        DbFixture::TearDown();
    }
    // Saves the chart answering the dialog with the path (nothing: cancelled) and the overwrite
    // question with the answer; returns the messages shown.
    QStringList Save(const std::optional<QString> &path, int answer = Msg::Yes)
    {
        prompter.shown.clear();
        prompter.fileAnswers = {path};
        prompter.messageAnswers = {answer};
        POP()->SaveChartPicture();
        return prompter.Messages();
    }
    static QByteArray Bytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QImage Read(const QString &path, const char *format)
    {
        QImageReader reader(path, format);
        return reader.read().convertToFormat(QImage::Format_RGB32);
    }

    std::vector<int> commands;
    std::unique_ptr<PictureBox> chart;
};

}  // namespace

TEST_F(POPTest, MenusCarryTheirItemsAndRunTheirCommands)
{
    POPForm *pop = POP();
    EXPECT_FALSE(pop->isVisible());
    EXPECT_EQ(pop->windowTitle(), QStringLiteral("弹出菜单"));
    QStringList chartItems, gridItems;
    for (QAction *a : pop->mKTrade->actions())
        chartItems << (a->isSeparator() ? QStringLiteral("-") : a->text());
    for (QAction *a : pop->mMSF->actions())
        gridItems << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(chartItems, QStringList({"导出图片", "外观设置"}));
    EXPECT_EQ(gridItems, QStringList({"导出表格", "导入数据", "-", "列设置", "颜色设置"}));

    // The column chooser (22) and the grid colours (21) run as commands of the main window.
    for (QAction *a : {pop->mColSet, pop->mColorSet})
        a->trigger();
    EXPECT_EQ(commands, (std::vector<int>{22, 21}));
    commands.clear();
    ASSERT_NE(LoadedColSet(), nullptr);
    ASSERT_NE(LoadedMSFViewSet(), nullptr);
    EXPECT_TRUE(LoadedColSet()->isVisible());
    EXPECT_TRUE(LoadedMSFViewSet()->isVisible());
    LoadedColSet()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    {
        // A long operation under way: the items do nothing.
        BusyGuard busy;
        pop->mOutput->trigger();
        pop->mInputRec->trigger();
        pop->mColSet->trigger();
        pop->mKTradeDispSet->trigger();
        pop->mKLineOutput->trigger();
    }
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(LoadedColSet(), nullptr);
    EXPECT_EQ(LoadedKTradeDispSet(), nullptr);
    EXPECT_TRUE(prompter.shown.empty());

    pop->mKTradeDispSet->trigger();
    ASSERT_NE(LoadedKTradeDispSet(), nullptr);
    EXPECT_TRUE(LoadedKTradeDispSet()->isVisible());

    // Opening a menu remembers its control until the next opening.
    FlexGridView grid;
    pop->ShowGridMenu(&grid, QPoint(10, 10));
    EXPECT_EQ(pop->TargetMSF, &grid);
    pop->mMSF->hide();
    pop->ShowChartMenu(chart.get(), QPoint(10, 10));
    EXPECT_EQ(pop->TargetPic, chart.get());
    EXPECT_EQ(pop->TargetMSF, &grid);
    pop->mKTrade->hide();
}

TEST_F(POPTest, JpegShowsTheWindowWithItsLineAndAnyOtherNameIsABmpOfTheDrawnChart)
{
    const QString jpg = PathOf(QStringLiteral("chart.JPG"));
    EXPECT_TRUE(Save(jpg).isEmpty());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, ConvertFileFilter(QStringLiteral("位图格式(*.bmp)|*.bmp|JPEG格式(*.jpg)|*.jpg")));
    EXPECT_TRUE(Bytes(jpg).startsWith("\xFF\xD8\xFF"));
    const QImage shown = Read(jpg, "jpeg");
    ASSERT_EQ(shown.size(), QSize(200, 120));
    EXPECT_GT(qRed(shown.pixel(49, 60)), 200) << "the line laid over the chart is in the JPEG";
    EXPECT_GT(qGreen(shown.pixel(50, 60)), 200);
    EXPECT_LT(qGray(shown.pixel(20, 60)), 30);
    EXPECT_NEAR(qGray(shown.pixel(150, 60)), 128, 12);

    for (const QString &name : {QStringLiteral("chart.png"), QStringLiteral("chart"), QStringLiteral("chart.jpeg")}) {
        const QString path = PathOf(name);
        EXPECT_TRUE(Save(path).isEmpty());
        const QByteArray bytes = Bytes(path);
        ASSERT_TRUE(bytes.startsWith("BM")) << name.toStdString();
        EXPECT_EQ(static_cast<uint8_t>(bytes[28]), 24) << "24 bits a pixel";
        const QImage drawn = Read(path, "bmp");
        ASSERT_EQ(drawn.size(), QSize(200, 120));
        EXPECT_EQ(drawn.pixel(49, 60), qRgb(0, 0, 0)) << "the BMP holds the drawn chart alone";
        EXPECT_EQ(drawn.pixel(150, 60), qRgb(128, 128, 128));
    }
    EXPECT_EQ(QDir(Folder()).entryList({QStringLiteral("chart*")}, QDir::Files | QDir::Hidden).size(), 4)
        << "no temporary file is left";
}

TEST_F(POPTest, AnExistingFileIsWrittenOverOnlyAfterYesAndAFailureIsReportedForBothFormats)
{
    for (const QString &name : {QStringLiteral("old.bmp"), QStringLiteral("old.jpg")}) {
        const QString path = PathOf(name);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        const utimbuf times{1577836800, 1577836800};
        ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0);
        // Read-only: Yes writes over it all the same, and it stays read-only.
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);

        EXPECT_EQ(Save(path, Msg::No),
                  QStringList{QStringLiteral("文件“") + path + QStringLiteral("”已存在，是否覆盖？")});
        EXPECT_EQ(prompter.shown.back().style & (7 | Msg::DefaultButton2), Msg::YesNo + Msg::DefaultButton2);
        EXPECT_EQ(Bytes(path), QByteArray("keep me"));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mtime, 1577836800) << name.toStdString();

        EXPECT_EQ(Save(path, Msg::Yes).size(), 1);
        EXPECT_NE(Bytes(path), QByteArray("keep me")) << name.toStdString();
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0444u) << name.toStdString();
    }

    // Cancelled: nothing asked, nothing written.
    const int before = QDir(Folder()).entryList(QDir::Files).size();
    EXPECT_TRUE(Save(std::nullopt).isEmpty());
    EXPECT_EQ(QDir(Folder()).entryList(QDir::Files).size(), before);

    for (const QString &name : {QStringLiteral("missing/x.jpg"), QStringLiteral("missing/x.bmp")})
        EXPECT_EQ(Save(PathOf(name)), QStringList{kSaveFailed}) << name.toStdString();

    // The chart gone: nothing is asked.
    chart.reset();
    EXPECT_TRUE(Save(PathOf(QStringLiteral("gone.bmp"))).isEmpty());
    EXPECT_TRUE(prompter.shown.empty());
}

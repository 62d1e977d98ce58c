// The main window's export command: the trade grid as the user sees it goes to the chosen file.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "fixtures/db_fixture.h"
#include "fixtures/dialog_driver.h"
#include "mainwindow/forms/mf.h"
#include "platform/forms/qt_prompter.h"
#include "platform/gbk.h"
#include "storage/params.h"

namespace {

class MFExportTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        ResetFormParamSets();
        MainWindowHooks() = MFHooks{};
    }
    void TearDown() override
    {
        delete LoadedMF();
        MainWindowHooks() = MFHooks{};
        DbFixture::TearDown();
    }
};

TEST_F(MFExportTest, CommandSevenExportsTheTradeGrid)
{
    FlexGrid &grid = MF()->MSF[0]->Grid();
    grid.SetCols(3);
    grid.SetRows(3);
    grid.SetFixedRows(2);
    const QStringList texts = {"", "code", "sname", "", "代码", "名称", "1", "000001", "平安银行"};
    for (int i = 0; i < 9; ++i)
        grid.SetTextMatrix(i / 3, i % 3, texts[i]);
    grid.SetColWidth(0, 0);
    grid.SetRowHeight(0, 0);
    const QString path = PathOf("trades.csv");
    prompter.fileAnswers = {path};

    MF()->Com_Click(7);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), EncodeGbk("代码,名称\r\n000001,平安银行\r\n"));
}

// Through Qt's own dialog: the type picked decides the format, and a second export over the same name
// meets one question, the export's own, which Enter answers with No.
TEST_F(MFExportTest, TheTypePickedInTheRealDialogDecidesTheFormat)
{
    FlexGrid &grid = MF()->MSF[0]->Grid();
    grid.SetCols(2);
    grid.SetRows(3);
    grid.SetFixedRows(2);
    grid.SetTextMatrix(1, 1, "代码");
    grid.SetTextMatrix(2, 1, "000001");
    QtPrompter real;
    SetPrompter(&real);
    const QString path = PathOf("report.xlsx");
    std::shared_ptr<QString> question;
    QByteArray written;
    for (int round = 0; round < 2; ++round) {
        const auto visit = DriveNextFileDialog(2, PathOf("report"));
        if (round == 1)
            question = PressEnterInNextMessageBox();
        MF()->Com_Click(7);
        EXPECT_TRUE(visit->question.isEmpty()) << "the dialog asks nothing of its own";
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        if (round == 0)
            written = f.readAll();
        else
            EXPECT_EQ(f.readAll(), written) << "No kept the file";
    }
    SetPrompter(&prompter);
    EXPECT_EQ(*question, "该文件已存在，是否覆盖？");
    EXPECT_TRUE(written.startsWith("PK")) << "a workbook";
    EXPECT_FALSE(QFileInfo::exists(PathOf("report.csv")));
}

}  // namespace

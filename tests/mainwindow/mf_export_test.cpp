// The main window's export command: the trade grid as the user sees it goes to the chosen file.
#include <gtest/gtest.h>

#include <QFile>

#include "fixtures/db_fixture.h"
#include "mainwindow/forms/mf.h"
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

}  // namespace

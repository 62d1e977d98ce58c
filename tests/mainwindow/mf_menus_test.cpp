// The main window's menu bar: its menus and items, and what the items run.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QUrl>

#include "charts/forms/ktrade_disp_set.h"
#include "fixtures/db_fixture.h"
#include "mainwindow/forms/mf.h"
#include "platform/busy_guard.h"
#include "platform/program_folder.h"
#include "storage/dialogs.h"
#include "storage/params.h"

namespace {

class MenusTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        ResetFormParamSets();
        MainWindowHooks() = MFHooks{};
        MainWindowHooks().endProgram = [this] { ++ended; };
        SetShellOpenHook([this](const QUrl &url) { opened << url.toLocalFile(); });
    }
    void TearDown() override
    {
        SetShellOpenHook({});
        delete LoadedKTradeDispSet();
        delete LoadedMF();
        MainWindowHooks() = MFHooks{};
        RecordsWindowHooks() = RecordsHooks{};
        DbFixture::TearDown();
    }
    static QAction *Item(const char *name) { return MF()->findChild<QAction *>(QString::fromUtf8(name)); }

    QStringList opened;
    int ended = 0;
};

// "-" is a separator; a command item shows its index after "=", another item its name.
struct MenuRow {
    const char *name;
    const char *caption;
    QStringList items;
};

TEST_F(MenusTest, MenuBarHoldsTheMenusAndItemsInOrder)
{
    // Each menu: name, caption, then its items; a command item ends in "=" and its index.
    const QStringList expected = {
        "mSys 系统: mSet 设置 | mEnd 退出",
        "mEdit 编辑: mAddTradeRec 添加交易记录=0 | mEditTradeRec 编辑交易记录=1 | mAddBuyRec 添加买入记录=10 | "
        "mSaleStock 卖出当前股票=3 | - | mJoinSale 合并卖出股票=8 | mDividSale 分拆卖出股票=9",
        "mAnalyse 分析: mAnaProfit 收益情况分析=4 | mAnaStructure 资产构成分析=5",
        "mSet1 设置: mMSFViewSet 表格外观设置=21 | mColSet 表格列设置=22 | mKSet K线外观设置",
        "mTools 工具: mDividRec 拆分交易记录=12 | mJoinRec 合并交易记录=20",
        "mDB 数据库: mCompact 整理数据库=19 | - | mInputData 导入数据=6 | mOutputData 导出数据=7 | - | "
        "mBackup 备份数据 | mRestore 恢复备份 | - | mClearDB 清空数据",
        "mHelp 帮助: mIntrudation 使用说明 | mAbout 关于软件",
    };
    QStringList menus;
    for (const QAction *m : MF()->menuBar()->actions()) {
        QStringList items;
        for (const QAction *a : m->menu()->actions())
            items << (a->isSeparator() ? "-" : a->objectName() + ' ' + a->text() +
                                               (a->data().isValid() ? '=' + a->data().toString() : ""));
        menus << m->menu()->objectName() + ' ' + m->menu()->title() + ": " + items.join(" | ");
    }
    EXPECT_EQ(menus, expected);
    EXPECT_EQ(MF()->mDB->menuAction(), MF()->menuBar()->actions().value(5));
}

TEST_F(MenusTest, ItemsRunOnlyWhenNoLongOperationIsUnderWay)
{
    // A help page in the program folder, in another letter case.
    QFile help(PathOf("help.HTML"));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.close();
    const QList<QAction *> all = MF()->findChildren<QAction *>();
    {
        BusyGuard busy;
        for (QAction *a : all)
            if (!a->isSeparator() && !a->menu())
                a->trigger();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(LoadedKTradeDispSet(), nullptr);
    EXPECT_NE(LoadedMF(), nullptr);

    // Each item reaches what it runs: the help page, the K-line colours, the import's and the
    // backup's file dialogs, the clearing's question.
    Item("mIntrudation")->trigger();
    EXPECT_EQ(opened, QStringList{PathOf("help.HTML")});
    QFile::remove(PathOf("help.HTML"));
    Item("mIntrudation")->trigger();
    EXPECT_EQ(opened.last(), QCoreApplication::applicationDirPath() + "/HELP.html");

    Item("mKSet")->trigger();
    ASSERT_NE(LoadedKTradeDispSet(), nullptr);
    EXPECT_TRUE(LoadedKTradeDispSet()->isVisible());

    struct Case {
        const char *item;
        QString kind;
        QString text;
    };
    const Case cases[] = {
        {"mInputData", "file", ""},
        {"mBackup", "file", ConvertFileFilter(QStringLiteral("DBK (数据备份文件)(*.dbk)|*.dbk"))},
        {"mRestore", "file", ConvertFileFilter(QStringLiteral("DBK (数据备份文件)(*.dbk)|*.dbk"))},
        {"mClearDB", "message", "您确定要清空所有数据【数据一旦清空将无法恢复】？"},
    };
    for (const Case &c : cases) {
        prompter.shown.clear();
        prompter.messageAnswers = {Msg::No};
        Item(c.item)->trigger();
        ASSERT_FALSE(prompter.shown.empty()) << c.item;
        EXPECT_EQ(prompter.shown[0].kind, c.kind) << c.item;
        if (!c.text.isEmpty()) {
            EXPECT_EQ(prompter.shown[0].text, c.text) << c.item;
        }
    }

    Item("mEnd")->trigger();
    QElapsedTimer t;
    t.start();
    while (LoadedMF() && t.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(LoadedMF(), nullptr);
    EXPECT_EQ(ended, 1);
}

}  // namespace

// MF: the menu bar and the handlers of its items that run no command.
#include "mf.h"

#include <vector>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include "charts/forms/cap_structure_form.h"
#include "charts/forms/invest_compare_form.h"
#include "charts/forms/ktrade_disp_set.h"
#include "mainwindow/db_maintain.h"
#include "mainwindow/forms/col_set.h"
#include "mainwindow/forms/msf_view_set.h"
#include "mainwindow/forms/rightform.h"
#include "mainwindow/forms/sys_set.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "records/forms/acc_edit.h"
#include "records/forms/stock_buy.h"
#include "storage/dialogs.h"
#include "storage/forms/form_ops.h"

namespace {

// One menu item: its name and caption, then the command it runs (-1 for none) or its handler. A
// null name is a separator.
struct MenuItemDef {
    const char *name;
    const char *caption;
    int command;
    void (MFWindow::*handler)();
};

struct MenuDef {
    QMenu *MFWindow::*menu;
    const char *name;
    const char *caption;
    std::vector<MenuItemDef> items;
};

constexpr MenuItemDef kSeparator{nullptr, "-", -1, nullptr};

const MenuDef kMenus[] = {
    {&MFWindow::mSys,
     "mSys",
     "系统",
     {{"mSet", "设置", -1, &MFWindow::mSet_Click}, {"mEnd", "退出", -1, &MFWindow::mEnd_Click}}},
    {&MFWindow::mEdit,
     "mEdit",
     "编辑",
     {{"mAddTradeRec", "添加交易记录", 0, nullptr},
      {"mEditTradeRec", "编辑交易记录", 1, nullptr},
      {"mAddBuyRec", "添加买入记录", 10, nullptr},
      {"mSaleStock", "卖出当前股票", 3, nullptr},
      kSeparator,
      {"mJoinSale", "合并卖出股票", 8, nullptr},
      {"mDividSale", "分拆卖出股票", 9, nullptr}}},
    {&MFWindow::mAnalyse,
     "mAnalyse",
     "分析",
     {{"mAnaProfit", "收益情况分析", 4, nullptr}, {"mAnaStructure", "资产构成分析", 5, nullptr}}},
    {&MFWindow::mSet1,
     "mSet1",
     "设置",
     {{"mMSFViewSet", "表格外观设置", 21, nullptr},
      {"mColSet", "表格列设置", 22, nullptr},
      {"mKSet", "K线外观设置", -1, &MFWindow::mKSet_Click}}},
    {&MFWindow::mTools,
     "mTools",
     "工具",
     {{"mDividRec", "拆分交易记录", 12, nullptr}, {"mJoinRec", "合并交易记录", 20, nullptr}}},
    {&MFWindow::mDB,
     "mDB",
     "数据库",
     {{"mCompact", "整理数据库", 19, nullptr},
      kSeparator,
      {"mInputData", "导入数据", 6, nullptr},
      {"mOutputData", "导出数据", 7, nullptr},
      kSeparator,
      {"mBackup", "备份数据", -1, &MFWindow::mBackup_Click},
      {"mRestore", "恢复备份", -1, &MFWindow::mRestore_Click},
      kSeparator,
      {"mClearDB", "清空数据", -1, &MFWindow::mClearDB_Click}}},
    {&MFWindow::mHelp,
     "mHelp",
     "帮助",
     {{"mIntrudation", "使用说明", -1, &MFWindow::mIntrudation_Click},
      {"mAbout", "关于软件", -1, &MFWindow::mAbout_Click}}},
};

}  // namespace

void MFWindow::BuildMenus()
{
    for (const MenuDef &m : kMenus) {
        QMenu *menu = menuBar()->addMenu(QString::fromUtf8(m.caption));
        menu->setObjectName(QString::fromUtf8(m.name));
        this->*m.menu = menu;
        for (const MenuItemDef &item : m.items) {
            if (!item.name) {
                menu->addSeparator();
                continue;
            }
            QAction *action = menu->addAction(QString::fromUtf8(item.caption));
            action->setObjectName(QString::fromUtf8(item.name));
            if (item.command >= 0) {
                action->setData(item.command);
                connect(action, &QAction::triggered, this,
                        [this, index = item.command] { RunUserEvent([this, index] { Com_Click(index); }); });
            } else {
                connect(action, &QAction::triggered, this,
                        [this, handler = item.handler] { RunUserEvent([this, handler] { (this->*handler)(); }); });
            }
        }
    }
}

void MFWindow::mSet_Click()
{
    ShowModeless(SysSet());
}

void MFWindow::mEnd_Click()
{
    // The close waits for the end of this event, which holds the busy guard.
    close();
}

void MFWindow::mKSet_Click()
{
    ShowModeless(KTradeDispSet());
}

void MFWindow::mBackup_Click()
{
    BackupDatabase();
}

void MFWindow::mRestore_Click()
{
    if (RestoreDatabase(CloseRecordWindows))
        RestartSys();
}

void MFWindow::mClearDB_Click()
{
    if (ClearDatabase(CloseRecordWindows))
        RestartSys();
}

void MFWindow::mIntrudation_Click()
{
    const QString name = QStringLiteral("HELP.html");
    QString help = ProgramFilePath(name);
    if (!QFileInfo::exists(help))
        help = ResolveFileName(QCoreApplication::applicationDirPath(), name);
    // Without a browser (or without the page) the user learns where the page is.
    const QString where = QStringLiteral("\r\n") + QDir::toNativeSeparators(QFileInfo(help).absoluteFilePath());
    if (!QFileInfo::exists(help))
        MsgBox(QStringLiteral("找不到使用说明的网页文件：") + where, Msg::OkOnly | Msg::Exclamation);
    else if (!ShellOpen(help))
        MsgBox(QStringLiteral("无法打开使用说明，请用浏览器打开这个网页文件：") + where,
               Msg::OkOnly | Msg::Exclamation);
}

void MFWindow::mAbout_Click()
{
    ShowModeless(Rightform());
}

void CloseRecordWindows()
{
    const QList<QWidget *> windows = {LoadedAccEdit(),    LoadedStockBuy(),      LoadedKTradeDispSet(),
                                      LoadedSysSet(),     LoadedMSFViewSet(),    LoadedColSet(),
                                      LoadedInvestCompare(), LoadedCapStructure()};
    for (QWidget *w : windows)
        if (w)
            w->close();
}

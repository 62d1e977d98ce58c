// POP: the main window's two pop-up menus, the chart's ("K线分布图": save the chart as a picture,
// its colours) and the grid's ("表格": export, import, columns, colours), and the saving of a chart
// as a BMP or JPEG picture. The window itself is never shown; it is loaded on first use and stays.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "platform/forms/flex_grid_view.h"
#include "platform/forms/picture_box.h"
#include "storage/dialogs.h"

class QAction;
class QMenu;

class POPForm : public QWidget {
    Q_OBJECT
public:
    // Builds the hidden window (caption "弹出菜单") and its menus.
    POPForm();

    // The program's shared file and colour dialog.
    CommonDialog &CMM;
    // The last capture of a chart window, what a JPEG is made of.
    QImage Pic1;
    // The chart menu and its items "导出图片", "外观设置".
    QMenu *mKTrade = nullptr;
    QAction *mKLineOutput = nullptr;
    QAction *mKTradeDispSet = nullptr;
    // The grid menu and its items "导出表格", "导入数据", a separator, "列设置", "颜色设置".
    QMenu *mMSF = nullptr;
    QAction *mOutput = nullptr;
    QAction *mInputRec = nullptr;
    QAction *mLine1 = nullptr;
    QAction *mColSet = nullptr;
    QAction *mColorSet = nullptr;
    // The chart and the grid the menus were last opened for; they keep them until the next opening
    // (nullptr once that control is destroyed).
    QPointer<PictureBox> TargetPic;
    QPointer<FlexGridView> TargetMSF;

    // Opens the chart menu for the chart picture at the screen position (the press of a button
    // other than the left one on the chart).
    void ShowChartMenu(PictureBox *pic, const QPoint &globalPos);
    // Opens the grid menu for the grid at the screen position (a right press on a grid).
    void ShowGridMenu(FlexGridView *grid, const QPoint &globalPos);

    // Saves the chart of TargetPic as a picture file the user names. A name ending in ".jpg" (in any
    // case) gets a JPEG of quality 80 of the chart window as it shows, lines and labels laid over it
    // included; any other name a 24-bit BMP of the drawn chart alone. An existing file is written over
    // only when the user says Yes to "文件“path”已存在，是否覆盖？", and is left as it was when the
    // write fails, which shows "保存图片出错！". Nothing without a chart or when the dialog is cancelled.
    void SaveChartPicture();

    // The menu items' handlers: commands 7 (export), 6 (import), 22 (column chooser) and 21 (grid
    // colours) of the main window; the chart picture saving; the K-line colour form, modeless. Each
    // does nothing while a long operation holds the busy guard.
    void mOutput_Click();
    void mInputRec_Click();
    void mColSet_Click();
    void mColorSet_Click();
    void mKLineOutput_Click();
    void mKTradeDispSet_Click();
};

// The pop-up menus' window, loaded (hidden) on first use.
POPForm *POP();
// The window when it is loaded, else nullptr (never creates it).
POPForm *LoadedPOP();

// POP: the pop-up menus and the chart picture saving.
#include "pop.h"

#include <functional>

#include <QFileInfo>
#include <QMenu>

#include "charts/dib_section.h"
#include "charts/forms/ktrade_disp_set.h"
#include "charts/forms/save_picture.h"
#include "charts/save_jpg.h"
#include "mainwindow/forms/mf.h"
#include "platform/prompter.h"
#include "storage/forms/form_ops.h"

namespace {

QPointer<POPForm> &Loaded()
{
    static QPointer<POPForm> form;
    return form;
}

// Runs a menu item as a user event of the main window: not while a long operation is under way.
void RunMenuItem(const std::function<void()> &handler)
{
    MF()->RunUserEvent(handler);
}

void RunCommand(int index)
{
    RunMenuItem([index] { MF()->Com_Click(index); });
}

}  // namespace

POPForm::POPForm() : CMM(SharedDialog())
{
    setWindowTitle(QStringLiteral("弹出菜单"));
    RegisterFormWidget(this, QStringLiteral("POP"));

    mKTrade = new QMenu(QStringLiteral("K线分布图"), this);
    mKLineOutput = mKTrade->addAction(QStringLiteral("导出图片"));
    mKTradeDispSet = mKTrade->addAction(QStringLiteral("外观设置"));
    mMSF = new QMenu(QStringLiteral("表格"), this);
    mOutput = mMSF->addAction(QStringLiteral("导出表格"));
    mInputRec = mMSF->addAction(QStringLiteral("导入数据"));
    mLine1 = mMSF->addSeparator();
    mColSet = mMSF->addAction(QStringLiteral("列设置"));
    mColorSet = mMSF->addAction(QStringLiteral("颜色设置"));

    connect(mKLineOutput, &QAction::triggered, this, [this] { mKLineOutput_Click(); });
    connect(mKTradeDispSet, &QAction::triggered, this, [this] { mKTradeDispSet_Click(); });
    connect(mOutput, &QAction::triggered, this, [this] { mOutput_Click(); });
    connect(mInputRec, &QAction::triggered, this, [this] { mInputRec_Click(); });
    connect(mColSet, &QAction::triggered, this, [this] { mColSet_Click(); });
    connect(mColorSet, &QAction::triggered, this, [this] { mColorSet_Click(); });
}

void POPForm::ShowChartMenu(PictureBox *pic, const QPoint &globalPos)
{
    TargetPic = pic;
    mKTrade->popup(globalPos);
}

void POPForm::ShowGridMenu(FlexGridView *grid, const QPoint &globalPos)
{
    TargetMSF = grid;
    mMSF->popup(globalPos);
}

void POPForm::mOutput_Click()
{
    RunCommand(7);
}

void POPForm::mInputRec_Click()
{
    RunCommand(6);
}

void POPForm::mColSet_Click()
{
    RunCommand(22);
}

void POPForm::mColorSet_Click()
{
    RunCommand(21);
}

void POPForm::mKLineOutput_Click()
{
    RunMenuItem([this] { SaveChartPicture(); });
}

void POPForm::mKTradeDispSet_Click()
{
    RunMenuItem([] { ShowModeless(KTradeDispSet()); });
}

void POPForm::SaveChartPicture()
{
    if (!TargetPic)
        return;
    Pic1 = CaptureWholeWindow(TargetPic);
    QString filter = QStringLiteral("位图格式(*.bmp)|*.bmp|JPEG格式(*.jpg)|*.jpg");
    const QString path = GetFileNameDlg(filter, true);
    // The chart may have gone while the dialog was open.
    if (path.isEmpty() || !TargetPic)
        return;
    if (QFileInfo::exists(path) && MsgBox(QStringLiteral("文件“") + path + QStringLiteral("”已存在，是否覆盖？"),
                                          Msg::YesNo + Msg::Question + Msg::DefaultButton2) != Msg::Yes)
        return;
    bool saved = false;
    QString error;
    if (path.right(4).toLower() != QStringLiteral(".jpg")) {
        const QImage drawn = TargetPic->picture().Image().convertToFormat(QImage::Format_RGB32);
        saved = WritePictureFile(drawn, path, "bmp", -1, error);
    } else {
        cDIBSection dib;
        dib.CreateFromPicture(Pic1);
        saved = SaveDibAsJpeg(dib, path, 80, error);
    }
    if (!saved)
        MsgBox(QStringLiteral("保存图片出错！"));
}

POPForm *POP()
{
    if (!Loaded())
        Loaded() = new POPForm();
    return Loaded();
}

POPForm *LoadedPOP()
{
    return Loaded();
}

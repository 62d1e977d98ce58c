// MSFViewSet: the grid colour form.
#include "msf_view_set.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>

#include "mainwindow/forms/mf.h"
#include "mainwindow/trade_grid.h"
#include "platform/busy_guard.h"
#include "platform/forms/color_box.h"
#include "storage/forms/form_instance.h"
#include "storage/forms/form_ops.h"

namespace {

const QString kFormName = QStringLiteral("MSFViewSet");

constexpr const char *kBoxLabels[] = {
    "上涨(持有)颜色：", "上涨(已卖)颜色：", "下跌(持有)颜色：", "下跌(已卖)颜色：", "持平(持有)颜色：",
    "持平(已卖)颜色：", "实时(上涨)颜色：", "实时(下跌)颜色：", "实时(持平)颜色：",
};

void RefreshMainWindow()
{
    MF()->TV_NodeClick(MF()->CurrentNode);
}

}  // namespace

MSFViewSetForm::MSFViewSetForm()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("表格外观设置"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    RegisterFormWidget(this, kFormName);

    auto *boxes = new QGridLayout;
    boxes->setVerticalSpacing(6);
    for (int i = 0; i < static_cast<int>(TT.size()); ++i) {
        Label1[i] = new QLabel(QString::fromUtf8(kBoxLabels[i]), this);
        Label1[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        TT[i] = new ColorBox(this);
        TT[i]->setFixedSize(64, 22);
        TT[i]->SetBackColor(kDesignedTradeColors[i]);
        boxes->addWidget(Label1[i], i, 0);
        boxes->addWidget(TT[i], i, 1);
        connect(TT[i], &ColorBox::clicked, this, [this, i] { TT_Click(i); });
        m_controls.Register(ControlKind::tt, i, TT[i]);
    }

    const ButtonRow row = LayOutWithButtons(this, boxes, {QStringLiteral("确   定"), QStringLiteral("取   消")},
                                            [this](int i) { Com_Click(i); });
    Com = {row.buttons[0], row.buttons[1]};

    Form_Load();
}

void MSFViewSetForm::Form_Load()
{
    RestoreFormParams(&m_controls, QString(), MSFViewSetParams());
    m_copy = MSFViewSetParams();
    for (ColorBox *box : TT)
        box->TakeColorFromText();
}

void MSFViewSetForm::TT_Click(int index)
{
    // A pick and the cancel refill the grid: they are ignored while a long operation runs.
    if (index < 0 || index >= static_cast<int>(TT.size()) || IsBusy())
        return;
    const BusyGuard busy;
    ColorBox *box = TT[index];
    const ColorRef chosen = ChooseColor(box->BackColor(), &CMM);
    if (chosen == box->BackColor())
        return;
    box->ShowColor(chosen);
    SaveFormParams(&m_controls, kFormName, MSFViewSetParams(), true, true);
    RefreshMainWindow();
}

void MSFViewSetForm::Com_Click(int index)
{
    if (index == 1) {
        if (IsBusy())
            return;
        const BusyGuard busy;
        MSFViewSetParams() = m_copy;
        RefreshMainWindow();
    }
    close();
}

void MSFViewSetForm::closeEvent(QCloseEvent *event)
{
    // Form_Unload: the record as it stands is stored, unchanged by this step.
    SaveFormParams(&m_controls, kFormName, MSFViewSetParams(), false, false);
    FormInstance<MSFViewSetForm>::Forget(this);
    event->accept();
}

MSFViewSetForm *MSFViewSet()
{
    return FormInstance<MSFViewSetForm>::Get();
}

MSFViewSetForm *LoadedMSFViewSet()
{
    return FormInstance<MSFViewSetForm>::Loaded();
}

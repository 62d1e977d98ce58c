// KTradeDispSet: the K-line colour form.
#include "ktrade_disp_set.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>

#include "charts/kline.h"
#include "charts/kline_draw.h"
#include "platform/forms/color_box.h"
#include "storage/dialogs.h"
#include "storage/forms/form_ops.h"

namespace {

const QString kFormName = QStringLiteral("KTradeDispSet");

const std::array<const char *, 16> kEntryNames = {
    "背景颜色：", "上涨K线：", "下跌K线：", "平收K线：", "买入[未卖]：", "卖出标签：", "做T赢标签：", "做T亏标签：",
    "买入[已卖]：", "箭头线[赢]：", "箭头线[亏]：", "当前成本：", "仓位线：", "成本价线：", "坐标线：", "空位：",
};

QPointer<KTradeDispSetForm> &Loaded()
{
    static QPointer<KTradeDispSetForm> form;
    return form;
}

}  // namespace

KTradeDispSetForm::KTradeDispSetForm()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("交易分布图显示设置"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    RegisterFormWidget(this, kFormName);

    auto *boxes = new QGridLayout;
    boxes->setHorizontalSpacing(8);
    boxes->setVerticalSpacing(6);
    for (int i = 0; i < 16; ++i) {
        Label1[i] = new QLabel(QString::fromUtf8(kEntryNames[i]), this);
        Label1[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        TT[i] = new ColorBox(this);
        TT[i]->setFixedSize(64, 22);
        // The design colour is the entry's default: the table's own colour while nothing is stored.
        TT[i]->SetBackColor(GetKLineColor(i));
        const int row = i % 8;
        const int column = i / 8 * 2;
        boxes->addWidget(Label1[i], row, column);
        boxes->addWidget(TT[i], row, column + 1);
        connect(TT[i], &ColorBox::clicked, this, [this, i] { TT_Click(i); });
        m_controls.Register(ControlKind::tt, i, TT[i]);
    }
    boxes->setColumnMinimumWidth(2, 100);

    const ButtonRow row = LayOutWithButtons(this, boxes, {QStringLiteral("确   定"), QStringLiteral("取   消")},
                                            [this](int i) { Com_Click(i); });
    Line1 = row.line;
    Com = {row.buttons[0], row.buttons[1]};

    Form_Load();
}

void KTradeDispSetForm::Form_Load()
{
    RestoreFormParams(&m_controls, QString(), KTradeDispSetParams());
    m_copy = KTradeDispSetParams();
    for (ColorBox *box : TT)
        box->TakeColorFromText();
}

void KTradeDispSetForm::TT_Click(int index)
{
    if (index < 0 || index >= static_cast<int>(TT.size()))
        return;
    ColorBox *box = TT[index];
    const ColorRef chosen = ChooseColor(box->BackColor());
    if (chosen == box->BackColor())
        return;
    box->ShowColor(chosen);
    SaveFormParams(&m_controls, kFormName, KTradeDispSetParams(), true, true);
    ShowKLine(QString());
}

void KTradeDispSetForm::Com_Click(int index)
{
    if (index > 0) {
        KTradeDispSetParams() = m_copy;
        ShowKLine(QString());
    }
    close();
}

void KTradeDispSetForm::Form_Unload()
{
    SaveFormParams(&m_controls, kFormName, KTradeDispSetParams(), false, false);
}

void KTradeDispSetForm::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    // The next use loads a new window while this one waits for its deletion.
    if (Loaded() == this)
        Loaded() = nullptr;
    event->accept();
}

KTradeDispSetForm *KTradeDispSet()
{
    if (!Loaded())
        Loaded() = new KTradeDispSetForm;
    return Loaded();
}

KTradeDispSetForm *LoadedKTradeDispSet()
{
    return Loaded();
}

// SysSet: the system settings form.
#include "sys_set.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "mainwindow/forms/mf.h"
#include "platform/busy_guard.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/value.h"
#include "records/deelres.h"
#include "storage/db_operate.h"
#include "storage/forms/form_instance.h"
#include "storage/forms/form_ops.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

const QString kFormName = QStringLiteral("SysSet");

struct BoxDesign {
    const char *label;
    const char *text;
};
constexpr BoxDesign kBoxes[] = {
    {"初始资金(元)：", "10"},        {"交易佣金(千分之)：", "0.3"}, {"每次加仓倍数：", "1"},
    {"实时更新间隔(秒)：", "5"},     {"默认建仓仓位%：", "7.5"},
};

// The settings in force as the boxes write them (per mille and percent, not fractions).
QString SettingInForce(int index)
{
    switch (index) {
    case 0: return NumberText(InitialCapital());
    case 1: return NumberText(CommissionRate() * 1000);
    case 2: return NumberText(AddPositionMultiple());
    case 3: return NumberText(RefreshSeconds());
    default: return NumberText(DefaultPositionRatio() * 100);
    }
}

}  // namespace

SysSetForm::SysSetForm()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("系统设置"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    RegisterFormWidget(this, kFormName);

    auto *boxes = new QGridLayout;
    for (int i = 0; i < static_cast<int>(TT.size()); ++i) {
        Label1[i] = new QLabel(QString::fromUtf8(kBoxes[i].label), this);
        Label1[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        TT[i] = new QLineEdit(QString::fromUtf8(kBoxes[i].text), this);
        TT[i]->setMinimumWidth(120);
        boxes->addWidget(Label1[i], i, 0);
        boxes->addWidget(TT[i], i, 1);
        m_controls.Register(ControlKind::tt, i, TT[i]);
    }
    TT[3]->setToolTip(QStringLiteral("更新实时价格的时间间隔（0表示不更新）"));

    const ButtonRow row = LayOutWithButtons(this, boxes, {QStringLiteral("确   定"), QStringLiteral("取   消")},
                                            [this](int i) { Com_Click(i); });
    Com = {row.buttons[0], row.buttons[1]};

    Form_Load();
}

void SysSetForm::Form_Load()
{
    RestoreFormParams(&m_controls, QString(), SysSetParams());
    const int saved = static_cast<int>(SysSetParams().tt.size());
    for (int i = saved; i < static_cast<int>(TT.size()); ++i)
        TT[i]->setText(SettingInForce(i));
    m_capitalTag = TT[0]->text();
}

void SysSetForm::Com_Click(int index)
{
    // OK waits while a long operation runs: it would refill the grid or rebuild the asset table in
    // the middle of it.
    if (index == 0 && IsBusy())
        return;
    const BusyGuard busy;
    if (index == 0) {
        SaveFormParams(&m_controls, kFormName, SysSetParams(), false, true);
        LoadSysParams();
        if (LeadingNumber(TT[0]->text()) != LeadingNumber(m_capitalTag)) {
            ExecSql(QStringLiteral("DELETE * FROM DEELRES"));
            RecalcDeelRes(kEmptyDate, true);
            MF()->TV_NodeClick(MF()->CurrentNode);
        }
    }
    close();
}

void SysSetForm::closeEvent(QCloseEvent *event)
{
    FormInstance<SysSetForm>::Forget(this);
    event->accept();
}

SysSetForm *SysSet()
{
    return FormInstance<SysSetForm>::Get();
}

SysSetForm *LoadedSysSet()
{
    return FormInstance<SysSetForm>::Loaded();
}

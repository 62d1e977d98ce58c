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
#include "platform/prompter.h"
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

// What each box may hold, in the order of the boxes: a number from min to max (above min when
// aboveMin), or 0 where it means "off", or nothing where an empty box is allowed.
struct BoxRule {
    double min;
    double max;
    bool aboveMin;
    bool zeroAllowed;
    bool emptyAllowed;
    const char *message;
};
constexpr BoxRule kRules[] = {
    {0, 1e12, false, false, true, "错误：初始资金(元)应为0至1万亿之间的数字，或者留空！"},
    {0, 30, false, false, false, "错误：交易佣金(千分之)应为0至30之间的数字！"},
    {0, 100, true, false, false, "错误：每次加仓倍数应为大于0、不超过100的数字！"},
    {1, 3600, false, true, false, "错误：实时更新间隔(秒)应为0（不更新）或1至3600之间的数字！"},
    {0, 100, false, false, false, "错误：默认建仓仓位%应为0至100之间的数字！"},
};

// Each box must hold a number as typed within its range. The first that does not shows its message
// and takes the focus, and false is returned. Otherwise each box is written back without blanks and
// thousands separators, so that the settings read from the stored texts are the numbers checked.
bool TakeBoxes(const std::array<QLineEdit *, 5> &boxes)
{
    for (size_t i = 0; i < boxes.size(); ++i) {
        const BoxRule &rule = kRules[i];
        const QString text = boxes[i]->text();
        if (rule.emptyAllowed && text.trimmed().isEmpty())
            continue;
        const std::optional<double> v = TypedNumber(text);
        const bool inRange = v && ((rule.zeroAllowed && *v == 0) ||
                                   ((rule.aboveMin ? *v > rule.min : *v >= rule.min) && *v <= rule.max));
        if (!inRange) {
            MsgBox(QString::fromUtf8(rule.message), Msg::OkOnly);
            boxes[i]->setFocus();
            boxes[i]->selectAll();
            return false;
        }
    }
    for (QLineEdit *box : boxes)
        box->setText(box->text().trimmed().remove(u','));
    return true;
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
    // OK is ignored while a long operation runs: it would refill the grid or rebuild the asset table
    // in the middle of it.
    if (index == 0 && IsBusy())
        return;
    const BusyGuard busy;
    if (index == 0) {
        if (!TakeBoxes(TT))
            return;
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

// CapStructure: the capital-structure window.
#include "cap_structure_form.h"

#include <algorithm>
#include <cmath>

#include <QLabel>
#include <QPointer>
#include <QSlider>

#include "market/market_clock.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/recordset.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/forms/form_ops.h"

namespace {

// The margins the pie is drawn with, in twips; only the top and bottom ones count.
constexpr int kPieMargin = 2000;

QPointer<CapStructureForm> &Loaded()
{
    static QPointer<CapStructureForm> form;
    return form;
}

}  // namespace

CapStructureForm::CapStructureForm() : QWidget(nullptr, Qt::Window)
{
    setObjectName(QStringLiteral("CapStructure"));
    setWindowTitle(QStringLiteral("资产构成"));
    setAttribute(Qt::WA_DeleteOnClose);
    Label1 = new QLabel(QStringLiteral("日期："), this);
    Label1->setGeometry(8, 8, 44, 24);
    LBL[0] = new QLabel(this);
    LBL[0]->setGeometry(52, 8, 96, 24);
    Sld = new QSlider(Qt::Horizontal, this);
    Sld->setGeometry(156, 6, 600, 28);
    Sld->setRange(0, 10);
    Sld->setPageStep(30);
    Pic = new PictureBox(this);
    Pic->setGeometry(0, 40, 800, 560);
    Pic->picture().BackColor = 0x000000;
    Pic->picture().ForeColor = 0xFFFFFF;
    resize(800, 600);
    connect(Sld, &QSlider::valueChanged, this, &CapStructureForm::Sld_Change);
    RegisterFormWidget(this, QStringLiteral("CapStructure"));
}

CapStructureForm::~CapStructureForm() = default;

void CapStructureForm::Form_Load()
{
    double first = 0;
    double today = 0;
    CalDateRange(Sld, first, today);
    m_gate = true;
    Sld->setValue(Sld->maximum());
}

void CapStructureForm::Form_Resize()
{
    Sld->setGeometry(Sld->x(), Sld->y(), std::max(0, width() - Sld->x()), Sld->height());
    Pic->setGeometry(0, Pic->y(), width(), std::max(0, height() - Pic->y()));
    Sld_Change();
}

void CapStructureForm::Sld_Change()
{
    if (!m_gate)
        return;
    const auto first = ReadDateText(Sld->property("Tag").toString());
    if (!first)
        return;
    LBL[0]->setText(FormatValue(MakeDate(*first + Sld->value())));
    const auto day = ReadDateText(LBL[0]->text());
    if (!day)
        return;
    m_cap = StatisticsCap(*day);
    DrawStructureGraph(Pic->picture(), m_cap, kPieMargin, kPieMargin, kPieMargin, kPieMargin);
}

void CapStructureForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void CalDateRange(QSlider *sld, double &first, double &today)
{
    today = MarketTodayDayNumber();
    first = today - 10;
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT * FROM account ORDER BY bdate")) && !rs.AtEOF())
        first = IntOf(rs.Field(QStringLiteral("bdate")).ToDouble());
    CloseRs(conn, rs);
    const double days = std::max(std::nearbyint(today - first), 1.0);
    sld->setMaximum(static_cast<int>(std::min(days, 2147483647.0)));
    sld->setMinimum(0);
    sld->setProperty("Tag", DateText(first));
}

CapStructureForm *CapStructure()
{
    if (!Loaded()) {
        Loaded() = new CapStructureForm;
        Loaded()->Form_Load();
    }
    return Loaded();
}

CapStructureForm *LoadedCapStructure()
{
    return Loaded();
}

void ShowCapStructure()
{
    ShowModeless(CapStructure());
}

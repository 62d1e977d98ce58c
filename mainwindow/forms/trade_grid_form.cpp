// 买卖列表 (window side): the trade grid and the two lines of the main window.
#include "trade_grid_form.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>

#include "mainwindow/forms/mf.h"
#include "mainwindow/trade_grid.h"
#include "platform/daynum.h"
#include "storage/forms/widget_controls.h"
#include "storage/indicator.h"

void LoadTradeGrid(FlexGridView *grid)
{
    MFWindow *mf = MF();
    TradeGridControls controls;
    controls.node = mf->CurrentNode;
    controls.held = CheckBoxValue(mf->Chk[0]);
    controls.sold = CheckBoxValue(mf->Chk[1]);
    controls.bestOnly = CheckBoxValue(mf->Chk[3]);
    controls.d0 = DayNumberOf(mf->DTP[0]->date());
    controls.d1 = DayNumberOf(mf->DTP[1]->date());
    controls.minDate = DayNumberOf(mf->DTP[0]->minimumDate());
    controls.maxDate = DayNumberOf(mf->DTP[1]->maximumDate());
    if (!LoadTradeGrid(grid->Grid(), controls))
        return;
    ShowAssetStatus(mf->LBL);
    ShowHoldingsSummary(mf->LBL[1]);
}

void ShowAssetStatus(const std::array<QLabel *, 3> &labels)
{
    if (const auto line = AssetStatusText())
        labels[0]->setText(*line);
    labels[0]->setToolTip(labels[0]->text());
    ShowStatusText(labels[0]->text());
}

void ShowHoldingsSummary(QLabel *label)
{
    label->setText(HoldingsSummaryText());
}

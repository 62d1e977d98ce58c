// 买卖列表 (window side): the trade grid and the two lines of the main window filled from its
// controls.
#pragma once

#include <array>

class FlexGridView;
class QLabel;

// Refills the trade grid (the main window's MSF[0]) for the window's current node, check boxes and
// date pickers; unless no node is selected, then the asset status line (LBL[0]) and the holdings
// summary (LBL[1]).
void LoadTradeGrid(FlexGridView *grid);

// The asset status line into labels[0] when there is an asset row; in every case its tool tip and
// the status line take the label's caption.
void ShowAssetStatus(const std::array<QLabel *, 3> &labels);

// The holdings summary as the label's caption.
void ShowHoldingsSummary(QLabel *label);

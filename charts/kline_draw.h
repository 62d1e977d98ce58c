// K线图 drawing: the K-line colour table and the drawing of the K-line picture from the chart data.
#pragma once

#include "platform/canvas.h"
#include "platform/picture.h"

// Entry i (0..15) of the K-line colour table: the leading number of KTradeDispSetParams().tt[i] as a
// colour number; 0 when the entry is missing or holds no number.
ColorRef GetKLineColor(int i);

// Redraws the whole K-line picture from KLineData(), the series and PositionCost. For now it clears
// the picture to its BackColor and shows it.
void DrawTradeKLine(Picture &pic);

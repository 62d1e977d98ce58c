// 资产构成: how the capital was split on one day. The cost value of each stock held that day and the
// cash balance become the slices of a pie, laid out in twips and drawn on a chart picture with a
// labelled leader line per slice.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "platform/picture.h"

// One slice of the pie. Element 0 of a slice list is the cash ("" and "余额"), then the stocks held,
// largest cost value first.
struct CapSlice {
    QString code;
    QString sname;
    // The cost value of the holding (shares × buy price, summed over its records) or the cash, in yuan.
    double amount = 0;
    // amount / the total of all slices, 0..1; 0 for every slice when the total is below 1 yuan.
    float share = 0;
};

// The slices of day d (a day number): every record bought on or before d and not sold by d (unsold,
// or sold after d) counts with shares × buy price, summed per code and name; element 0 is the cash of
// the latest asset-table day on or before d, rounded to whole yuan (halves to even; 0 when there is
// no such day). The shares are taken against the total of the holdings and the cash (a negative
// cash counts 0 there, so that the holdings make up the whole pie and the cash's share is negative),
// rounded to whole yuan after each addition. When the records cannot be read (logged to RunErr.txt)
// only the cash slice is there.
std::vector<CapSlice> StatisticsCap(double d);

// The colour of slice i of n: the nearest whole number (halves to even) to b / n × (n − i) + a / n × i,
// the two colour numbers blended as plain integers, not channel by channel. i = 0 gives b, i = n
// gives a; n = 0 gives b.
int32_t CalColor(int32_t a, int32_t b, int32_t n, int32_t i);

// The sector of one slice, angles in radians counter-clockwise from 3 o'clock. The walk starts at the
// top of the circle with the last slice and goes down to the cash slice; each sector starts where the
// one before it ended as drawn.
struct PieSector {
    int index = 0;
    float share = 0;
    ColorRef color = 0;
    double start = 0;
    // start + share × a full turn, and the same less a full turn when it passed one (what is drawn).
    double end = 0;
    double drawEnd = 0;
};

// The label of one slice, in twips: the anchor on the circle, the leader line from it to the bend on
// the label line and on along that line to the text, the heading above the line and the amount on it.
struct PieLabel {
    int index = 0;
    // The angle in the middle of the slice, from angles that never went round a full turn.
    double mid = 0;
    bool left = false;
    int anchorX = 0;
    int anchorY = 0;
    // The label line.
    int y = 0;
    double bendX = 0;
    // Where the leader line and the texts end: 120 in the left column, width − 120 in the right
    // column, where the texts end at it.
    int textX = 0;
    QString heading;
    QString amountText;
};

struct PieLayout {
    double r = 0;
    int cx = 0;
    int cy = 0;
    // The step between the label lines at the start of the walk.
    int spacing = 0;
    std::vector<PieSector> sectors;
    std::vector<PieLabel> labels;
};

// The pie of the slices on a picture of width × height twips, below a top margin m3 and above a
// bottom margin m4: radius (height − m3 − m4) / 2, at least 500, about the picture's centre. Sectors
// and labels come in the order of the walk, from the last slice to slice 0. A label lies in the left
// column when its slice's middle lies on the left half of the circle; the left column's lines run
// down from y 500, the right column's up from its bottom.
PieLayout LayoutStructureGraph(const std::vector<CapSlice> &slices, int width, int height, int m3, int m4);

// Clears the picture and draws the pie of the slices: sectors filled in their colours and outlined
// white (a share of 1 or more a whole disc, a share of 0 or less none), grey leader lines with a dot
// at the anchor, and the texts in ForeColor (cell height 15). m1 and m2 are not used. Refreshes the
// picture at the end.
void DrawStructureGraph(Picture &pic, const std::vector<CapSlice> &slices, int m1, int m2, int m3, int m4);

// 资产构成: the slices of a day, their pie layout and its drawing.
#include "cap_structure.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "charts/text_out.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/recordset.h"
#include "platform/value.h"
#include "storage/common.h"
#include "storage/db_operate.h"

namespace {

// The angles of the chart, with π taken as 3.1415926.
constexpr double kPi = 3.1415926;
constexpr double kTurn = 6.2831852;
constexpr double kTop = 1.5707963;
constexpr double kBottom = 9.4247778 / 2;

constexpr ColorRef kOutline = 0xFFFFFF;
constexpr ColorRef kLeader = 0xAAAAAA;
constexpr int kTextHeight = 15;
constexpr int kMargin = 500;
constexpr int kTextInset = 120;
constexpr int kHeadingRise = 240;
constexpr int kAnchorRadius = 15;

double Whole(double v)
{
    return std::nearbyint(v);
}

int WholeInt(double v)
{
    return ClngOf(v).value_or(0);
}

}  // namespace

std::vector<CapSlice> StatisticsCap(double d)
{
    const QString day = DateText(d);
    const QString inner = QStringLiteral("SELECT code,sname,num*bprice AS sm FROM account WHERE bdate<=#") + day +
                          QStringLiteral("# AND (sprice<=0 OR sdate>#") + day + QStringLiteral("#)");
    const QString middle = QStringLiteral("SELECT code,sname,sum(sm) AS sm FROM (") + inner +
                           QStringLiteral(") GROUP BY code,sname");
    const QString sql = QStringLiteral("SELECT * FROM (") + middle + QStringLiteral(") ORDER BY sm DESC");

    std::vector<CapSlice> slices(1);
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, sql)) {
        slices.reserve(static_cast<size_t>(rs.RecordCount()) + 1);
        for (; !rs.AtEOF(); rs.MoveNext()) {
            CapSlice s;
            s.code = rs.Field(QStringLiteral("code")).ToText();
            s.sname = rs.Field(QStringLiteral("sname")).ToText();
            s.amount = rs.Field(QStringLiteral("sm")).ToDouble();
            slices.push_back(s);
        }
    }
    CloseRs(conn, rs);

    const Value cash = GetFieldValue(QStringLiteral("DeelRes"),
                                     QStringLiteral("dat<=#") + day + QStringLiteral("# ORDER BY dat DESC"),
                                     QStringLiteral("cash"), MakeString(QString()));
    slices[0].sname = QStringLiteral("余额");
    slices[0].amount = Whole(LeadingNumber(cash.ToText()));

    // An overdrawn balance is no part of what the capital is split into: counted in the total it
    // would push the holdings' shares beyond the whole pie.
    double total = std::max(slices[0].amount, 0.0);
    for (size_t i = 1; i < slices.size(); ++i)
        total = Whole(total + slices[i].amount);
    if (total < 1)
        return slices;
    for (CapSlice &s : slices)
        s.share = static_cast<float>(s.amount / total);
    return slices;
}

int32_t CalColor(int32_t a, int32_t b, int32_t n, int32_t i)
{
    if (n == 0)
        return b;
    const double blend = static_cast<double>(b) / n * (static_cast<double>(n) - i) + static_cast<double>(a) / n * i;
    return ClngOf(blend).value_or(b);
}

PieLayout LayoutStructureGraph(const std::vector<CapSlice> &slices, int width, int height, int m3, int m4)
{
    PieLayout pie;
    pie.r = std::max((static_cast<double>(height) - m3 - m4) / 2, static_cast<double>(kMargin));
    pie.cx = WholeInt(width / 2.0);
    pie.cy = WholeInt(height / 2.0);
    const int last = static_cast<int>(slices.size()) - 1;
    if (last < 0)
        return pie;

    // The left column gets as many lines as the slices from the last one that make up half the pie.
    int k = last + 1;
    double sum = 0;
    for (int i = last; i >= 0; --i) {
        sum += slices[i].share;
        if (sum >= 0.5) {
            k = last - i;
            break;
        }
    }
    if (k == 0)
        k = 1;
    int spacing = WholeInt((static_cast<double>(height) - kMargin - kMargin) / k);
    pie.spacing = spacing;

    double start = kTop;
    for (int i = last; i >= 0; --i) {
        PieSector s;
        s.index = i;
        s.share = slices[i].share;
        s.color = static_cast<ColorRef>(CalColor(0xFF0000, 255, last + 1, i));
        s.start = start;
        s.end = start + slices[i].share * kTurn;
        s.drawEnd = s.end > kTurn ? s.end - kTurn : s.end;
        start = s.drawEnd;
        pie.sectors.push_back(s);
    }

    // The labels walk the same way, but from angles that are never brought back by a full turn: the
    // slice that crosses 3 o'clock keeps its middle on its own side of the circle.
    double turn = kTop;
    double prevMid = 0;
    int y = kMargin;
    for (int i = last; i >= 0; --i) {
        const CapSlice &slice = slices[i];
        PieLabel l;
        l.index = i;
        l.mid = turn + slice.share * kPi;
        turn += slice.share * kTurn;
        l.anchorX = WholeInt(pie.cx + std::cos(l.mid) * pie.r * 39 / 40);
        l.anchorY = WholeInt(pie.cy - std::sin(l.mid) * pie.r * 39 / 40);
        l.left = kTop < l.mid && l.mid < kBottom;
        // The right column runs up from its bottom line once the walk passes the bottom of the circle.
        if (l.mid > kBottom && prevMid < kBottom) {
            spacing = WholeInt((static_cast<double>(height) - 2 * kMargin) / (i < 1 ? i + 1 : i));
            y = spacing * i + kMargin;
        }
        l.y = y;
        const int dy = std::abs(y - l.anchorY);
        const QString amount = FormatValue(MakeDouble(slice.amount));
        if (l.left) {
            l.bendX = static_cast<double>(l.anchorX) - dy;
            l.textX = kTextInset;
            l.amountText = QStringLiteral("    金额: ") + amount;
        } else {
            l.bendX = l.anchorX + pie.r / 2;
            l.textX = width - kTextInset;
            l.amountText = QStringLiteral("金额: ") + amount;
        }
        l.heading = QString::number(i) + QStringLiteral(". ") + slice.code + QStringLiteral("[") + slice.sname +
                    QStringLiteral("] ") + NumberText(RoundHalfEven(static_cast<double>(slice.share) * 100, 2)) +
                    QStringLiteral("%");
        y += l.mid < kBottom ? spacing : -spacing;
        prevMid = l.mid;
        pie.labels.push_back(l);
    }
    return pie;
}

void DrawStructureGraph(Picture &pic, const std::vector<CapSlice> &slices, int, int, int m3, int m4)
{
    pic.Cls();
    pic.FillStyle = 0;
    const PieLayout pie = LayoutStructureGraph(slices, pic.Width(), pic.Height(), m3, m4);
    for (const PieSector &s : pie.sectors) {
        pic.FillColor = s.color;
        if (s.share >= 1)
            pic.Circle(pie.cx, pie.cy, pie.r, kOutline);
        else if (s.share > 0)
            pic.Circle(pie.cx, pie.cy, pie.r, kOutline, -s.start, -s.drawEnd);
    }
    pic.FillColor = kLeader;
    for (const PieLabel &l : pie.labels) {
        pic.Circle(l.anchorX, l.anchorY, kAnchorRadius, kLeader);
        pic.Line(l.anchorX, l.anchorY, l.bendX, l.y, kLeader);
        pic.Line(l.bendX, l.y, l.textX, l.y, kLeader);
        DrawTextOut(pic, l.textX, l.y - kHeadingRise, l.heading, 0, l.left, kTextHeight, 0, kKeepForeColor);
        DrawTextOut(pic, l.textX, l.y, l.amountText, 0, l.left, kTextHeight, 0, kKeepForeColor);
    }
    pic.Refresh();
}

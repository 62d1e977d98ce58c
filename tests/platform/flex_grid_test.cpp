// The grid model: its sort, the silence while Redraw is off; and its view under the offscreen
// platform: what is hidden, the headers, colours, and presses reported in twips.
#include <gtest/gtest.h>

#include <array>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>

#include "platform/flex_grid.h"
#include "platform/forms/flex_grid_view.h"
#include "storage/grid_ops.h"

namespace {

// A grid with FixedRows 1, FixedCols 1: column 1 holds the keys, column 2 the original position (and
// each row's text colour is that position too, so both must travel with the row).
void FillKeys(FlexGrid &grid, const std::vector<QString> &keys)
{
    grid.SetCols(3);
    grid.SetRows(1 + static_cast<int>(keys.size()));
    for (size_t i = 0; i < keys.size(); ++i) {
        const int r = 1 + static_cast<int>(i);
        grid.SetTextMatrix(r, 1, keys[i]);
        grid.SetTextMatrix(r, 2, QString::number(i));
        grid.SetCellForeColor(r, 2, static_cast<uint32_t>(i));
        grid.SetCellBackColor(r, 1, static_cast<uint32_t>(100 + i));
    }
}

TEST(FlexGrid, SortKeysAreStableAndRowsMoveWithTheirColours)
{
    struct Case {
        int order;
        std::vector<QString> keys;
        std::vector<int> expected;  // original positions, top to bottom
    };
    const std::vector<QString> amounts = {"1,234.50", "999.00", "15.00", "-", "停牌", "", "-3"};
    const std::vector<QString> dates = {"2024-05-20", "2023-12-31", "2024-01-02 10:00", "2024-01-02", "2024-1-5"};
    const std::vector<QString> names = {"浦发银行", "平安银行", "中国平安", "万科A", "b", "B", "a"};
    const Case cases[] = {
        // "," is no end of the number; "", "-" and "停牌" are 0 and keep their order among themselves.
        {3, amounts, {6, 3, 4, 5, 2, 1, 0}},
        {4, amounts, {0, 1, 2, 3, 4, 5, 6}},
        // Dates by date and time, not by the leading year; "2024-1-5" is no "YYYY-MM-DD" text: 2024.
        {3, dates, {4, 1, 3, 2, 0}},
        // Chinese by its collation (pinyin, Han before Latin), not by code point; case counts.
        {7, names, {1, 0, 3, 2, 6, 4, 5}},
        {8, names, {5, 4, 6, 2, 3, 0, 1}},
        {5, names, {0, 1, 2, 3, 4, 5, 6}},
    };
    for (const Case &c : cases) {
        FlexGrid grid;
        FillKeys(grid, c.keys);
        grid.SetCol(1);
        grid.SetSort(c.order);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const int r = 1 + static_cast<int>(i);
            const int was = c.expected[i];
            EXPECT_EQ(grid.TextMatrix(r, 1), c.keys[was]) << c.order << " row " << r;
            EXPECT_EQ(grid.TextMatrix(r, 2).toInt(), was) << c.order << " row " << r;
            EXPECT_EQ(grid.CellForeColor(r, 2), static_cast<uint32_t>(was));
            EXPECT_EQ(grid.CellBackColor(r, 1), static_cast<uint32_t>(100 + was));
        }
    }
}

// Records what a view would be told.
struct RecordingObserver : FlexGridObserver {
    QStringList calls;
    void RedrawChanged(bool on) override { calls << (on ? "redraw on" : "redraw off"); }
    void Reset() override { calls << "reset"; }
    void CellsChanged(int r1, int c1, int, int) override { calls << QStringLiteral("cells %1,%2").arg(r1).arg(c1); }
    void LayoutChanged() override { calls << "layout"; }
    void SelectionChanged() override { calls << "selection"; }
    void RowColChange() override { calls << "rowcol"; }
};

TEST(FlexGrid, RedrawOffIsSilentUntilOneReset)
{
    FlexGrid grid;
    RecordingObserver seen;
    grid.SetObserver(&seen);
    grid.SetRedraw(false);
    grid.SetCols(4);
    grid.SetRows(6);
    grid.SetTextMatrix(2, 1, "x");
    grid.SetColWidth(1, 300);
    grid.SetRow(3);
    grid.SetCol(2);
    grid.SetSort(3);
    EXPECT_EQ(seen.calls, QStringList({"redraw off"}));
    grid.SetRedraw(true);
    EXPECT_EQ(seen.calls, QStringList({"redraw off", "redraw on", "reset"}));

    seen.calls.clear();
    grid.SetRow(3);  // not moved: no RowColChange
    grid.SetRow(4);
    grid.SetTextMatrix(4, 2, "y");
    grid.SetRows(3);  // Row 4 is gone: it comes back inside
    EXPECT_EQ(seen.calls, QStringList({"selection", "selection", "rowcol", "cells 4,2", "reset"}));
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_FALSE(grid.SetRows(0)) << "below the fixed rows";
    EXPECT_FALSE(grid.SetTextMatrix(3, 0, "outside"));
    EXPECT_EQ(grid.Rows(), 3);
}

// ---- the view ----

class FlexGridViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.resize(600, 300);
        FlexGrid &g = view.Grid();
        SetupGridColumns(g, {"id", "", "code", "sname", "num"}, {"", "序号", "代码", "名称", "数量"});
        g.SetRows(2 + 8);
        for (int k = 1; k <= 8; ++k) {
            g.SetTextMatrix(1 + k, 0, QString::number(100 + k));
            g.SetTextMatrix(1 + k, 1, QString::number(k));
            g.SetTextMatrix(1 + k, 2, QStringLiteral("60000%1").arg(k));
            g.SetTextMatrix(1 + k, 3, QStringLiteral("股票%1").arg(k));
        }
        SetRowForeColor(g, 3, 0x0000FF);
        g.SetCellBackColor(4, 3, 0x00FF00);
        AutoFitGridColumns(g, 1, false);
        view.show();
        QApplication::processEvents();
    }

    // Presses the left button at a pixel of a widget of the view; returns the twips reported.
    QPointF Press(QWidget *target, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        std::vector<std::array<double, 4>> down;
        const auto c = QObject::connect(&view, &FlexGridView::MouseDown, [&](int b, int s, double x, double y) {
            down.push_back({double(b), double(s), x, y});
        });
        const QPointF global = target->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, mods);
        QApplication::sendEvent(target, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton, mods);
        QApplication::sendEvent(target, &release);
        QObject::disconnect(c);
        EXPECT_EQ(down.size(), 1u);
        if (down.empty())
            return {};
        EXPECT_EQ(down[0][0], 1);
        EXPECT_EQ(down[0][1], mods & Qt::ShiftModifier ? 1 : 0);
        return {down[0][2], down[0][3]};
    }

    // The centre of a data cell (grid row, column) in viewport pixels.
    QPoint CellCentre(int row, int col)
    {
        const int r = row - view.Grid().FixedRows();
        return {view.columnViewportPosition(col) + view.columnWidth(col) / 2,
                view.rowViewportPosition(r) + view.rowHeight(r) / 2};
    }

    FlexGridView view;
};

TEST_F(FlexGridViewTest, ShowsKeysHiddenRowNumbersAsHeaderAndCellColours)
{
    const FlexGrid &g = view.Grid();
    QAbstractItemModel *m = view.model();
    ASSERT_EQ(m->rowCount(), 8);
    EXPECT_EQ(g.ColWidth(0), 0);
    EXPECT_TRUE(view.isColumnHidden(0));
    EXPECT_TRUE(view.isColumnHidden(1)) << "drawn as the row header";
    EXPECT_FALSE(view.isColumnHidden(2));
    EXPECT_EQ(view.verticalHeader()->width(), qRound(g.ColWidth(1) / 15.0));
    EXPECT_EQ(view.columnWidth(3), qRound(g.ColWidth(3) / 15.0));
    EXPECT_EQ(m->headerData(3, Qt::Horizontal).toString(), "名称");
    EXPECT_EQ(m->headerData(4, Qt::Vertical).toString(), "5");
    EXPECT_EQ(m->data(m->index(1, 3)).toString(), "股票2");
    EXPECT_EQ(m->data(m->index(1, 3), Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(m->data(m->index(1, 1), Qt::ForegroundRole), QVariant()) << "the row colour spares the fixed columns";
    EXPECT_EQ(m->data(m->index(2, 3), Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));
    // The header and every row are one height, and the grid knows it in twips.
    EXPECT_EQ(g.RowHeight(0), 0);
    EXPECT_EQ(g.RowHeight(1), view.horizontalHeader()->height() * 15);
    EXPECT_EQ(g.RowHeight(5), view.rowHeight(3) * 15);
}

TEST_F(FlexGridViewTest, PressesAreReportedInTheGridsTwipsAndSelectRows)
{
    FlexGrid &g = view.Grid();
    struct Case {
        const char *what;
        QWidget *target;
        QPoint at;
        int row, col;  // GridHitTest of the twips reported
    };
    const int lastRight = view.columnViewportPosition(4) + view.columnWidth(4);
    const Case cases[] = {
        {"cell", view.viewport(), CellCentre(4, 3), 4, 3},
        {"caption", view.horizontalHeader()->viewport(), QPoint(view.columnViewportPosition(2) + 3, 5), 1, 2},
        {"row number", view.verticalHeader()->viewport(), QPoint(4, view.rowViewportPosition(2) + 2), 4, 1},
        {"right of the last column", view.viewport(), QPoint(lastRight + 20, CellCentre(6, 2).y()), 6, 4},
    };
    for (const Case &c : cases) {
        const QPointF t = Press(c.target, c.at);
        int row = -1, col = -1;
        GridHitTest(g, t.x(), t.y(), row, col);
        EXPECT_EQ(row, c.row) << c.what;
        EXPECT_EQ(col, c.col) << c.what;
    }
    const QPointF past = Press(view.viewport(), QPoint(lastRight + 20, 5));
    EXPECT_GT(past.x(), g.ColWidth(0) + g.ColWidth(1) + g.ColWidth(2) + g.ColWidth(3) + g.ColWidth(4) - 1);

    // The user's selection reaches the grid: Row the anchor, RowSel the end; RowColChange on a move.
    int moved = 0;
    QObject::connect(&view, &FlexGridView::RowColChange, [&] { ++moved; });
    Press(view.viewport(), CellCentre(3, 2));
    EXPECT_EQ(g.Row(), 3);
    EXPECT_EQ(moved, 1);
    Press(view.viewport(), CellCentre(6, 2), Qt::ShiftModifier);
    EXPECT_EQ(g.Row(), 3);
    EXPECT_EQ(g.RowSel(), 6);
    // A procedure's selection shows in the view; with Redraw off nothing is reported.
    g.SetRedraw(false);
    EXPECT_FALSE(view.updatesEnabled());
    g.SetRow(8);
    EXPECT_EQ(moved, 1);
    g.SetRows(12);
    g.SetRedraw(true);
    EXPECT_TRUE(view.updatesEnabled());
    EXPECT_EQ(view.model()->rowCount(), 10);
    EXPECT_EQ(view.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(view.currentIndex().row(), 8 - 2);
}

// A drag on a caption's border resizes the column and reaches the grid as the user's width, which a
// refill's fit keeps and a full fit replaces; the press is no click (nothing is sorted).
TEST_F(FlexGridViewTest, BorderDragResizesWithoutAClick)
{
    FlexGrid &g = view.Grid();
    QWidget *header = view.horizontalHeader()->viewport();
    int clicks = 0;
    QObject::connect(&view, &FlexGridView::MouseDown, [&] { ++clicks; });
    auto send = [header](QEvent::Type type, int x, Qt::MouseButtons buttons) {
        const QPointF at(x, 5);
        QMouseEvent e(type, at, header->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(header, &e);
    };
    struct Case {
        const char *what;
        int col;     // the column whose right border is dragged
        int offset;  // the press, in pixels from that border
    };
    const int width2 = view.columnWidth(2);
    const Case cases[] = {
        {"the right edge of a column", 2, -1},
        {"the left edge of the next column", 2, 1},
        {"the next border", 3, -1},
    };
    for (const Case &c : cases) {
        const int before = view.columnWidth(c.col);
        const int x = view.columnViewportPosition(c.col) + before + c.offset;
        send(QEvent::MouseButtonPress, x, Qt::LeftButton);
        send(QEvent::MouseMove, x + 30, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, x + 30, Qt::NoButton);
        EXPECT_EQ(view.columnWidth(c.col), before + 30) << c.what;
        EXPECT_EQ(g.ColWidth(c.col), view.columnWidth(c.col) * 15) << c.what;
        EXPECT_TRUE(g.ColWidthByUser(c.col)) << c.what;
    }
    const int dragged2 = view.columnWidth(2);
    EXPECT_EQ(clicks, 0);
    // The middle of a caption is a click as before.
    send(QEvent::MouseButtonPress, view.columnViewportPosition(3) + view.columnWidth(3) / 2, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, view.columnViewportPosition(3) + view.columnWidth(3) / 2, Qt::NoButton);
    EXPECT_EQ(clicks, 1);

    AutoFitGridColumns(g, 1, false, true);
    EXPECT_EQ(view.columnWidth(2), dragged2) << "a refill's fit keeps the user's width";
    AutoFitGridColumns(g, 1, false);
    EXPECT_EQ(view.columnWidth(2), width2);
    EXPECT_FALSE(g.ColWidthByUser(2));
}

}  // namespace

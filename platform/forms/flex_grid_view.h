// FlexGridView: a table view that shows a FlexGrid laid out as the program's grids are: the last
// fixed row is the column header (sort arrows included), the rows above it are not shown, the last
// fixed column (the row numbers) is the row header at its own width and the fixed columns left of it
// (keys) are hidden. The view writes back what the user changes, so that the procedures working in
// twips on the grid see what the user sees: header and row heights, the scroll position (TopRow,
// LeftCol) and the selection (contiguous rows; Row is the anchor, RowSel the moving end).
#pragma once

#include <memory>

#include <QPointF>
#include <QTableView>

#include "platform/flex_grid.h"

class FlexGridView : public QTableView {
    Q_OBJECT
public:
    explicit FlexGridView(QWidget *parent = nullptr);
    ~FlexGridView() override;

    // The grid shown; owned by the view.
    FlexGrid &Grid() { return m_grid; }
    const FlexGrid &Grid() const { return m_grid; }

    // The grid position in twips of a point given in global screen coordinates, as the grid's own
    // procedures measure: from the left edge of the fixed columns (hidden keys included) and the top
    // of the fixed rows (hidden rows included), scrollable columns from LeftCol and rows from TopRow.
    // A point right of the last column or below the last row lies past the grid's total width
    // (height).
    QPointF TwipsAt(const QPoint &globalPos) const;

signals:
    // A mouse button pressed anywhere on the grid (cells, header, row numbers): button 1 left,
    // 2 right, 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt added up; x, y in twips (TwipsAt). A left press
    // on a column border in the header is not reported: it drags the border, and the width the user
    // leaves goes to the grid (ColWidth, marked byUser).
    void MouseDown(int button, int shift, double x, double y);
    // The mouse moved over the grid; button holds the buttons down, added up.
    void MouseMove(int button, int shift, double x, double y);
    void DblClick();
    // The current cell (Row or Col) changed while the grid's Redraw is on, by the user or by a
    // procedure.
    void RowColChange();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class Adapter;
    friend class Adapter;

    // Sizes, hidden columns, the row header, the font and the tooltip from the grid; then the header
    // and row heights written back.
    void ApplyLayout();
    // The grid's selection and scroll position shown.
    void ApplySelection();
    // The user's selection and scroll position written to the grid.
    void WriteBackSelection();
    void WriteBackScroll();
    // True when x (header pixels) lies on a column border the header resizes from.
    bool OnColumnBorder(int headerX) const;
    double TwipsX(int viewportX) const;
    double TwipsY(int viewportY) const;
    // The height of the header and of every row, in pixels, from the font.
    int RowPixels() const;

    FlexGrid m_grid;
    std::unique_ptr<Adapter> m_adapter;
    // Set while the view applies the grid's state or writes its own back, so neither echoes.
    bool m_applying = false;
    // Set while the user's selection is written back; a RowColChange meanwhile is sent once after.
    bool m_writingBack = false;
    bool m_rowColChanged = false;
};

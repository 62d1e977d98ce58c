// FlexGrid: the state of a flexible grid control without any widget. Every grid procedure works on
// it, so they run in tests without a display; FlexGridView shows one. Rows and columns count from 0
// and include the fixed ones: row 0 .. FixedRows - 1 and column 0 .. FixedCols - 1 are fixed. Widths
// and heights are in twips (15 to a pixel); colours are 0x00BBGGRR numbers.
#pragma once

#include <cstdint>
#include <vector>

#include <QFont>
#include <QString>

// The colour of a cell that was never given one: the view draws it in its own colours.
inline constexpr uint32_t kDefaultCellColor = 0xFFFFFFFFu;

// The sizes a new grid, row or column takes.
inline constexpr int kDefaultColWidth = 960;
inline constexpr int kDefaultRowHeight = 240;

// What a view of the grid is told. While Redraw is off only RedrawChanged is sent; switching Redraw
// on sends one Reset.
class FlexGridObserver {
public:
    virtual ~FlexGridObserver() = default;
    // Redraw was switched off (the view stops painting) or on (a Reset follows).
    virtual void RedrawChanged(bool on) = 0;
    // Anything may have changed: sizes of the grid, fixed rows or columns, the order of the rows.
    virtual void Reset() = 0;
    // Texts or colours of the cells r1..r2 × c1..c2 changed (fixed rows and columns included).
    virtual void CellsChanged(int r1, int c1, int r2, int c2) = 0;
    // Widths, heights, alignments, the font or the tooltip changed.
    virtual void LayoutChanged() = 0;
    // Row, Col, RowSel, ColSel, TopRow or LeftCol were set by a procedure.
    virtual void SelectionChanged() = 0;
    // The current cell (Row or Col) changed while Redraw is on.
    virtual void RowColChange() = 0;
};

class FlexGrid {
public:
    // A new grid has 2 rows and 2 columns, one of each fixed, Redraw on.
    FlexGrid();

    // Sizes. Rows and Cols never go below FixedRows and FixedCols; new rows and columns are empty,
    // with default colours and sizes; removed ones are gone with their texts and colours. A refused
    // value returns false and changes nothing.
    int Rows() const { return static_cast<int>(m_rows.size()); }
    bool SetRows(int n);
    int Cols() const { return m_cols; }
    bool SetCols(int n);
    // Fixed rows and columns: 0 .. Rows (Cols).
    int FixedRows() const { return m_fixedRows; }
    bool SetFixedRows(int n);
    int FixedCols() const { return m_fixedCols; }
    bool SetFixedCols(int n);
    // Removes count rows from first on (data rows only), with their texts and colours.
    bool RemoveRows(int first, int count);

    // The text of any cell; "" outside the grid. A set outside the grid returns false.
    QString TextMatrix(int r, int c) const;
    bool SetTextMatrix(int r, int c, const QString &text);
    // Cell colours; kDefaultCellColor when never set or outside the grid.
    uint32_t CellForeColor(int r, int c) const;
    bool SetCellForeColor(int r, int c, uint32_t color);
    uint32_t CellBackColor(int r, int c) const;
    bool SetCellBackColor(int r, int c, uint32_t color);

    // Column widths and row heights in twips (0 = not shown); 0 outside the grid. A width the user
    // gave by dragging the column's border is marked byUser; a width set otherwise clears the mark.
    int ColWidth(int c) const;
    bool SetColWidth(int c, int twips, bool byUser = false);
    bool ColWidthByUser(int c) const;
    int RowHeight(int r) const;
    bool SetRowHeight(int r, int twips);
    // One height for every data row, present and future (a view with uniform rows sets it).
    void SetDataRowHeight(int twips);
    // Alignment codes: 0-2 left, 3-5 centre, 6-8 right (top, centre, bottom within each), 9 general
    // (text left, numbers right). Default 9.
    int ColAlignment(int c) const;
    bool SetColAlignment(int c, int code);

    // The current cell (Row, Col) and the far corner of the selection (RowSel, ColSel). Setting Row
    // or Col also collapses RowSel or ColSel onto it. While Redraw is on a change of Row or Col is
    // reported as RowColChange. Values outside the grid are refused.
    int Row() const { return m_row; }
    bool SetRow(int r);
    int Col() const { return m_col; }
    bool SetCol(int c);
    int RowSel() const { return m_rowSel; }
    bool SetRowSel(int r);
    int ColSel() const { return m_colSel; }
    bool SetColSel(int c);
    // The first scrollable row and column shown (FixedRows .. Rows - 1, FixedCols .. Cols - 1).
    int TopRow() const { return m_topRow; }
    bool SetTopRow(int r);
    int LeftCol() const { return m_leftCol; }
    bool SetLeftCol(int c);

    // Sorts every data row by the column Col, moving whole rows (texts, colours, heights); stable.
    // Orders: 3 numeric ascending, 4 numeric descending, 7 text ascending, 8 text descending; any other
    // order does nothing. Numeric keys: a text beginning "YYYY-MM-DD" sorts by its date and time,
    // any other text by its leading number once "," is removed ("", "-", "停牌" are 0). Text keys
    // compare as Chinese (zh_CN) collation, case-sensitive.
    void SetSort(int order);

    // Off, nothing is reported to the view but RedrawChanged; on again, one Reset.
    bool Redraw() const { return m_redraw; }
    void SetRedraw(bool on);

    const QString &Tag() const { return m_tag; }
    void SetTag(const QString &tag) { m_tag = tag; }
    const QString &ToolTipText() const { return m_toolTip; }
    void SetToolTipText(const QString &text);
    // The grid's index in its control array (MSF(0) has 0).
    int Index() const { return m_index; }
    void SetIndex(int index) { m_index = index; }
    // The font the grid's texts are drawn and measured in.
    const QFont &Font() const { return m_font; }
    void SetFont(const QFont &font);

    // The view that is told of changes; nullptr for none. The grid does not own it.
    void SetObserver(FlexGridObserver *observer) { m_observer = observer; }

private:
    struct Cell {
        QString text;
        uint32_t fore = kDefaultCellColor;
        uint32_t back = kDefaultCellColor;
    };
    struct GridRow {
        std::vector<Cell> cells;
        int height = kDefaultRowHeight;
    };
    bool InGrid(int r, int c) const { return r >= 0 && r < Rows() && c >= 0 && c < m_cols; }
    void ClampPositions();
    void NotifyReset();
    void NotifyCells(int r1, int c1, int r2, int c2);
    void NotifyLayout();
    void NotifySelection();

    std::vector<GridRow> m_rows;
    int m_cols = 0;
    int m_fixedRows = 1;
    int m_fixedCols = 1;
    std::vector<int> m_colWidth;
    std::vector<char> m_colWidthByUser;
    std::vector<int> m_colAlignment;
    int m_dataRowHeight = kDefaultRowHeight;
    int m_row = 1;
    int m_col = 1;
    int m_rowSel = 1;
    int m_colSel = 1;
    int m_topRow = 1;
    int m_leftCol = 1;
    bool m_redraw = true;
    QString m_tag;
    QString m_toolTip;
    int m_index = 0;
    QFont m_font;
    FlexGridObserver *m_observer = nullptr;
};

// Redraw off from construction to destruction, then back to what it was (the procedures that fill or
// rebuild a grid hold one, so a view is reset once at the end).
class GridRedrawPause {
public:
    explicit GridRedrawPause(FlexGrid &grid) : m_grid(grid), m_was(grid.Redraw()) { grid.SetRedraw(false); }
    ~GridRedrawPause() { m_grid.SetRedraw(m_was); }
    GridRedrawPause(const GridRedrawPause &) = delete;
    GridRedrawPause &operator=(const GridRedrawPause &) = delete;

private:
    FlexGrid &m_grid;
    bool m_was;
};

// FlexGrid: the grid control's state and its sort.
#include "flex_grid.h"

#include <algorithm>
#include <numeric>

#include <QCollator>
#include <QLocale>

#include "daynum.h"
#include "numeric.h"

namespace {

bool IsDigitAt(const QString &text, int i)
{
    return i < text.size() && text[i] >= u'0' && text[i] <= u'9';
}

// The key of a numeric sort: a text beginning "YYYY-MM-DD" by its date (and time), else its leading
// number once the thousands separators are gone.
double NumericSortKey(const QString &text)
{
    if (text.size() >= 10 && text[4] == u'-' && text[7] == u'-' && IsDigitAt(text, 0) && IsDigitAt(text, 1) &&
        IsDigitAt(text, 2) && IsDigitAt(text, 3) && IsDigitAt(text, 5) && IsDigitAt(text, 6) && IsDigitAt(text, 8) &&
        IsDigitAt(text, 9)) {
        if (const auto d = ReadDateText(text, true))
            return *d;
    }
    if (!text.contains(u','))
        return LeadingNumber(text);
    QString plain = text;
    plain.remove(u',');
    return LeadingNumber(plain);
}

}  // namespace

FlexGrid::FlexGrid()
{
    SetCols(2);
    SetRows(2);
}

bool FlexGrid::SetRows(int n)
{
    if (n < m_fixedRows || n < 0)
        return false;
    const int old = Rows();
    if (n == old)
        return true;
    if (n < old) {
        m_rows.resize(static_cast<size_t>(n));
    } else {
        m_rows.reserve(static_cast<size_t>(n));
        for (int r = old; r < n; ++r) {
            GridRow row;
            row.cells.resize(static_cast<size_t>(m_cols));
            row.height = r < m_fixedRows ? kDefaultRowHeight : m_dataRowHeight;
            m_rows.push_back(std::move(row));
        }
    }
    ClampPositions();
    NotifyReset();
    return true;
}

bool FlexGrid::SetCols(int n)
{
    if (n < m_fixedCols || n < 0)
        return false;
    if (n == m_cols)
        return true;
    m_cols = n;
    for (GridRow &row : m_rows)
        row.cells.resize(static_cast<size_t>(n));
    m_colWidth.resize(static_cast<size_t>(n), kDefaultColWidth);
    m_colWidthByUser.resize(static_cast<size_t>(n), 0);
    m_colAlignment.resize(static_cast<size_t>(n), 9);
    ClampPositions();
    NotifyReset();
    return true;
}

bool FlexGrid::SetFixedRows(int n)
{
    if (n < 0 || n > Rows())
        return false;
    if (n != m_fixedRows) {
        m_fixedRows = n;
        ClampPositions();
        NotifyReset();
    }
    return true;
}

bool FlexGrid::SetFixedCols(int n)
{
    if (n < 0 || n > m_cols)
        return false;
    if (n != m_fixedCols) {
        m_fixedCols = n;
        ClampPositions();
        NotifyReset();
    }
    return true;
}

bool FlexGrid::RemoveRows(int first, int count)
{
    if (count < 0 || first < m_fixedRows || first + count > Rows())
        return false;
    if (count == 0)
        return true;
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + first + count);
    ClampPositions();
    NotifyReset();
    return true;
}

QString FlexGrid::TextMatrix(int r, int c) const
{
    return InGrid(r, c) ? m_rows[r].cells[c].text : QString();
}

bool FlexGrid::SetTextMatrix(int r, int c, const QString &text)
{
    if (!InGrid(r, c))
        return false;
    m_rows[r].cells[c].text = text;
    NotifyCells(r, c, r, c);
    return true;
}

uint32_t FlexGrid::CellForeColor(int r, int c) const
{
    return InGrid(r, c) ? m_rows[r].cells[c].fore : kDefaultCellColor;
}

bool FlexGrid::SetCellForeColor(int r, int c, uint32_t color)
{
    if (!InGrid(r, c))
        return false;
    m_rows[r].cells[c].fore = color;
    NotifyCells(r, c, r, c);
    return true;
}

uint32_t FlexGrid::CellBackColor(int r, int c) const
{
    return InGrid(r, c) ? m_rows[r].cells[c].back : kDefaultCellColor;
}

bool FlexGrid::SetCellBackColor(int r, int c, uint32_t color)
{
    if (!InGrid(r, c))
        return false;
    m_rows[r].cells[c].back = color;
    NotifyCells(r, c, r, c);
    return true;
}

int FlexGrid::ColWidth(int c) const
{
    return c >= 0 && c < m_cols ? m_colWidth[c] : 0;
}

bool FlexGrid::SetColWidth(int c, int twips, bool byUser)
{
    if (c < 0 || c >= m_cols || twips < 0)
        return false;
    m_colWidthByUser[c] = byUser;
    if (m_colWidth[c] != twips) {
        m_colWidth[c] = twips;
        NotifyLayout();
    }
    return true;
}

bool FlexGrid::ColWidthByUser(int c) const
{
    return c >= 0 && c < m_cols && m_colWidthByUser[c];
}

int FlexGrid::RowHeight(int r) const
{
    return r >= 0 && r < Rows() ? m_rows[r].height : 0;
}

bool FlexGrid::SetRowHeight(int r, int twips)
{
    if (r < 0 || r >= Rows() || twips < 0)
        return false;
    if (m_rows[r].height != twips) {
        m_rows[r].height = twips;
        NotifyLayout();
    }
    return true;
}

void FlexGrid::SetDataRowHeight(int twips)
{
    m_dataRowHeight = std::max(0, twips);
    for (int r = m_fixedRows; r < Rows(); ++r)
        m_rows[r].height = m_dataRowHeight;
}

int FlexGrid::ColAlignment(int c) const
{
    return c >= 0 && c < m_cols ? m_colAlignment[c] : 0;
}

bool FlexGrid::SetColAlignment(int c, int code)
{
    if (c < 0 || c >= m_cols || code < 0 || code > 9)
        return false;
    if (m_colAlignment[c] != code) {
        m_colAlignment[c] = code;
        NotifyLayout();
    }
    return true;
}

bool FlexGrid::SetRow(int r)
{
    if (r < 0 || r >= Rows())
        return false;
    const bool moved = r != m_row;
    m_row = r;
    m_rowSel = r;
    NotifySelection();
    if (moved && m_redraw && m_observer)
        m_observer->RowColChange();
    return true;
}

bool FlexGrid::SetCol(int c)
{
    if (c < 0 || c >= m_cols)
        return false;
    const bool moved = c != m_col;
    m_col = c;
    m_colSel = c;
    NotifySelection();
    if (moved && m_redraw && m_observer)
        m_observer->RowColChange();
    return true;
}

bool FlexGrid::SetRowSel(int r)
{
    if (r < 0 || r >= Rows())
        return false;
    m_rowSel = r;
    NotifySelection();
    return true;
}

bool FlexGrid::SetColSel(int c)
{
    if (c < 0 || c >= m_cols)
        return false;
    m_colSel = c;
    NotifySelection();
    return true;
}

bool FlexGrid::SetTopRow(int r)
{
    if (r < m_fixedRows || r >= Rows())
        return false;
    m_topRow = r;
    NotifySelection();
    return true;
}

bool FlexGrid::SetLeftCol(int c)
{
    if (c < m_fixedCols || c >= m_cols)
        return false;
    m_leftCol = c;
    NotifySelection();
    return true;
}

void FlexGrid::SetSort(int order)
{
    const bool numeric = order == 3 || order == 4;
    const bool text = order == 7 || order == 8;
    if ((!numeric && !text) || m_col < 0 || m_col >= m_cols || Rows() - m_fixedRows < 2)
        return;
    const int n = Rows() - m_fixedRows;
    std::vector<int> perm(static_cast<size_t>(n));
    std::iota(perm.begin(), perm.end(), 0);
    const bool descending = order == 4 || order == 8;
    if (numeric) {
        std::vector<double> keys(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            keys[i] = NumericSortKey(m_rows[m_fixedRows + i].cells[m_col].text);
        std::stable_sort(perm.begin(), perm.end(),
                         [&](int a, int b) { return descending ? keys[b] < keys[a] : keys[a] < keys[b]; });
    } else {
        QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
        collator.setCaseSensitivity(Qt::CaseSensitive);
        std::vector<QCollatorSortKey> keys;
        keys.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            keys.push_back(collator.sortKey(m_rows[m_fixedRows + i].cells[m_col].text));
        std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) {
            return descending ? keys[b].compare(keys[a]) < 0 : keys[a].compare(keys[b]) < 0;
        });
    }
    std::vector<GridRow> sorted;
    sorted.reserve(static_cast<size_t>(n));
    for (int i : perm)
        sorted.push_back(std::move(m_rows[m_fixedRows + i]));
    std::move(sorted.begin(), sorted.end(), m_rows.begin() + m_fixedRows);
    NotifyReset();
}

void FlexGrid::SetRedraw(bool on)
{
    if (on == m_redraw)
        return;
    m_redraw = on;
    if (!m_observer)
        return;
    m_observer->RedrawChanged(on);
    if (on)
        m_observer->Reset();
}

void FlexGrid::SetToolTipText(const QString &text)
{
    m_toolTip = text;
    NotifyLayout();
}

void FlexGrid::SetFont(const QFont &font)
{
    m_font = font;
    NotifyLayout();
}

void FlexGrid::ClampPositions()
{
    const int rows = Rows();
    // The current cell stays in the data area when there is one, else on the last row (column).
    auto clamp = [](int v, int fixed, int count) {
        if (count <= 0)
            return 0;
        if (v >= count)
            v = count - 1;
        if (v < fixed && fixed < count)
            v = fixed;
        return v < 0 ? 0 : v;
    };
    m_row = clamp(m_row, m_fixedRows, rows);
    m_rowSel = clamp(m_rowSel, m_fixedRows, rows);
    m_topRow = clamp(m_topRow, m_fixedRows, rows);
    m_col = clamp(m_col, m_fixedCols, m_cols);
    m_colSel = clamp(m_colSel, m_fixedCols, m_cols);
    m_leftCol = clamp(m_leftCol, m_fixedCols, m_cols);
}

void FlexGrid::NotifyReset()
{
    if (m_redraw && m_observer)
        m_observer->Reset();
}

void FlexGrid::NotifyCells(int r1, int c1, int r2, int c2)
{
    if (m_redraw && m_observer)
        m_observer->CellsChanged(r1, c1, r2, c2);
}

void FlexGrid::NotifyLayout()
{
    if (m_redraw && m_observer)
        m_observer->LayoutChanged();
}

void FlexGrid::NotifySelection()
{
    if (m_redraw && m_observer)
        m_observer->SelectionChanged();
}

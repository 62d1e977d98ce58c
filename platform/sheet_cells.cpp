// What the workbook reader keeps of a sheet.
#include "sheet_cells.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/value.h"

namespace workbook_internal {

namespace {

// Rows and cells held out of order past the last sort before the next one: few enough to be small
// beside the sheets read, many enough that sorts are rare when most is in order.
constexpr size_t kUnsortedSlack = 4096;

bool Before(int row, int col, int row2, int col2)
{
    return row < row2 || (row == row2 && col < col2);
}

}  // namespace

void SheetCells::Clear()
{
    m_rows.clear();
    m_cells.clear();
    m_ordered = true;
    m_sorted = 0;
    usedRows = 0;
    usedCols = 0;
}

void SheetCells::Add(int row, int col, QString &&text, bool keep)
{
    usedRows = std::max(usedRows, row);
    usedCols = std::max(usedCols, col);
    if (m_rows.empty() || m_rows.back() < row) {
        m_rows.push_back(row);
    } else if (m_rows.back() != row) {
        m_rows.push_back(row);
        m_ordered = false;
    }
    if (keep) {
        if (m_cells.empty() || Before(m_cells.back().row, m_cells.back().col, row, col)) {
            m_cells.push_back({row, col, std::move(text)});
        } else if (m_cells.back().row == row && m_cells.back().col == col) {
            m_cells.back().text = std::move(text);
        } else {
            m_cells.push_back({row, col, std::move(text)});
            m_ordered = false;
        }
    }
    if (!m_ordered && m_rows.size() + m_cells.size() > 2 * m_sorted + kUnsortedSlack)
        Finish();
}

void SheetCells::Finish()
{
    if (!m_ordered) {
        std::sort(m_rows.begin(), m_rows.end());
        m_rows.erase(std::unique(m_rows.begin(), m_rows.end()), m_rows.end());
        // A stable sort keeps the cells given twice in the order given: the last of them holds.
        std::stable_sort(m_cells.begin(), m_cells.end(),
                         [](const Cell &a, const Cell &b) { return Before(a.row, a.col, b.row, b.col); });
        size_t n = 0;
        for (size_t i = 0; i < m_cells.size(); ++i) {
            if (n > 0 && m_cells[n - 1].row == m_cells[i].row && m_cells[n - 1].col == m_cells[i].col) {
                m_cells[n - 1].text = std::move(m_cells[i].text);
            } else {
                if (n != i)
                    m_cells[n] = std::move(m_cells[i]);
                ++n;
            }
        }
        m_cells.erase(m_cells.begin() + static_cast<std::ptrdiff_t>(n), m_cells.end());
        m_ordered = true;
    }
    m_sorted = m_rows.size() + m_cells.size();
}

bool SheetCells::HasRow(int row) const
{
    return std::binary_search(m_rows.begin(), m_rows.end(), row);
}

const QString *SheetCells::Find(int row, int col) const
{
    const auto at = std::lower_bound(
        m_cells.begin(), m_cells.end(), std::pair(row, col),
        [](const Cell &c, std::pair<int, int> key) { return Before(c.row, c.col, key.first, key.second); });
    return at != m_cells.end() && at->row == row && at->col == col ? &at->text : nullptr;
}

std::vector<char> WantedColumns(const SheetWindow &window, int lastCol)
{
    std::vector<char> wanted;
    if (window.columns.empty())
        return wanted;
    wanted.assign(static_cast<size_t>(lastCol) + 1, 0);
    for (int c : window.columns)
        if (c >= 1 && c <= lastCol)
            wanted[static_cast<size_t>(c)] = 1;
    return wanted;
}

bool IsWanted(const std::vector<char> &wanted, int col)
{
    return wanted.empty() || (col >= 1 && col < static_cast<int>(wanted.size()) && wanted[static_cast<size_t>(col)]);
}

QString NumberDisplay(double v)
{
    // The texts NumberText makes with printf's "%.15g", made without it where that is sure to give
    // the same: a whole number of up to 15 digits is its digits; any other number is what the
    // standard's conversion in printf's style gives, unless that holds an exponent, which NumberText
    // writes out in full or in capitals.
    if (v != 0 && std::fabs(v) < 1e15 && std::trunc(v) == v)
        return QString::number(static_cast<long long>(v));
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    if (v == 0 || !std::isfinite(v) || ec != std::errc() || std::memchr(buf, 'e', static_cast<size_t>(end - buf)))
        return NumberText(v, 15);
    return QString::fromLatin1(buf, end - buf);
}

}  // namespace workbook_internal

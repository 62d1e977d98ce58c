// 表格操作: laying out, filling, formatting, fitting, sorting and editing the program's grids.
#include "grid_ops.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QFontMetrics>
#include <QHash>
#include <QSet>

#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/numformat.h"
#include "platform/prompter.h"
#include "platform/twips.h"
#include "storage/common.h"
#include "storage/indicator.h"
#include "storage/params.h"

namespace {

const QString kRowNumberCaption = QStringLiteral("序号");
const QString kSortPrefix = QStringLiteral("排序:");
const QString kArrowUp = QStringLiteral("↑");
const QString kArrowDown = QStringLiteral("↓");

// The cells a grid may hold in all; the row cap follows from it and the column count.
constexpr double kGridCellBudget = 350000;

bool HasDataRows(const FlexGrid &grid)
{
    return grid.Rows() > grid.FixedRows();
}

// The rows a fill may read: (budget ÷ Cols − 0.5) rounded half to even, minus the two fixed rows.
int GridRowCap(int cols)
{
    if (cols <= 0)
        return 0;
    const double cap = RoundHalfEven(kGridCellBudget / cols - 0.5, 0) - 2;
    return cap < 0 ? 0 : static_cast<int>(cap);
}

// The index whose span holds position p when the spans of the fixed indexes, then those from `first`
// on, are laid end to end; count when p lies past them all.
template <typename SizeOf>
int SpanAt(double p, int fixed, int first, int count, SizeOf sizeOf)
{
    double sum = 0;
    for (int i = 0; i < fixed && i < count; ++i) {
        sum += sizeOf(i);
        if (sum > p)
            return i;
    }
    for (int i = std::max(first, fixed); i < count; ++i) {
        sum += sizeOf(i);
        if (sum > p)
            return i;
    }
    return count;
}

// The cell under (x, y), past the last row (column) giving Rows (Cols).
void HitCell(const FlexGrid &grid, double x, double y, int &row, int &col)
{
    row = SpanAt(y, grid.FixedRows(), grid.TopRow(), grid.Rows(), [&](int r) { return grid.RowHeight(r); });
    col = SpanAt(x, grid.FixedCols(), grid.LeftCol(), grid.Cols(), [&](int c) { return grid.ColWidth(c); });
}

double FixedHeight(const FlexGrid &grid)
{
    double h = 0;
    for (int r = 0; r < grid.FixedRows(); ++r)
        h += grid.RowHeight(r);
    return h;
}

double FixedWidth(const FlexGrid &grid)
{
    double w = 0;
    for (int c = 0; c < grid.FixedCols(); ++c)
        w += grid.ColWidth(c);
    return w;
}

// A format of zeros, "0.", zeros ("0", "00", "0.00") applied to a number; dates "YYYY-MM-DD" with an
// optional " HH:MM:SS".
QString ApplyFormat(const Value &value, const QString &format)
{
    if (value.IsDate()) {
        if (format.contains(QStringLiteral("HH"), Qt::CaseInsensitive))
            return DateTimeText(value.num, format.count(u':') >= 2);
        return DateText(value.num);
    }
    const qsizetype point = format.indexOf(u'.');
    const QString whole = point < 0 ? format : format.left(point);
    const int decimals = point < 0 ? 0 : static_cast<int>(format.size() - point - 1);
    if (decimals > 0)
        return FormatFixed(value.num, decimals);
    return FormatPadded(static_cast<long long>(RoundHalfEven(value.num, 0)), static_cast<int>(whole.size()));
}

// Text widths in one font for fitting columns. Measuring every text of a column whole would cost a
// text layout per cell; instead a text's width is first estimated as the sum of its characters'
// advances (each character measured once), and only the texts whose estimate comes near the widest
// of their column are measured whole. A text is measured up to its kMeasuredChars-th character: no
// column is fitted wider, and a cell of megabytes costs no more than a line. Widths are in pixels.
class TextWidths {
public:
    explicit TextWidths(const QFont &font) : m_metrics(font) { m_ascii.fill(-1); }

    // The text as the grid draws it; each text measured once.
    int Exact(const QString &whole)
    {
        if (whole.isEmpty())
            return 0;
        const QString text = whole.size() > kMeasuredChars ? whole.left(kMeasuredChars) : whole;
        auto it = m_exact.constFind(text);
        if (it == m_exact.constEnd())
            it = m_exact.insert(text, m_metrics.horizontalAdvance(text));
        return *it;
    }

    // The widest text of each column from row `first` on (0 for a column whose texts are all empty).
    std::vector<int> Widest(const FlexGrid &grid, int first)
    {
        const int rows = grid.Rows();
        const int cols = grid.Cols();
        const size_t n = static_cast<size_t>(std::max(0, rows - first));
        // Row by row, as the grid keeps its cells.
        std::vector<int> estimates(n * static_cast<size_t>(cols));
        std::vector<int> widestEstimate(static_cast<size_t>(cols), 0);
        for (int r = first; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                const int e = Estimate(grid.TextMatrix(r, c));
                estimates[static_cast<size_t>(r - first) * cols + c] = e;
                widestEstimate[c] = std::max(widestEstimate[c], e);
            }
        }
        std::vector<int> widest(static_cast<size_t>(cols), 0);
        for (int c = 0; c < cols; ++c) {
            // An estimate misses kerning and shaping by a pixel or two: the texts within reach of the
            // widest estimate are measured whole, the highest estimates first, a bounded number.
            QSet<QString> seen;
            for (int level = widestEstimate[c]; level > 0 && level >= widestEstimate[c] - kSlack; --level) {
                for (int r = first; r < rows && seen.size() < kMaxMeasured; ++r) {
                    if (estimates[static_cast<size_t>(r - first) * cols + c] != level)
                        continue;
                    const QString text = grid.TextMatrix(r, c);
                    if (!seen.contains(text)) {
                        seen.insert(text);
                        widest[c] = std::max(widest[c], Exact(text));
                    }
                }
            }
        }
        return widest;
    }

private:
    static constexpr int kSlack = 3;
    static constexpr qsizetype kMaxMeasured = 16;
    static constexpr qsizetype kMeasuredChars = 1024;

    int Estimate(const QString &text)
    {
        int sum = 0;
        for (const QChar ch : QStringView(text).first(std::min(text.size(), kMeasuredChars))) {
            const char16_t u = ch.unicode();
            if (u < 128) {
                int &a = m_ascii[u];
                if (a < 0)
                    a = m_metrics.horizontalAdvance(QString(ch));
                sum += a;
            } else if (ch.isSurrogate()) {
                // Characters beyond the first plane are measured with the whole text.
                return Exact(text);
            } else {
                auto it = m_other.constFind(u);
                if (it == m_other.constEnd())
                    it = m_other.insert(u, m_metrics.horizontalAdvance(QString(ch)));
                sum += *it;
            }
        }
        return sum;
    }

    QFontMetrics m_metrics;
    std::array<int, 128> m_ascii{};
    QHash<char16_t, int> m_other;
    QHash<QString, int> m_exact;
};

}  // namespace

void SetupGridColumns(FlexGrid &grid, const std::vector<QString> &fields, const std::vector<QString> &captions)
{
    if (fields.size() != captions.size())
        return;
    GridRedrawPause pause(grid);
    const int cols = static_cast<int>(fields.size());
    // The order matters: fixed counts must fit the sizes at each step, as the control requires.
    grid.SetFixedCols(std::min(grid.FixedCols(), cols));
    grid.SetCols(cols);
    grid.SetFixedCols(2);
    grid.SetRows(3);
    grid.SetFixedRows(2);
    grid.SetRows(2);
    for (int i = 0; i < cols; ++i) {
        if (captions[i] == kRowNumberCaption || fields[i].isEmpty()) {
            grid.SetFixedCols(i + 1);
            grid.SetColAlignment(i, 3);
            break;
        }
    }
    for (int r = 0; r + 1 < grid.FixedRows(); ++r)
        grid.SetRowHeight(r, 0);
    for (int i = 0; i < cols; ++i) {
        // The width the user gave a column belongs to its field, not to its place.
        if (grid.ColWidthByUser(i) && grid.TextMatrix(0, i) != fields[i])
            grid.SetColWidth(i, grid.ColWidth(i));
        grid.SetTextMatrix(0, i, fields[i]);
        grid.SetTextMatrix(1, i, captions[i]);
    }
}

QString FillGridFromQuery(FlexGrid &grid, const QString &sql, bool dateOnly, bool append, const QString &file)
{
    grid.SetRedraw(false);
    if (!append)
        grid.SetRows(2);
    int cap = GridRowCap(grid.Cols());
    grid.SetTag(sql);
    DbConnection conn;
    RecordSet rs;
    OpenRs(conn, rs, sql, file);
    const int total = rs.RecordCount();
    if (total > cap)
        ShowMsg(QStringLiteral("数据库里共有") + QString::number(total) + QStringLiteral("条记录，表格只能显示") +
                QString::number(cap) + QStringLiteral("条记录，因此无法全部显示，请修改筛选条件。"));
    else
        cap = total;
    const QString result = QString::number(cap) + u'/' + QString::number(total);

    ShowStatusText(QStringLiteral("正在读取记录"));
    // At least one row per mark: under ten rows every row gets its own.
    const int step = std::max(1, cap / 10);
    // Each column's source, looked up once: a field index, kNumbered, or -1 (a column no field fills,
    // or one whose field the query lacks).
    constexpr int kNumbered = -2;
    const int cols = grid.Cols();
    std::vector<int> source(static_cast<size_t>(cols), -1);
    for (int c = 0; c < cols; ++c) {
        if (grid.TextMatrix(grid.FixedRows() - 1, c) == kRowNumberCaption)
            source[c] = kNumbered;
        else if (!grid.TextMatrix(0, c).isEmpty())
            source[c] = rs.FieldIndex(grid.TextMatrix(0, c));
    }
    int read = 0;
    int counter = 0;
    while (rs.IsOpen() && !rs.AtEOF() && read < cap) {
        const int row = grid.Rows();
        grid.SetRows(row + 1);
        for (int c = 0; c < cols; ++c) {
            if (source[c] == kNumbered) {
                grid.SetTextMatrix(row, c, QString::number(grid.Rows() - 2));
            } else if (source[c] >= 0) {
                if (const auto v = rs.Get(source[c]))
                    SetGridCell(grid, row, c, *v, dateOnly);
            }
        }
        ++read;
        if (++counter == step) {
            counter = 0;
            AppendStatusText(QStringLiteral(">"), 1);
        }
        rs.MoveNext();
    }
    CloseRs(conn, rs);
    ShowStatusText(QString());
    grid.SetRedraw(true);
    return result;
}

void SetGridCell(FlexGrid &grid, int row, int col, const Value &value, bool dateOnly)
{
    if (row < 0 || row >= grid.Rows() || col < 0 || col >= grid.Cols())
        return;
    const QString field = grid.TextMatrix(0, col);
    if (field == QStringLiteral("Cor")) {
        if (value.IsNull() || (value.IsString() && !ConvertValue(value, VType::Double)))
            return;
        const double v = value.ToDouble();
        if (!(v >= 0 && v <= 0xFFFFFF))
            return;
        grid.SetRow(row);
        grid.SetCol(col);
        grid.SetCellBackColor(row, col, v == 0 ? 65793u : static_cast<uint32_t>(v));
        return;
    }
    QString format;
    switch (value.type) {
    case VType::Integer:
    case VType::Long:
        format = field.size() == 2 && field[0] == u'C' ? QStringLiteral("00") : QStringLiteral("0");
        grid.SetTextMatrix(row, col, FormatCellValue(value, format, QStringLiteral("-")));
        if (row == grid.FixedRows())
            grid.SetColAlignment(col, 8);
        break;
    case VType::Double:
        format = QStringLiteral("0.00");
        grid.SetTextMatrix(row, col, FormatCellValue(value, format, QStringLiteral("-")));
        if (row == grid.FixedRows())
            grid.SetColAlignment(col, 8);
        break;
    case VType::Date: {
        static const double kLastShownDate = DayNumberOf(2100, 1, 1);
        if (value.num <= kEmptyDate || value.num >= kLastShownDate) {
            grid.SetTextMatrix(row, col, QString());
            break;
        }
        const bool dayOnly =
            dateOnly || (field.size() == 2 && field[0] == u'D' && field[1] >= u'1' && field[1] <= u'5');
        grid.SetTextMatrix(row, col, FormatValue(value, dayOnly, QString()));
        break;
    }
    case VType::String:
        grid.SetTextMatrix(row, col, value.str);
        break;
    case VType::Boolean:
        grid.SetTextMatrix(row, col, FormatValue(value));
        break;
    case VType::Null:
        break;
    default:
        grid.SetTextMatrix(row, col, value.ToText());
        break;
    }
}

QString FormatCellValue(const Value &value, QString &format, const QString &zeroText)
{
    switch (value.type) {
    case VType::Integer:
    case VType::Long:
        if (format.isEmpty())
            format = QStringLiteral("0");
        return value.num == 0 ? zeroText : ApplyFormat(value, format);
    case VType::Double:
        if (format.isEmpty())
            format = QStringLiteral("0.00");
        if (!std::isfinite(value.num))
            return QString();
        return value.num == 0 ? zeroText : ApplyFormat(value, format);
    case VType::Date: {
        if (format.isEmpty())
            format = QStringLiteral("YYYY-MM-DD");
        static const double kFirst = DayNumberOf(1990, 1, 1);
        static const double kLast = DayNumberOf(2100, 1, 1);
        return value.num <= kFirst || value.num >= kLast ? zeroText : ApplyFormat(value, format);
    }
    default:
        return QString();
    }
}

void AutoFitGridColumns(FlexGrid &grid, int firstRow, bool showProgress, bool keepUserWidths)
{
    const bool progress = showProgress && grid.Rows() > 200;
    if (progress)
        ShowIndicator(QStringLiteral("正在做交易数据表格进行格式设置……"),
                      static_cast<long>(RoundHalfEven(grid.Cols() / 10.0, 0)), 0);
    TextWidths widths(grid.Font());
    const std::vector<int> widest = widths.Widest(grid, HasDataRows(grid) ? std::max(0, firstRow) : 0);
    for (int c = 0; c < grid.Cols(); ++c) {
        if (keepUserWidths && grid.ColWidthByUser(c)) {
            // The user's own width stays.
        } else if (c < grid.FixedCols() - 1) {
            grid.SetColWidth(c, 0);
        } else {
            int w = widest[c] * kTwipsPerPixel;
            if (w != 0)
                w = std::max(w, widths.Exact(grid.TextMatrix(grid.FixedRows() - 1, c)) * kTwipsPerPixel);
            grid.SetColWidth(c, w != 0 ? w + 100 + 20 : 50 + 20);
        }
        if (progress && c % 10 == 0)
            StepIndicator(1, QStringLiteral("pages"));
    }
    if (progress)
        HideIndicator();
}

void GridHeaderClick(FlexGrid &grid, double x, double y)
{
    if (!HasDataRows(grid) || !(y < FixedHeight(grid)))
        return;
    if (grid.TextMatrix(0, grid.FixedCols()).isEmpty())
        return;
    double right = FixedWidth(grid);
    if (x <= right) {
        AutoFitGridColumns(grid, grid.FixedRows() - 1, true);
        return;
    }
    for (int c = grid.LeftCol(); c < grid.Cols(); ++c) {
        right += grid.ColWidth(c);
        if (right > x) {
            int col = c;
            int order = 0;
            SortGridByColumn(grid, col, order);
            return;
        }
    }
}

void GridHitTest(const FlexGrid &grid, double x, double y, int &row, int &col)
{
    HitCell(grid, x, y, row, col);
    row = std::min(row, grid.Rows() - 1);
    col = std::min(col, grid.Cols() - 1);
}

bool ToggleGridCheck(FlexGrid &grid, int shift, double x, double y, bool multiple, int checkCol)
{
    if (!HasDataRows(grid))
        return false;
    int row = 0;
    int col = 0;
    HitCell(grid, x, y, row, col);
    const int fixedRows = grid.FixedRows();
    if (row < fixedRows - 1 || row >= grid.Rows() || col != checkCol || col >= grid.Cols())
        return false;
    if (row == fixedRows - 1) {
        if (!multiple)
            return false;
        const QString mark = ToggleCheckMark(grid.TextMatrix(fixedRows, col));
        for (int r = fixedRows; r < grid.Rows(); ++r)
            grid.SetTextMatrix(r, col, mark);
        return true;
    }
    if (multiple) {
        if (shift == 1) {
            // The block runs from the current row to the pressed one, in the check column alone: the
            // columns beside it hold the headings the marks stand for.
            const int top = std::max(fixedRows, std::min(grid.Row(), row));
            const int bottom = std::max(grid.Row(), row);
            const QString mark = ToggleCheckMark(grid.TextMatrix(top, checkCol));
            for (int r = top; r <= bottom && r < grid.Rows(); ++r)
                grid.SetTextMatrix(r, checkCol, mark);
        } else {
            grid.SetTextMatrix(row, col, ToggleCheckMark(grid.TextMatrix(row, col)));
        }
        return false;
    }
    for (int r = fixedRows; r < grid.Rows(); ++r)
        if (grid.TextMatrix(r, checkCol) == kCheckMark)
            grid.SetTextMatrix(r, checkCol, QString());
    grid.SetTextMatrix(row, col, kCheckMark);
    return true;
}

QString ToggleCheckMark(const QString &text)
{
    return text.isEmpty() ? kCheckMark : QString();
}

void MoveGridRows(FlexGrid &grid, int r1, int r2, int step, int keepCol)
{
    OrderPair(r2, r1);
    const int rows = grid.Rows();
    const int fixedRows = grid.FixedRows();
    if (!HasDataRows(grid) || step == 0 || (step > 0 && r2 >= rows - 1) || (step < 0 && r1 <= fixedRows) ||
        r1 + step < fixedRows || r2 + step >= rows)
        return;
    auto swapRows = [&](int r) {
        for (int c = 0; c < grid.Cols(); ++c) {
            if (c == keepCol)
                continue;
            const QString t = grid.TextMatrix(r, c);
            grid.SetTextMatrix(r, c, grid.TextMatrix(r + step, c));
            grid.SetTextMatrix(r + step, c, t);
        }
    };
    if (step > 0) {
        for (int r = r2; r >= r1; --r)
            swapRows(r);
    } else {
        for (int r = r1; r <= r2; ++r)
            swapRows(r);
    }
    grid.SetRow(r1 + step);
    grid.SetCol(0);
    grid.SetRowSel(r2 + step);
    grid.SetColSel(grid.Cols() - 1);
}

void SaveCheckedColumnList(const FlexGrid &grid, const QString &key, const QString &lead)
{
    QStringList names;
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        if (!grid.TextMatrix(r, grid.FixedCols()).isEmpty())
            names << grid.TextMatrix(r, 0);
    SaveParam(key, lead + names.join(u',') + u' ');
}

void SortGridByColumn(FlexGrid &grid, int &col, int &order)
{
    const int captionRow = grid.FixedRows() - 1;
    if (order != 0) {
        const qsizetype at = grid.Tag().indexOf(kSortPrefix);
        if (at >= 0) {
            const QStringList parts = grid.Tag().mid(at + kSortPrefix.size()).split(u':');
            grid.SetTag(QString());
            col = ClngOf(LeadingNumber(parts.value(0))).value_or(0);
            order = ClngOf(LeadingNumber(parts.value(1))).value_or(0);
        }
    } else {
        const bool up = grid.TextMatrix(captionRow, col).endsWith(kArrowUp);
        if (grid.ColAlignment(col) >= 4)
            order = up ? 4 : 3;
        else
            order = up ? 7 : 8;
    }
    // A saved state may name a column that is gone since: it sorts nothing, as column 0 does.
    if (col < 1 || col >= grid.Cols())
        return;
    GridRedrawPause pause(grid);
    for (int c = 0; c < grid.Cols(); ++c) {
        QString caption = grid.TextMatrix(captionRow, c);
        if (caption.contains(kArrowUp) || caption.contains(kArrowDown))
            grid.SetTextMatrix(captionRow, c, caption.remove(kArrowUp).remove(kArrowDown));
    }
    grid.SetCol(col);
    grid.SetSort(order);
    const QString caption = grid.TextMatrix(captionRow, col) + (order == 4 || order == 7 ? kArrowDown : kArrowUp);
    grid.SetTextMatrix(captionRow, col, caption);
    // The arrow must not cut the caption of a column fitted to it; hidden columns and the widths the
    // user dragged stay.
    const int captionWidth = QFontMetrics(grid.Font()).horizontalAdvance(caption) * kTwipsPerPixel + 100 + 20;
    if (grid.ColWidth(col) > 0 && grid.ColWidth(col) < captionWidth && !grid.ColWidthByUser(col))
        grid.SetColWidth(col, captionWidth);
    if (grid.Tag().contains(QStringLiteral("排序")) || grid.Tag().isEmpty())
        grid.SetTag(kSortPrefix + QString::number(col) + u':' + QString::number(order));
    RenumberGridRows(grid);
}

void RenumberGridRows(FlexGrid &grid)
{
    int n = grid.FixedCols();
    for (int c = 0; c <= grid.FixedCols() && c < grid.Cols(); ++c) {
        if (grid.TextMatrix(grid.FixedRows() - 1, c) == kRowNumberCaption) {
            n = c + 1;
            break;
        }
    }
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        grid.SetTextMatrix(r, n - 1, QString::number(r - grid.FixedRows() + 1));
}

bool DeleteGridRows(FlexGrid &grid, int &r1, int &r2, bool confirm, bool closeProgress)
{
    if (!HasDataRows(grid))
        return false;
    if (r1 < 0 || r2 < 0) {
        r1 = grid.Row();
        r2 = grid.RowSel();
    }
    OrderPair(r2, r1);
    const int fixedRows = grid.FixedRows();
    if (r1 < fixedRows || r2 >= grid.Rows())
        return false;
    const int n = r2 - r1 + 1;
    if (confirm &&
        MsgBox(QStringLiteral("您确定要删除第") + QString::number(r1 - fixedRows + 1) + u'-' +
                   QString::number(r2 - fixedRows + 1) + QStringLiteral("行数据？"),
               Msg::YesNo + Msg::DefaultButton2) != Msg::Yes)
        return false;
    const bool progress = n > 100;
    if (progress)
        ShowIndicator(QStringLiteral("正在删除记录……"), 2L * n, 0);

    const int idCol = FindGridColumn(grid, 0, QStringLiteral("id"));
    const QString ids = JoinGridColumn(grid, idCol, r1, r2);
    if (idCol >= 0 && TableExists(grid.Tag()))
        ExecSql(QStringLiteral("DELETE * FROM ") + grid.Tag() + QStringLiteral(" WHERE id IN(") + ids + u')');

    // Whole rows go, so the rows below keep their own colours; the numbering stays where it was.
    GridRedrawPause pause(grid);
    const int rows = grid.Rows();
    const int numberCol = grid.FixedCols() - 1;
    std::vector<QString> numbers;
    for (int r = r1; r < rows - n; ++r)
        numbers.push_back(grid.TextMatrix(r, numberCol));
    grid.RemoveRows(r1, n);
    for (int r = r1; r < rows - n; ++r)
        grid.SetTextMatrix(r, numberCol, numbers[r - r1]);
    if (progress) {
        const long cells = static_cast<long>(rows - n - r1) * std::max(0, grid.Cols() - 1);
        for (long i = 0; i < std::min(cells, 2L * n); ++i)
            StepIndicator(1);
    }
    if (closeProgress)
        HideIndicator();
    return true;
}

QString JoinGridColumn(const FlexGrid &grid, int col, int r1, int r2)
{
    OrderPair(r2, r1);
    if (col < 0 || r1 < 0 || r2 < 0 || col >= grid.Cols() || r1 >= grid.Rows() || r2 >= grid.Rows())
        return QString();
    QStringList texts;
    for (int r = r1; r <= r2; ++r)
        texts << grid.TextMatrix(r, col);
    return texts.join(u',');
}

int FindGridColumn(const FlexGrid &grid, int row, const QString &name)
{
    if (row < 0 || row >= grid.Rows())
        return -1;
    for (int c = 0; c < grid.Cols(); ++c)
        if (grid.TextMatrix(row, c).compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

void SetCellForeColor(FlexGrid &grid, int row, int col, uint32_t color)
{
    if (row < 0 || row >= grid.Rows() || col < 0 || col >= grid.Cols())
        return;
    grid.SetRow(row);
    grid.SetCol(col);
    grid.SetCellForeColor(row, col, color);
}

void SetRowForeColor(FlexGrid &grid, int row, uint32_t color)
{
    for (int c = grid.FixedCols(); c < grid.Cols(); ++c)
        SetCellForeColor(grid, row, c, color);
}

void SetRangeForeColor(FlexGrid &grid, int r1, int c1, int r2, int c2, uint32_t color)
{
    for (int r = r1; r <= r2; ++r)
        for (int c = c1; c <= c2; ++c)
            SetCellForeColor(grid, r, c, color);
}

// FlexGridView: the grid's table view and the item model that adapts a FlexGrid to it.
#include "flex_grid_view.h"

#include <algorithm>
#include <cmath>

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QColor>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>

#include "platform/twips.h"

namespace {

QColor ColorOf(uint32_t colorRef)
{
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

Qt::Alignment AlignmentOf(int code, const QString &text)
{
    if (code == 9) {
        // General: numbers to the right, anything else to the left.
        bool number = false;
        QString plain = text;
        plain.remove(u',').toDouble(&number);
        return Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft);
    }
    const Qt::Alignment horizontal[3] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    const Qt::Alignment vertical[3] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    return horizontal[std::clamp(code / 3, 0, 2)] | vertical[code % 3];
}

int ButtonCode(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int ShiftCode(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

int Pixels(int twips)
{
    return static_cast<int>(std::lround(twips / static_cast<double>(kTwipsPerPixel)));
}

}  // namespace

// The item model over the grid: view row i is grid row FixedRows + i, view column c grid column c.
// It reports the row and column counts of the last reset only, so the view never asks beyond what it
// was told even while Redraw is off and the grid changes underneath.
class FlexGridView::Adapter : public QAbstractTableModel, public FlexGridObserver {
public:
    explicit Adapter(FlexGridView *view) : m_view(view), m_grid(view->m_grid) { Snapshot(); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_cols;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        const int r = m_grid.FixedRows() + index.row();
        const int c = index.column();
        if (!index.isValid() || r >= m_grid.Rows() || c >= m_grid.Cols())
            return QVariant();
        switch (role) {
        case Qt::DisplayRole:
            return m_grid.TextMatrix(r, c);
        case Qt::ForegroundRole: {
            const uint32_t color = m_grid.CellForeColor(r, c);
            return color == kDefaultCellColor ? QVariant() : QVariant(ColorOf(color));
        }
        case Qt::BackgroundRole: {
            const uint32_t color = m_grid.CellBackColor(r, c);
            return color == kDefaultCellColor ? QVariant() : QVariant(ColorOf(color));
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(AlignmentOf(m_grid.ColAlignment(c), m_grid.TextMatrix(r, c)));
        default:
            return QVariant();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        if (role != Qt::DisplayRole)
            return QVariant();
        if (orientation == Qt::Horizontal)
            return m_grid.FixedRows() > 0 ? m_grid.TextMatrix(m_grid.FixedRows() - 1, section) : QString();
        return m_grid.FixedCols() > 0 ? m_grid.TextMatrix(m_grid.FixedRows() + section, m_grid.FixedCols() - 1)
                                      : QString();
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    void RedrawChanged(bool on) override
    {
        if (!on)
            m_view->setUpdatesEnabled(false);
    }

    void Reset() override
    {
        {
            const QScopedValueRollback applying(m_view->m_applying, true);
            beginResetModel();
            Snapshot();
            endResetModel();
        }
        m_view->ApplyLayout();
        m_view->ApplySelection();
        m_view->setUpdatesEnabled(true);
    }

    void CellsChanged(int r1, int c1, int r2, int c2) override
    {
        const int fixedRows = m_grid.FixedRows();
        const int fixedCols = m_grid.FixedCols();
        c2 = std::min(c2, m_cols - 1);
        if (c1 > c2)
            return;
        if (r1 <= fixedRows - 1 && r2 >= fixedRows - 1)
            emit headerDataChanged(Qt::Horizontal, c1, c2);
        const int first = std::max(r1, fixedRows) - fixedRows;
        const int last = std::min(r2 - fixedRows, m_rows - 1);
        if (first > last)
            return;
        emit dataChanged(index(first, c1), index(last, c2));
        if (c1 <= fixedCols - 1 && c2 >= fixedCols - 1)
            emit headerDataChanged(Qt::Vertical, first, last);
    }

    void LayoutChanged() override
    {
        if (!m_view->m_applying)
            m_view->ApplyLayout();
    }

    void SelectionChanged() override
    {
        if (!m_view->m_applying)
            m_view->ApplySelection();
    }

    void RowColChange() override
    {
        // The user's move sets Row and Col one after the other: it is one change.
        if (m_view->m_writingBack)
            m_view->m_rowColChanged = true;
        else
            emit m_view->RowColChange();
    }

private:
    void Snapshot()
    {
        m_rows = std::max(0, m_grid.Rows() - m_grid.FixedRows());
        m_cols = m_grid.Cols();
    }

    FlexGridView *m_view;
    FlexGrid &m_grid;
    int m_rows = 0;
    int m_cols = 0;
};

FlexGridView::FlexGridView(QWidget *parent) : QTableView(parent)
{
    m_grid.SetFont(font());
    m_adapter = std::make_unique<Adapter>(this);
    setModel(m_adapter.get());
    m_grid.SetObserver(m_adapter.get());

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    for (QHeaderView *header : {horizontalHeader(), verticalHeader()}) {
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setMinimumSectionSize(0);
        header->setSectionsClickable(false);
        header->setHighlightSections(false);
        header->viewport()->installEventFilter(this);
        header->viewport()->setMouseTracking(true);
    }
    // The user resizes a column by dragging its border in the header; a press anywhere else on the
    // header is the grid's own (a sort, a fit).
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    viewport()->installEventFilter(this);
    viewport()->setMouseTracking(true);
    if (auto *corner = findChild<QAbstractButton *>())
        corner->installEventFilter(this);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { WriteBackSelection(); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { WriteBackSelection(); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int col, int, int pixels) {
        if (m_applying)
            return;
        const QScopedValueRollback applying(m_applying, true);
        m_grid.SetColWidth(col, pixels * kTwipsPerPixel, true);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { WriteBackScroll(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { WriteBackScroll(); });

    ApplyLayout();
    ApplySelection();
}

FlexGridView::~FlexGridView()
{
    m_grid.SetObserver(nullptr);
    setModel(nullptr);
}

int FlexGridView::RowPixels() const
{
    return QFontMetrics(font()).height() + 6;
}

void FlexGridView::ApplyLayout()
{
    const QScopedValueRollback applying(m_applying, true);
    if (font() != m_grid.Font())
        setFont(m_grid.Font());
    if (toolTip() != m_grid.ToolTipText())
        setToolTip(m_grid.ToolTipText());

    const int fixedRows = m_grid.FixedRows();
    const int fixedCols = m_grid.FixedCols();
    const int cols = std::min(m_grid.Cols(), model()->columnCount());
    for (int c = 0; c < cols; ++c) {
        const bool hidden = c < fixedCols;
        setColumnHidden(c, hidden);
        if (!hidden)
            horizontalHeader()->resizeSection(c, Pixels(m_grid.ColWidth(c)));
    }
    const int rowPixels = RowPixels();
    horizontalHeader()->setVisible(fixedRows > 0);
    horizontalHeader()->setFixedHeight(rowPixels);
    verticalHeader()->setDefaultSectionSize(rowPixels);
    const int numberWidth = fixedCols > 0 ? Pixels(m_grid.ColWidth(fixedCols - 1)) : 0;
    verticalHeader()->setVisible(numberWidth > 0);
    verticalHeader()->setFixedWidth(numberWidth);

    // The rows above the header are not shown: they take no height in the grid's arithmetic either.
    for (int r = 0; r + 1 < fixedRows; ++r)
        m_grid.SetRowHeight(r, 0);
    if (fixedRows > 0)
        m_grid.SetRowHeight(fixedRows - 1, rowPixels * kTwipsPerPixel);
    m_grid.SetDataRowHeight(rowPixels * kTwipsPerPixel);
}

void FlexGridView::ApplySelection()
{
    const QScopedValueRollback applying(m_applying, true);
    const int fixedRows = m_grid.FixedRows();
    const int rows = model()->rowCount();
    const int anchor = m_grid.Row() - fixedRows;
    const int end = m_grid.RowSel() - fixedRows;
    QItemSelectionModel *sel = selectionModel();
    if (anchor >= 0 && anchor < rows && end >= 0 && end < rows && model()->columnCount() > 0) {
        const int last = model()->columnCount() - 1;
        const QItemSelection rowsSelected(model()->index(std::min(anchor, end), 0),
                                          model()->index(std::max(anchor, end), last));
        sel->select(rowsSelected, QItemSelectionModel::ClearAndSelect);
        const int col = std::clamp(m_grid.Col(), 0, last);
        sel->setCurrentIndex(model()->index(end, col), QItemSelectionModel::NoUpdate);
    } else {
        sel->clear();
    }
    executeDelayedItemsLayout();
    updateGeometries();
    verticalScrollBar()->setValue(std::max(0, m_grid.TopRow() - fixedRows));
    int shownBefore = 0;
    for (int c = 0; c < m_grid.LeftCol() && c < model()->columnCount(); ++c)
        shownBefore += isColumnHidden(c) ? 0 : 1;
    horizontalScrollBar()->setValue(shownBefore);
}

void FlexGridView::WriteBackSelection()
{
    if (m_applying)
        return;
    const QModelIndex current = selectionModel()->currentIndex();
    if (!current.isValid())
        return;
    int top = current.row();
    int bottom = current.row();
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
    }
    // The current row is the end the user moved; the anchor is the other end of the block.
    const int anchor = current.row() == top ? bottom : top;
    const int fixedRows = m_grid.FixedRows();
    m_applying = true;
    m_writingBack = true;
    m_rowColChanged = false;
    m_grid.SetRow(anchor + fixedRows);
    m_grid.SetCol(current.column());
    m_grid.SetRowSel(current.row() + fixedRows);
    m_grid.SetColSel(current.column());
    m_writingBack = false;
    m_applying = false;
    if (m_rowColChanged)
        emit RowColChange();
}

void FlexGridView::WriteBackScroll()
{
    if (m_applying)
        return;
    m_applying = true;
    const int row = rowAt(0);
    if (row >= 0)
        m_grid.SetTopRow(row + m_grid.FixedRows());
    const int col = columnAt(0);
    if (col >= 0)
        m_grid.SetLeftCol(col);
    m_applying = false;
}

QPointF FlexGridView::TwipsAt(const QPoint &globalPos) const
{
    const QPoint p = viewport()->mapFromGlobal(globalPos);
    return QPointF(TwipsX(p.x()), TwipsY(p.y()));
}

double FlexGridView::TwipsX(int viewportX) const
{
    const int fixedCols = m_grid.FixedCols();
    double keys = 0;
    for (int c = 0; c + 1 < fixedCols; ++c)
        keys += m_grid.ColWidth(c);
    const double fixedWidth = keys + (fixedCols > 0 ? m_grid.ColWidth(fixedCols - 1) : 0);
    if (viewportX < 0) {
        const int header = verticalHeader()->isVisible() ? verticalHeader()->width() : 0;
        const double x = keys + std::max(0, viewportX + header) * kTwipsPerPixel;
        return std::max(0.0, std::min(x, fixedWidth - 1));
    }
    double x = fixedWidth;
    const int col = columnAt(viewportX);
    const int end = col >= 0 ? col : m_grid.Cols();
    for (int c = m_grid.LeftCol(); c < end; ++c)
        x += m_grid.ColWidth(c);
    if (col >= 0) {
        const double inside = (viewportX - columnViewportPosition(col)) * kTwipsPerPixel;
        return x + std::max(0.0, std::min(inside, m_grid.ColWidth(col) - 1.0));
    }
    const int right = horizontalHeader()->length() - horizontalHeader()->offset();
    return x + std::max(0, viewportX - right) * kTwipsPerPixel;
}

double FlexGridView::TwipsY(int viewportY) const
{
    const int fixedRows = m_grid.FixedRows();
    double hidden = 0;
    for (int r = 0; r + 1 < fixedRows; ++r)
        hidden += m_grid.RowHeight(r);
    const double fixedHeight = hidden + (fixedRows > 0 ? m_grid.RowHeight(fixedRows - 1) : 0);
    if (viewportY < 0) {
        const int header = horizontalHeader()->isVisible() ? horizontalHeader()->height() : 0;
        const double y = hidden + std::max(0, viewportY + header) * kTwipsPerPixel;
        return std::max(0.0, std::min(y, fixedHeight - 1));
    }
    double y = fixedHeight;
    const int row = rowAt(viewportY);
    const int end = row >= 0 ? fixedRows + row : m_grid.Rows();
    for (int r = m_grid.TopRow(); r < end; ++r)
        y += m_grid.RowHeight(r);
    if (row >= 0) {
        const double inside = (viewportY - rowViewportPosition(row)) * kTwipsPerPixel;
        return y + std::max(0.0, std::min(inside, m_grid.RowHeight(fixedRows + row) - 1.0));
    }
    const int bottom = verticalHeader()->length() - verticalHeader()->offset();
    return y + std::max(0, viewportY - bottom) * kTwipsPerPixel;
}

bool FlexGridView::OnColumnBorder(int headerX) const
{
    // As the header finds the border it resizes from: within the grip margin of a shown section's
    // right edge, or of its left edge when a shown section lies left of it.
    const QHeaderView *header = horizontalHeader();
    const int col = header->logicalIndexAt(headerX);
    if (col < 0)
        return false;
    const int grip = header->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, header);
    const int left = header->sectionViewportPosition(col);
    if (headerX < left + grip) {
        for (int visual = header->visualIndex(col) - 1; visual >= 0; --visual)
            if (!header->isSectionHidden(header->logicalIndex(visual)))
                return true;
        return false;
    }
    return headerX > left + header->sectionSize(col) - grip;
}

bool FlexGridView::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *me = static_cast<QMouseEvent *>(event);
        // A left press on a column border starts the header's resize, which is no click.
        if (watched == horizontalHeader()->viewport() && me->button() == Qt::LeftButton &&
            OnColumnBorder(me->position().toPoint().x()))
            break;
        const QPointF t = TwipsAt(me->globalPosition().toPoint());
        emit MouseDown(ButtonCode(me->button()), ShiftCode(me->modifiers()), t.x(), t.y());
        break;
    }
    case QEvent::MouseMove: {
        const auto *me = static_cast<QMouseEvent *>(event);
        const QPointF t = TwipsAt(me->globalPosition().toPoint());
        emit MouseMove(ButtonCode(me->buttons()), ShiftCode(me->modifiers()), t.x(), t.y());
        break;
    }
    case QEvent::MouseButtonDblClick:
        emit DblClick();
        break;
    default:
        break;
    }
    return QTableView::eventFilter(watched, event);
}

// ColSet: the column chooser form.
#include "col_set.h"

#include <vector>

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "mainwindow/col_fields.h"
#include "mainwindow/forms/mf.h"
#include "platform/busy_guard.h"
#include "platform/numeric.h"
#include "storage/forms/form_instance.h"
#include "storage/forms/form_ops.h"
#include "storage/grid_ops.h"

namespace {

constexpr int kCheckCol = 2;
constexpr int kAlignCentre = 4;

}  // namespace

ColSetForm::ColSetForm()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("表格列设置"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    RegisterFormWidget(this, QStringLiteral("ColSet"));

    MSF = new FlexGridView(this);
    connect(MSF, &FlexGridView::MouseDown, this, &ColSetForm::MSF_MouseDown);

    auto *buttons = new QVBoxLayout;
    const QString captions[] = {QStringLiteral("确   定"), QStringLiteral("取   消"), QStringLiteral("顺序上移"),
                                QStringLiteral("顺序下移")};
    for (int i = 0; i < static_cast<int>(Com.size()); ++i) {
        Com[i] = new QPushButton(captions[i], this);
        Com[i]->setMinimumWidth(90);
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
    }
    buttons->addWidget(Com[2]);
    buttons->addWidget(Com[3]);
    buttons->addStretch();
    buttons->addWidget(Com[0]);
    buttons->addWidget(Com[1]);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(MSF, 1);
    layout->addLayout(buttons);
    resize(360, 420);

    LoadColList();
}

void ColSetForm::LoadColList()
{
    if (ColSetTable().isEmpty())
        ColSetTable() = QStringLiteral("companyinfo");
    m_table = ColSetTable();
    std::vector<QString> fields;
    std::vector<QString> headings;
    GetColFields(fields, headings, m_table, false);
    const double lastVisible = LeadingNumber(ColSetTable());

    FlexGrid &grid = MSF->Grid();
    const GridRedrawPause pause(grid);
    SetupGridColumns(grid, {QStringLiteral("FName"), QString(), QStringLiteral("Sel"), QStringLiteral("FDes")},
                     {QStringLiteral("FName"), QStringLiteral("序号"), QStringLiteral("选择"), QStringLiteral("列名称")});
    m_prefix.clear();
    const int mode = ColSetMode();
    int rowNumbers = -1;  // the index of the row-number entry, once met
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        if (rowNumbers < 0) {
            if (!fields[i].isEmpty())
                continue;
            rowNumbers = i;
            for (int k = i + 1; k <= i + mode && k < static_cast<int>(fields.size()); ++k)
                m_prefix += fields[k] + QLatin1Char(',');
            continue;
        }
        if (i <= rowNumbers + mode)
            continue;
        const int row = grid.Rows();
        grid.SetRows(row + 1);
        grid.SetTextMatrix(row, 0, fields[i]);
        grid.SetTextMatrix(row, 1, QString::number(row - grid.FixedRows() + 1));
        grid.SetTextMatrix(row, kCheckCol, i <= lastVisible ? kCheckMark : QString());
        grid.SetTextMatrix(row, 3, headings[i]);
    }
    AutoFitGridColumns(grid, grid.FixedRows(), false);
    grid.SetColAlignment(kCheckCol, kAlignCentre);
}

void ColSetForm::MSF_MouseDown(int button, int shift, double x, double y)
{
    Q_UNUSED(button);
    FlexGrid &grid = MSF->Grid();
    ToggleGridCheck(grid, shift, x, y, true, grid.FixedCols());
}

void ColSetForm::Com_Click(int index)
{
    FlexGrid &grid = MSF->Grid();
    if (index == 2 || index == 3) {
        MoveGridRows(grid, grid.Row(), grid.RowSel(), index == 2 ? -1 : 1, grid.FixedRows() - 1);
        return;
    }
    if (index == 0) {
        // OK is ignored while a long operation runs: it would refill the trade grid in the middle of it.
        if (IsBusy())
            return;
        const BusyGuard busy;
        SaveCheckedColumnList(grid, QStringLiteral("FN_") + m_table, m_prefix);
        if (m_table == QStringLiteral("account"))
            MF()->TV_NodeClick(MF()->CurrentNode);
    }
    close();
}

void ColSetForm::closeEvent(QCloseEvent *event)
{
    ColSetMode() = 0;
    FormInstance<ColSetForm>::Forget(this);
    event->accept();
}

ColSetForm *ColSet()
{
    return FormInstance<ColSetForm>::Get();
}

ColSetForm *LoadedColSet()
{
    return FormInstance<ColSetForm>::Loaded();
}

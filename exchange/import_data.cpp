// 导入数据: the choice of the file and the worksheet of an import.
#include "import_data.h"

#include <QStringList>

#include "platform/prompter.h"
#include "platform/workbook.h"
#include "storage/dialogs.h"
#include "storage/grid_ops.h"
#include "storage/indicator.h"

namespace {

// Hides the progress window when it goes out of scope, whichever way the listing ends.
struct IndicatorCloser {
    ~IndicatorCloser() { HideIndicator(); }
};

}  // namespace

QString &ImportFilePath()
{
    static QString path;
    return path;
}

QString &ImportSheets()
{
    static QString sheets;
    return sheets;
}

bool IsCsvPath(const QString &path)
{
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
}

bool IsWorkbookPath(const QString &path)
{
    for (const char *ext : {".xls", ".xlsx", ".xlsm"})
        if (path.endsWith(QLatin1String(ext), Qt::CaseInsensitive))
            return true;
    return false;
}

ImportHooks &ImportWindowHooks()
{
    static ImportHooks hooks;
    return hooks;
}

void ImportData()
{
    SelectImportFile(1);
    const QString &path = ImportFilePath();
    if (!path.isEmpty() && (IsCsvPath(path) || !ImportSheets().isEmpty()) && ImportWindowHooks().showInputMap)
        ImportWindowHooks().showInputMap();
}

void SelectImportFile(int mode)
{
    ImportFilePath().clear();
    ImportSheets().clear();
    QString filter;
    ImportFilePath() = GetFileNameDlg(filter, false);
    if (ImportFilePath().isEmpty() || IsCsvPath(ImportFilePath()))
        return;
    if (ImportWindowHooks().showSheets)
        ImportWindowHooks().showSheets(mode);
    WaitFormClosed(kSheetsCaption);
}

void SetupSheetsGrid(FlexGrid &grid)
{
    GridRedrawPause pause(grid);
    grid.SetFixedRows(1);
    grid.SetFixedCols(1);
    grid.SetCols(3);
    grid.SetRows(1);
    const int widths[] = {500, 600, 4400};
    const char *captions[] = {"No.", "选择", "工作表名称"};
    for (int c = 0; c < 3; ++c) {
        grid.SetColWidth(c, widths[c]);
        grid.SetTextMatrix(0, c, QString::fromUtf8(captions[c]));
    }
    grid.SetColAlignment(1, 4);
}

bool LoadSheetList(FlexGrid &grid, const QString &path)
{
    SetupSheetsGrid(grid);
    const QString caption = QStringLiteral("正在读取EXCEL文件数据……");
    IndicatorCloser closer;
    ShowIndicator(caption, 100);
    Workbook workbook;
    if (!workbook.Open(path)) {
        MsgBox(QStringLiteral("无法打开XLS文件！"));
        return false;
    }
    const QStringList names = workbook.SheetNames();
    workbook.Close();
    ShowIndicator(caption, names.size());
    GridRedrawPause pause(grid);
    grid.SetRows(1 + static_cast<int>(names.size()));
    for (int i = 0; i < names.size(); ++i) {
        grid.SetTextMatrix(i + 1, 0, QString::number(i + 1));
        grid.SetTextMatrix(i + 1, 2, names[i]);
        StepIndicator(1, QStringLiteral("pages"));
    }
    if (!names.isEmpty())
        grid.SetTextMatrix(1, 1, kCheckMark);
    return true;
}

void TickSheetRow(FlexGrid &grid, int row, bool oneOnly)
{
    if (row < grid.FixedRows() || row >= grid.Rows())
        return;
    const QString mark = ToggleCheckMark(grid.TextMatrix(row, 1));
    if (!mark.isEmpty() && oneOnly)
        for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
            grid.SetTextMatrix(r, 1, QString());
    grid.SetTextMatrix(row, 1, mark);
}

int SheetRowAt(const FlexGrid &grid, double y)
{
    for (int r = 0; r < grid.FixedRows(); ++r)
        y -= grid.RowHeight(r);
    if (y < 0)
        return -1;
    for (int r = grid.TopRow(); r < grid.Rows(); ++r) {
        if (y < grid.RowHeight(r))
            return r;
        y -= grid.RowHeight(r);
    }
    return -1;
}

QString TickedSheetNames(const FlexGrid &grid)
{
    QStringList names;
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        if (!grid.TextMatrix(r, 1).isEmpty())
            names << grid.TextMatrix(r, 2);
    return names.join(kSheetSeparator);
}

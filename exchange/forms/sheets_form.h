// Sheets: the list of a workbook's worksheets, in which the user ticks the one to import from. It
// holds the application until it is closed, stays above the other windows and stands in the middle of
// the screen. Its Tag is the choice mode: a Tag whose leading number is 1 allows one ticked worksheet.
#pragma once

#include <array>

#include <QDialog>

#include "platform/forms/flex_grid_view.h"

class QLabel;
class QPushButton;

class SheetsForm : public QDialog {
    Q_OBJECT
public:
    // Loads the window: lists the worksheets of ImportFilePath (LoadSheetList) with the first one
    // ticked. When the workbook cannot be read the message has been shown and Loaded() is false: the
    // caller destroys the window instead of showing it.
    SheetsForm();

    FlexGridView *SHL = nullptr;
    std::array<QPushButton *, 2> IMG{};
    QLabel *Label1 = nullptr;
    QString Tag;

    bool Loaded() const { return m_loaded; }

    // A press on the list (x, y in twips as the view reports them): a data row's tick changes, in
    // one-worksheet mode clearing the other rows' ticks first.
    void SHL_MouseDown(int button, int shift, double x, double y);
    // 确定 (0) sets ImportSheets to the ticked names; both buttons then close the window.
    void IMG_Click(int index);

private:
    bool m_loaded = false;
};

// The worksheet list when it is loaded, else nullptr.
SheetsForm *LoadedSheets();

// Registers the import's windows with the import procedures (ImportWindowHooks): the worksheet list
// and the mapping dialog. The program calls it once at start-up.
void InstallImportWindows();

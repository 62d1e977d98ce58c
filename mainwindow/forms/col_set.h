// ColSet: the window "表格列设置" in which the user chooses the visible columns of a table's grid and
// their order: a list of the columns that can be chosen, each with its tick and heading; ticks change
// by clicks (the header for all, Shift for a range), rows move up and down, and OK stores the ticked
// columns in list order as the parameter "FN_" & table. The table comes from ColSetTable() and the
// columns kept fixed before the list from ColSetMode() when the window loads. Modeless; closing
// destroys it and resets ColSetMode() to 0.
#pragma once

#include <array>

#include <QString>
#include <QWidget>

#include "platform/forms/flex_grid_view.h"

class QPushButton;

class ColSetForm : public QWidget {
    Q_OBJECT
public:
    // Loads the window: builds the controls, registers it among the loaded windows and runs
    // LoadColList.
    ColSetForm();

    // The list: columns FName (the field, hidden key), 序号, 选择 (the tick) and 列名称 (the heading).
    FlexGridView *MSF = nullptr;
    // "确   定", "取   消", "顺序上移", "顺序下移".
    std::array<QPushButton *, 4> Com{};

    // Fills the list for ColSetTable() ("companyinfo" when empty; the window keeps the name): the
    // fixed prefix becomes the ColSetMode() fields after the row numbers, each followed by ","; every
    // later column gets a row, ticked when it is visible now; the columns are fitted and the tick
    // column centred.
    void LoadColList();
    // A press on the list (x, y in twips): ToggleGridCheck on the tick column.
    void MSF_MouseDown(int button, int shift, double x, double y);
    // 0 stores "FN_" & table = the prefix & the ticked fields in list order ("," between, a blank at
    // the end), refreshes the main window for the table "account" and closes (nothing while a long
    // operation holds the busy guard; it holds the guard itself); 1 closes, nothing stored; 2 and 3
    // move the selected rows one place up or down.
    void Com_Click(int index);

    const QString &Table() const { return m_table; }
    const QString &FixedPrefix() const { return m_prefix; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QString m_table;
    QString m_prefix;
};

// The window, loaded on first use; a closed window is loaded anew on the next use.
ColSetForm *ColSet();
// The window when it is loaded, else nullptr (never creates it).
ColSetForm *LoadedColSet();

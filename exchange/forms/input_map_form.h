// InputMap: the import's mapping dialog. On the left the mapping grid M1, whose column "对应列号" the
// user fills through the edit box TT laid over a cell, and the row range T(0) to T(1); on the right
// the preview M0 of the chosen file, read once, 100 ms after the dialog appeared. It holds the
// application while it is open, but leaves its caller at once.
#pragma once

#include <array>

#include <QDialog>

#include "platform/forms/flex_grid_view.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class InputMapForm : public QDialog {
    Q_OBJECT
public:
    // Loads the window: the row boxes from the stored range, the mapping grid (InitMapGrid) with its
    // last column filling the grid's width, Timer1 started.
    InputMapForm();

    FlexGridView *M1 = nullptr;
    FlexGridView *M0 = nullptr;
    std::array<QLineEdit *, 2> T{};
    QLineEdit *TT = nullptr;
    std::array<QPushButton *, 2> Com{};
    QTimer *Timer1 = nullptr;
    std::array<QLabel *, 4> Label2{};
    std::array<QLabel *, 2> Label1{};
    // Only LBL(2) exists.
    std::array<QLabel *, 3> LBL{};
    // The line under LBL(2): how columns are named, and where the help page explains the import.
    QLabel *HelpNote = nullptr;

    // 确定 (0): the import (ImportMappedRows), then the window closes unless the row range was
    // refused. 取消 (1): the chosen file and worksheets are cleared and the window closes. Both do
    // nothing while the program is busy (IsBusy()).
    void Com_Click(int index);
    // A click on a cell of M1: in column 2 the edit box is laid over the cell with its text.
    void M1_Click(int row, int col);
    void M1_Scroll();
    void Timer1_Timer();
    // The edit box's text goes into the cell it was laid over.
    void TT_Change(const QString &text);
    void TT_LostFocus();
    // Return in the edit box: the box moves to the next row's designation; after the last one the
    // start-row box takes the focus. Return in a row box moves the focus on; only a button with the
    // focus is pressed by Return, so the import runs only when 确定 is pressed.
    void TT_Return();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_editRow = -1;
    int m_editCol = -1;
};

// The mapping dialog, loaded on first use; LoadedInputMap() gives it only when it is loaded.
InputMapForm *InputMap();
InputMapForm *LoadedInputMap();

// StockBuy: the quick-buy window, which records a purchase in one step: the stock (found by code,
// name or pinyin initials, with the current price and a quantity proposed), the quantity, the price
// and the buy date, nothing else. It stores an open record and refreshes the asset table, the tree
// and the grid. Modeless; closing it destroys it, and the next use loads a new one with empty boxes.
#pragma once

#include <array>
#include <vector>

#include <QString>
#include <QWidget>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

class StockBuyForm : public QWidget {
    Q_OBJECT
public:
    // Loads the window (caption "买入股票"): builds the controls, registers it among the loaded
    // windows and runs Form_Load.
    StockBuyForm();

    // The text boxes TT(0) to TT(3): code, name, quantity in shares, buy price in yuan. The "Tag"
    // property of each names the account field it fills ("code", "sname", "num", "bprice").
    std::array<QLineEdit *, 4> TT{};
    // The buy date (Tag "bdate").
    QDateEdit *DTE = nullptr;
    // The capital used: quantity × price without fees, "-" while either is 0 or less.
    std::array<QLabel *, 1> LBL{};
    // The captions beside the controls, in the order TT(0..3), DTE, LBL(0).
    std::vector<QLabel *> Label1;
    // "确定", "取  消".
    std::array<QPushButton *, 2> Com{};

    // The text of TT(i); "" for any other index.
    QString TTText(int i) const;
    // Writes the text of TT(i) when it differs from the box's text; the write runs the box's change
    // handling like a typed change (nothing while the box is disabled).
    void SetTTText(int i, const QString &text);

    // The buy date becomes today (China time), the latest day its picker takes.
    void Form_Load();

    // The buttons. 0 "确定": the first failing check shows its message and the entry stays on screen:
    // the checks of entry_checks.h on the code, on the price and on the quantity, each box read whole
    // as a typed number (TypedNumber; "10,5" is no price). Otherwise the window hides and the buy is
    // stored as an open record (the quantity also as the trade size tnum; sell price, sell date and
    // memo keep the table's defaults) with its amounts; a stock new to the book gets its price history
    // and joins the quote list; the asset table is recomputed from the buy date, the tree rebuilt,
    // the chart reset, the current node refreshed and the main window's date range reset; the window
    // closes. When the record cannot be written (logged) "错误：保存记录失败！" is shown and the
    // window comes back with its entry. The store and the refresh hold the busy guard.
    // 1 "取  消": closes the window, nothing stored. A click while the program is busy is ignored.
    void Com_Click(int index);

protected:
    // Closing unloads (destroys) the window; refused while a buy is stored.
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildControls();
    void TT_Change(int index);
    // Writes TT(i) with its change handling suppressed.
    void WriteQuiet(int i, const QString &text);
    // Proposes the current price and a quantity for code, then puts the focus on the quantity with
    // its text selected.
    void ProposeBuy(const QString &code);
    // The capital used (change handling of TT(2), also run by TT(3)).
    void ShowCapital();
    // The message of the first check the entry fails, "" when it passes them all.
    QString CheckEntry() const;
    // Stores the entry and runs the refreshes; false when the record could not be written.
    bool StoreBuy();

    bool m_saving = false;
};

// The quick-buy window, loaded on first use (not shown: the caller shows it).
StockBuyForm *StockBuy();
// The quick-buy window when it is loaded, else nullptr.
StockBuyForm *LoadedStockBuy();

// The main window's quick buy: shows the window (loading it when needed, keeping its entry when it is
// open) and writes code into TT(0) when code is not empty, which looks the stock up and proposes the
// price and the quantity.
void StockBuyShow(const QString &code);

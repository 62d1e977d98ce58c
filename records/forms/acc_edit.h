// AccEdit: the record editor, the window in which the user adds a trade record or edits one. It
// finds the stock by code, name or pinyin initials, proposes the current price and a quantity for a
// new record, shows the cost price, fees, capital used, net return, net profit and holding days
// while the user types, checks the entry against the trading calendar and the day's price range,
// and saves it with the refreshes that follow. Modeless and kept above the other windows; closing
// it destroys it, and the next use loads a new one with a new entry.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include <QString>
#include <QWidget>

#include "records/records_hooks.h"

class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The day's price range of a stock in yuan; both 0 when neither a price row nor a quote is had.
struct PriceRange {
    double high = 0;
    double low = 0;
    bool IsKnown() const { return high != 0 || low != 0; }
};

class AccEditForm : public QWidget {
    Q_OBJECT
public:
    // Loads the window (caption "编辑股票买卖信息"): builds the controls, registers it among the
    // loaded windows and runs Form_Load.
    AccEditForm();

    // The text boxes TT(0) to TT(5) (code, name, quantity, net return %, buy price, sell price) and
    // the memo box TT(6). The "Tag" property of each names the account field it shows and saves
    // ("code", "sname", "num", "bprice", "sprice", "memo"); TT(3) has none and is never stored.
    std::array<QLineEdit *, 6> TT{};
    QPlainTextEdit *Memo = nullptr;
    // The buy date DTE(0) and the sell date DTE(1).
    std::array<QDateEdit *, 2> DTE{};
    // Hidden: the id of the record being edited, empty (or 0) while a new record is entered.
    // Writing an id loads that record (ID_Change).
    QLineEdit *ID = nullptr;
    // Cost price, fees, capital used, net profit, holding days.
    std::array<QLabel *, 5> LBL{};
    // The captions beside the controls, in the order TT(0..6), DTE(0..1), LBL(0..4).
    std::vector<QLabel *> Label1;
    // "保存/继续添加", "保 存 / 退 出", "取  消".
    std::array<QPushButton *, 3> Com{};

    // The text of TT(i), the memo box for 6; "" for any other index.
    QString TTText(int i) const;
    // Writes the text of TT(i) when it differs from the box's text; the write runs the box's change
    // handling like a typed change (nothing while the box is disabled).
    void SetTTText(int i, const QString &text);
    // True while no record is loaded: the leading number of ID, rounded, is 0.
    bool IsNewRecordMode() const;

    // Makes the window top-most, then prepares a new entry.
    void Form_Load();
    // Prepares a new entry: empties the figures and every box but the memo, lets both pickers go up to
    // today (China time), sets both dates to LastTradeDate (left as they are when it has none), empties
    // ID, enables code and name, and writes the current tree node's code into TT(0) when a stock node
    // is current (which looks the stock up and proposes price and quantity).
    void NewAccEdit();
    // Loads record id into the boxes and the dates and disables code and name; nothing for id 0; an
    // id without a record changes nothing but the focus, which goes to the sell price. The pickers go
    // up to today, or to the record's own date when it is later.
    void LoadAccEdit(long id);
    // The day both pickers start from: today (China time) when today is a trading day, else the
    // newest day of the index history; nothing when neither is known.
    std::optional<double> LastTradeDate() const;

    // The checks an entry must pass before it is saved; the first that fails shows its message
    // ("错误：股票代码错误！", ...) and gives false. Quantity and prices must be wholly numbers within
    // the bounds of entry_checks.h, the dates not after today. For a stock new to the book the price
    // history is downloaded first, and so is what the stock's table lacks for a past buy or sell
    // date (DownloadHistoryForDay); when that download fails, a day without a row is refused with a
    // message naming the data service that did not answer. Once the user gives a download up
    // (closing the wait window), the check asks nothing more.
    bool CheckInfo();
    // The range of code on day: from the quote service for today (China time, whatever the date of
    // the machine's clock) or the empty date (fields 4 and 5 of a quote of at least 31 fields), else
    // from the stock's price table; (0, 0) without either.
    PriceRange GetMaxAndMinPrice(const QString &code, double day) const;
    // Stores the entry as a new record (ID empty or naming no record) or over the loaded record, the
    // quantity and prices read as CheckInfo reads them (EntryNumber), the stock id from the stock list
    // (an edited record of a code the list lacks keeps its own, a new one gets 0), then downloads the
    // history of a stock new to the book, recomputes the record's amounts and the asset table (from
    // the earlier of the stored and the new buy date), rebuilds the tree for a new record or one
    // whose save changed whether its stock has an open record, refreshes grid and chart when the
    // root, a group or the saved stock's node is current (otherwise only the asset status line and
    // the holdings summary), and resets the main window's date range. Holds the busy guard. When
    // the record cannot be written (logged) the message "错误：保存记录失败！" is shown, nothing else runs
    // and false is returned, so the entry stays on screen.
    bool SaveAccRec();

    // The buttons: 0 checks, saves and prepares a new entry; 1 checks, saves and closes; 2 closes.
    // A click while the program is busy is ignored.
    void Com_Click(int index);

protected:
    // Closing unloads (destroys) the window; refused while a save runs.
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildControls();
    void ID_Change();
    void TT_Change(int index);
    // A click into the empty buy-price or sell-price box fills it with the current price, selected;
    // true when it did.
    bool TT_Click(int index);
    void DTE_Change(int index);
    // Writes TT(i) with its change handling suppressed (the original disabled the box around it).
    void WriteQuiet(int i, const QString &text);
    // The figures of quantity and prices (change handling of TT(2), also run by TT(4), TT(5)).
    void ShowFigures();
    // The net return and net profit of a sold entry (change handling of TT(4), TT(5) after the
    // figures).
    void ShowReturn();
    // The proposed price and quantity for code in new-record mode.
    void ProposeBuy(const QString &code);

    std::array<bool, 7> m_quiet{};
    bool m_saving = false;
    // The code whose history CheckInfo downloaded (a stock new to the book), so the save does not ask
    // the data service again.
    QString m_downloaded;
};

// The record editor, loaded on first use (not shown: the caller shows it).
AccEditForm *AccEdit();
// The record editor when it is loaded, else nullptr.
AccEditForm *LoadedAccEdit();

// The main window's click on a tree node: when the node is a stock node ("S" & code) and the editor
// is loaded in new-record mode with its code box enabled, the code (characters 2 to 7 of the node's
// text "[" & code & "]" & name) is written into TT(0), which looks the stock up. Otherwise nothing.
void AccEditNodeClick(const TreeNodeRef &node);
// The main window's double click on a data row of the trade grid: shows the editor (loading it when
// needed) and writes the row's record id into ID, which loads the record.
void AccEditShowRecord(long id);
// The main window's "添加买卖记录": shows the editor (loading it when needed). An entry being typed
// stays; a loaded record gives way to a new entry, so that the next save adds a record instead of
// replacing the loaded one.
void AccEditShowNew();

// MF: the program's main window: the stock tree on the left, the command bar, trade grid and K-line
// chart on the right, the status line along the bottom, two splitter bars between the areas and the
// settings pop-up panel. The one instance is reached program-wide through MF().
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QDate>
#include <QFrame>
#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>

#include "platform/forms/flex_grid_view.h"
#include "platform/forms/overlay_controls.h"
#include "platform/forms/picture_box.h"
#include "records/records_hooks.h"
#include "storage/forms/widget_controls.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// Where a stock-tree item keeps its node: the key ("", "C0", "C2" or "S" & code) under kNodeKeyRole
// and the creation index under kNodeIndexRole, both in column 0.
constexpr int kNodeKeyRole = Qt::UserRole;
constexpr int kNodeIndexRole = Qt::UserRole + 1;
// The node of a tree item by value: its key, its text (column 0) and its creation index.
TreeNodeRef TreeNodeOf(const QTreeWidgetItem *item);

// The procedures of the tree, grid, chart and commands that the main window calls. Each defaults to
// nothing until its module registers it.
struct MFHooks {
    // Called at the end of the common refresh, after the grid and the chart (a watcher for tests).
    std::function<void(const std::optional<TreeNodeRef> &)> nodeClick;
    // Told of every command as it starts, inside its busy guard and before it runs (a watcher for
    // tests).
    std::function<void(int)> commandRun;
    // True while a long operation holds the program's busy guard (IsBusy() when not set); closing
    // waits for it and the user's events are ignored meanwhile.
    std::function<bool()> isBusy;
    // Ends the program after the main window closed (QCoreApplication::quit by default).
    std::function<void()> endProgram;
};
MFHooks &MainWindowHooks();

// A splitter bar: a thin picture-like strip placed in the client area. While the left button drags
// it, it follows the mouse along its free axis (a bar taller than wide moves left and right), kept
// inside its container and the limits of its "Tag" property ("min,max" in twips: at least min from
// the near edge and max plus its own thickness from the far edge). Released, it emits released().
class SplitterBar : public QFrame {
    Q_OBJECT
public:
    explicit SplitterBar(QWidget *parent);
    // Moves the bar by the mouse position (x, y) in the bar's own pixels, as a drag step does.
    void MoveSpBar(int x, int y);
    // Puts the bar back inside its container and limits where it stands now (a smaller window).
    void KeepInside();

signals:
    void released();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void PlaceInside(int position);
};

class MFWindow : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs its load (MF() gives this window from the start of it, so nothing
    // the load runs can make a second one): the grid emptied, the saved check boxes, date pickers and
    // splitter positions (MFParams) written into the controls, and every open record's sell date
    // reset to the empty date. What was never saved shows the whole book: "待卖的股票" and
    // "已卖的股票" ticked, the pickers from the earliest buy (today on an empty book) to today. The
    // window's minimum size keeps the tree's minimum, the whole command bar and the status line.
    // Registers the window's procedures for the record writers (RecordsWindowHooks).
    MFWindow();
    ~MFWindow() override;

    QTreeWidget *TV = nullptr;
    std::array<SplitterBar *, 2> SpBar{};
    std::array<QFrame *, 1> Frm{};
    // The trade grid; its FlexGrid (MSF[0]->Grid()) is what the grid procedures work on.
    std::array<FlexGridView *, 1> MSF{};
    // The chart picture, handed to the K-line chart while the window exists; its picture's Tag holds
    // the text last given to the chart.
    std::array<PictureBox *, 1> Pic{};
    // The chart's crosshair lines: Ln[2] vertical, Ln[3] horizontal (Ln[0], Ln[1] do not exist).
    std::array<QFrame *, 4> Ln{};
    std::array<QLabel *, 3> LBL{};
    // Ln[2], Ln[3] and LBL[2] as the chart moves and writes them (twips), handed to it with Pic[0].
    std::array<std::unique_ptr<LineOverlay>, 4> LnControl{};
    std::unique_ptr<LabelOverlay> LBLControl2;
    std::array<QLabel *, 2> Label1{};
    std::array<QDateEdit *, 2> DTP{};
    QLabel *TStatus = nullptr;
    QFrame *MSFSet = nullptr;
    std::array<QCheckBox *, 4> Chk{};
    std::array<QPushButton *, 23> Com{};
    QTimer *Timer1 = nullptr;
    // The pictures of the stock tree's nodes, by key ("R0").
    QHash<QString, QIcon> ImgList;
    // The stock-tree node last clicked; nothing when none is current.
    std::optional<TreeNodeRef> CurrentNode;

    // The client area that holds every control; positions are in its coordinates.
    QWidget *ClientArea() const { return m_client; }

    // Rebuilds the stock tree for the date window; CurrentNode stays while the tree still has it, else
    // becomes the saved node, else the root.
    void RebuildTree();
    // The first activation: sets the date pickers' range, loads the stock tree and refreshes for its
    // current node (the saved one, else the root), holding the busy guard throughout. Later
    // activations (the tree has nodes) do nothing.
    void Form_Activate();
    // Lays the controls out around the two splitter bars, each first kept inside its limits (the
    // vertical one leaves the command bar its width, the horizontal one stays below it), then redraws
    // the chart. Nothing while the window is minimized; a width or height a control cannot take
    // (negative) leaves that side as it was, and the control still takes its other settings.
    void Form_Resize();
    // The date window's range: the minimum of both pickers is the earliest buy date (1900-01-01 for an
    // empty book), the maximum today; an earliest buy date after today gives today as the minimum.
    // A first picker that stood at the book's first day (today for an empty book) moves to the new
    // first day; one the user set later stays. After a write, storedBuy is the latest buy date of the
    // records stored: when it lies after the window's last day, the last picker moves to today (the
    // earlier picker first day). True when a picker's day changed (moved with the book's start or to
    // today, or held inside the new range). Through RecordsWindowHooks (after a save or an import)
    // such a change also rebuilds the tree and refreshes the grid for the new window.
    bool SetDtpRange(const std::optional<QDate> &storedBuy = std::nullopt);
    // The data part of the start-up again on a replaced or emptied database file, then the date range
    // of the new book, the tree reloaded and the grid, status line and chart (drawn anew) refreshed for
    // the new book's saved node (else the root). Holds the busy guard throughout, so a close of the
    // window meanwhile happens when it is over.
    void RestartSys();
    // The common refresh; nothing without a node. Sets CurrentNode, puts a stock node's code into an
    // open record editor taking a new record, refills the trade grid, the asset status line and the
    // holdings summary for it, and with a current data row shows its stock ("[" code "] " name).
    void TV_NodeClick(const std::optional<TreeNodeRef> &node);
    // Runs the command with that index; 11 shows or hides the settings panel, 4 the asset-versus-index
    // chart, 5 the capital structure, 6 imports, 7 exports the trade grid (ExportGrid, titled
    // "Kelvaro股票交易数据"), 21 shows the grid colour window and 22 the column chooser for "account"
    // with the code and the name kept first; the others run through RunCommand; an unknown index does
    // nothing. The command holds the busy guard for its whole run with the grid disabled; the grid's
    // former state comes back however the command ends. It runs also while another operation holds
    // the guard (its caller).
    void Com_Click(int index);
    // A user's click on the check box Chk(index) (nothing while the box is disabled): when both
    // "待卖的股票" and "已卖的股票" are now unticked, the other one of the two is ticked again
    // without a click of its own; then the trade grid is refilled.
    void Chk_Click(int index);
    // The grid MSF(index): a right press opens the grid menu for it; any other press sorts by the
    // caption under (x, y) twips or fits the columns (GridHeaderClick), then saves the grid's sort
    // state (its Tag) as "MSFOrder_" & index, also after a press on a data row.
    void MSF_MouseDown(int index, int button, double x, double y);
    // A new current data row while the grid draws (not during a refill): its stock on the chart,
    // "[" code "]" name.
    void MSF_RowColChange(int index);
    // A double click with a current data row: the record editor shows that row's record.
    void MSF_DblClick(int index);
    // Moves the chart's window of visible bars by dFirst and dLast bars, each end kept within the bars
    // and the two in order, and redraws the chart on the price scale of the new window (FitKLineScale).
    // False, with nothing drawn, when no stock is shown, the chart has no picture of this window, or
    // the window stays as it was.
    bool MoveKLine(int dFirst, int dLast);
    // The chart Pic(index): a double click switches the crosshair on or off (Ln(2)'s "Tag" "1" or
    // ""; both lines show exactly while it is on).
    void Pic_DblClick(int index);
    // A press of any button but the left opens the chart menu for the picture.
    void Pic_MouseDown(int index, int button, double x, double y);
    // With the crosshair on and no button held the bar under (x, y) twips becomes the current bar:
    // the crosshair moves to it and the read-out shows it.
    void Pic_MouseMove(int index, int button, double x, double y);
    // The arrow keys 37 to 40 with the modifiers 1 Shift, 2 Ctrl, 4 Alt (ApplyChartKey), then the
    // read-out follows the crosshair; other keys do nothing.
    void Pic_KeyDown(int index, int keyCode, int shift);
    // Makes the chart draw anew on its next request: empties Pic(0)'s Tag.
    void ResetChart();
    // False while a long operation holds the busy guard: the user's events (buttons, menus, tree,
    // check boxes, the grid's and the chart's mouse and key events, the timer) do nothing then.
    bool UserEventAllowed() const;
    // The entry of every user event: runs the handler holding the busy guard, unless a long operation
    // holds it already (then nothing runs). True when the handler ran.
    bool RunUserEvent(const std::function<void()> &handler);
    // Shows the settings panel under Com(11), or hides it when it is shown.
    void ToggleSettingsPanel();
    // The refresh timer: interval in ms, 0 or less stops it.
    void SetRefreshInterval(int ms);
    // The window's persisted controls (Chk, DTP, SpBar), in their saved order.
    WidgetFormControls &Controls() { return m_controls; }

    // The menu bar (mf_menus.cpp). Each item is a QAction named as the item; an item that runs a
    // command holds its index as its data and runs Com_Click with it. Every item runs as a user event:
    // nothing while a long operation holds the busy guard.
    QMenu *mSys = nullptr, *mEdit = nullptr, *mAnalyse = nullptr, *mSet1 = nullptr, *mTools = nullptr,
          *mDB = nullptr, *mHelp = nullptr;
    // The items that run no command: the system settings; closing the main window (which saves and
    // ends); the K-line colours; backup, restore and clearing of the database (the last two restart on
    // the new data); the help page (the program folder's HELP.html, else the one beside the
    // executable); the about box.
    void mSet_Click();
    void mEnd_Click();
    void mKSet_Click();
    void mBackup_Click();
    void mRestore_Click();
    void mClearDB_Click();
    void mIntrudation_Click();
    void mAbout_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildControls();
    QWidget *BuildCommandBar();
    void BuildSettingsPanel();
    void BuildMenus();
    void Form_Load();
    void Form_Unload();
    void HideSettingsPanel();
    void Timer1_Timer();
    // The user's clicks on a command button, a check box (put back when the click is ignored) and a
    // tree item; a key that moves the tree's current item counts as a click on it.
    void ComButton_Click(int index);
    void ChkBox_Click(int index, bool checked);
    void TV_ItemClick(QTreeWidgetItem *item);

    QWidget *m_client = nullptr;
    WidgetFormControls m_controls;
    // The first day of the whole book when the date window was last set (invalid before that).
    QDate m_bookStart;
    QTimer *m_closeRetry = nullptr;
};

// The main window, created (and loaded) on first use. Closing it destroys it; the next use loads a
// new one.
MFWindow *MF();
// The main window when it is loaded, else nullptr (never creates it).
MFWindow *LoadedMF();
// Closes the windows that hold entries of the current book (the record editor, the quick-buy form, the
// K-line colours and the system, grid colour and column settings), so none of them is saved into
// another book after a restore or a clear, and the two analysis windows, which show the old book.
void CloseRecordWindows();
// Registers the main window's parts of start-up (load, then show) with Main.
void InstallMainWindow();

// MF: the main window's controls, load, first activation, layout, splitters, settings panel,
// restart and unload.
#include "mf.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "charts/forms/cap_structure_form.h"
#include "charts/forms/invest_compare_form.h"
#include "charts/kline.h"
#include "charts/kline_draw.h"
#include "exchange/export.h"
#include "exchange/import_data.h"
#include "mainwindow/chart_keys.h"
#include "mainwindow/col_fields.h"
#include "mainwindow/forms/col_set.h"
#include "mainwindow/forms/commands.h"
#include "mainwindow/forms/msf_view_set.h"
#include "mainwindow/forms/pop.h"
#include "mainwindow/forms/stock_tree_form.h"
#include "market/calendar.h"
#include "market/http.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "mainwindow/forms/trade_grid_form.h"
#include "mainwindow/main_sub.h"
#include "platform/busy_guard.h"
#include "records/forms/acc_edit.h"
#include "platform/daynum.h"
#include "platform/twips.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/forms/form_ops.h"
#include "storage/grid_ops.h"
#include "storage/indicator.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

// Mouse buttons as the grid and the chart report them.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;

QPointer<MFWindow> &TheMF()
{
    static QPointer<MFWindow> mf;
    return mf;
}

// Designed sizes, in pixels.
constexpr int kDesignedWidth = 1180;
constexpr int kDesignedHeight = 760;
constexpr int kBarThickness = 5;
constexpr int kTreeWidth = 230;
constexpr int kCommandBarHeight = 96;
constexpr int kGridBottom = 440;
constexpr int kStatusHeight = 22;
// The least room the grid and the chart share in the smallest window.
constexpr int kMinGridAndChartHeight = 120;
// The top of the chart's read-out.
constexpr int kReadoutTop = 60;
// The horizontal bar is designed wider than any screen; only its Left follows the layout.
constexpr int kHorizontalBarWidth = 4000;
// The crosshair lines' length in twips, also wider than any screen.
constexpr double kCrosshairLength = 4000.0 * kTwipsPerPixel;

const char *const kComCaptions[23] = {
    "添加买卖记录", "编辑买卖记录",       "删除买卖记录", "卖出快捷编辑",   "收益率对比折线分析", "资产构成饼状图分析",
    "交易记录导入", "交易记录导出",       "合并卖出",     "部分卖出",       "当前股票买入快捷添加", "参数设置",
    "拆分交易",     "刷新",               "显示全部",     "显示当年",       "显示当月",           "显示最近一年",
    "显示最近一个月", "参数设置",         "合并交易",     "设置字体颜色",   "列设置"};

const char *const kChkCaptions[4] = {"待卖的股票", "已卖的股票", "实时更新当前价格", "只显示收益率最高的"};

// The leading numbers of a "min,max" Tag; missing parts count as 0.
std::pair<int, int> TagLimits(const QString &tag)
{
    const QStringList parts = tag.split(QLatin1Char(','));
    const int lo = parts.size() > 0 ? static_cast<int>(MakeString(parts[0]).ToDouble()) : 0;
    const int hi = parts.size() > 1 ? static_cast<int>(MakeString(parts[1]).ToDouble()) : 0;
    return {lo, hi};
}

// The busy state the window obeys: the installed test, else the program's busy guard.
bool ProgramBusy()
{
    const auto &busy = MainWindowHooks().isBusy;
    return busy ? busy() : IsBusy();
}

// Disables a widget for the scope's life and then gives it back its former state (so a command run
// inside another leaves it disabled for the outer one).
class DisabledWhile {
public:
    explicit DisabledWhile(QWidget *w) : m_widget(w), m_wasEnabled(w && w->isEnabled())
    {
        if (w)
            w->setEnabled(false);
    }
    ~DisabledWhile()
    {
        if (m_widget)
            m_widget->setEnabled(m_wasEnabled);
    }
    DisabledWhile(const DisabledWhile &) = delete;
    DisabledWhile &operator=(const DisabledWhile &) = delete;

private:
    QPointer<QWidget> m_widget;
    bool m_wasEnabled;
};

// The buy date of the book's earliest record, or with latest of its newest (BookBuyDay); nothing for
// an empty book.
std::optional<QDate> BuyDateAtEnd(bool latest)
{
    const std::optional<double> day = BookBuyDay(latest);
    if (!day)
        return std::nullopt;
    return DateOfDayNumber(*day);
}

std::optional<QDate> EarliestBuyDate()
{
    return BuyDateAtEnd(false);
}

std::optional<QDate> LatestBuyDate()
{
    return BuyDateAtEnd(true);
}

// The main window's procedures as the record writers reach them; each does nothing without a window.
void RegisterRecordsHooks()
{
    RecordsHooks &h = RecordsWindowHooks();
    h.currentNode = []() -> std::optional<TreeNodeRef> {
        const MFWindow *mf = LoadedMF();
        return mf ? mf->CurrentNode : std::nullopt;
    };
    h.refreshCurrentNode = [] {
        if (MFWindow *mf = LoadedMF())
            mf->TV_NodeClick(mf->CurrentNode);
    };
    h.loadStockTree = [] {
        if (MFWindow *mf = LoadedMF())
            mf->RebuildTree();
    };
    h.setDtpRange = [](std::optional<double> storedBuy) {
        MFWindow *mf = LoadedMF();
        if (!mf)
            return;
        const std::optional<QDate> stored = storedBuy ? std::optional(DateOfDayNumber(*storedBuy)) : LatestBuyDate();
        // The writers refresh before they reset the range: a window that moved (to an older first buy
        // or to today: a closed trade typed in or imported) must show in the tree and the grid too.
        if (mf->SetDtpRange(stored)) {
            mf->RebuildTree();
            mf->TV_NodeClick(mf->CurrentNode);
        }
    };
    h.resetChart = [] {
        if (MFWindow *mf = LoadedMF())
            mf->ResetChart();
    };
    h.refreshAssetLines = [] {
        if (MFWindow *mf = LoadedMF()) {
            ShowAssetStatus(mf->LBL);
            ShowHoldingsSummary(mf->LBL[1]);
        }
    };
}

// The first day of a date window over the whole book: the earliest buy, never after today (an import
// can bring a later one); today for an empty book.
QDate BookStart(const std::optional<QDate> &earliest, const QDate &today)
{
    return earliest ? std::min(*earliest, today) : today;
}

// The stock tree's widget: a key that moves the current item (an arrow, Home, End, a typed letter)
// reports the new item, as a click does.
class StockTreeWidget : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    std::function<void(QTreeWidgetItem *)> keyMoved;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QTreeWidgetItem *before = currentItem();
        QTreeWidget::keyPressEvent(event);
        if (currentItem() && currentItem() != before && keyMoved)
            keyMoved(currentItem());
    }
};

// Moves a widget and gives it a size. Width and height are set one by one: a negative one is refused
// and leaves that side as it was, the other is still taken.
void PlaceWidget(QWidget *w, int left, int top, int width, int height)
{
    w->move(left, top);
    w->resize(width >= 0 ? width : w->width(), height >= 0 ? height : w->height());
}

}  // namespace

TreeNodeRef TreeNodeOf(const QTreeWidgetItem *item)
{
    if (!item)
        return {};
    return {item->data(0, kNodeKeyRole).toString(), item->text(0), item->data(0, kNodeIndexRole).toInt()};
}

MFHooks &MainWindowHooks()
{
    static MFHooks hooks;
    return hooks;
}

// ---- SplitterBar ----

SplitterBar::SplitterBar(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setProperty("Tag", QString());
}

void SplitterBar::MoveSpBar(int x, int y)
{
    if (x == 0 && y == 0)
        return;
    PlaceInside(height() > width() ? this->x() + x : this->y() + y);
}

void SplitterBar::KeepInside()
{
    PlaceInside(height() > width() ? x() : y());
}

void SplitterBar::PlaceInside(int position)
{
    QWidget *container = parentWidget();
    if (!container)
        return;
    const auto [minTwips, maxTwips] = TagLimits(property("Tag").toString());
    const int lo = minTwips / kTwipsPerPixel;
    const int hi = maxTwips / kTwipsPerPixel;
    const bool vertical = height() > width();
    const int far = (vertical ? container->width() - width() : container->height() - height()) - hi;
    // In a container too small for both limits the near one wins: the area before the bar keeps its
    // minimum and the bar stays in sight.
    position = std::max(std::min(position, far), lo);
    if (vertical)
        move(position, y());
    else
        move(x(), position);
}

void SplitterBar::mousePressEvent(QMouseEvent *event)
{
    // Qt grabs the mouse for the pressed widget until the release, as the capture did.
    if (event->button() != Qt::LeftButton)
        QFrame::mousePressEvent(event);
}

void SplitterBar::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        MoveSpBar(p.x(), p.y());
    }
}

void SplitterBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit released();
}

// ---- MFWindow ----

MFWindow::MFWindow()
{
    TheMF() = this;
    setObjectName(QStringLiteral("MF"));
    setWindowTitle(QStringLiteral("Kelvaro股票记账软件"));
    setAttribute(Qt::WA_DeleteOnClose);
    BuildControls();
    BuildMenus();
    // The smallest window still shows the tree's minimum, the whole command bar, some grid and chart
    // rows and the status line.
    const int treeMin = TagLimits(SpBar[0]->property("Tag").toString()).first / kTwipsPerPixel;
    const int commandBarMin = TagLimits(SpBar[0]->property("Tag").toString()).second / kTwipsPerPixel;
    setMinimumSize(treeMin + kBarThickness + commandBarMin,
                   menuBar()->sizeHint().height() + kCommandBarHeight + kMinGridAndChartHeight + kBarThickness +
                       kStatusHeight);
    SetKLinePicture(&Pic[0]->picture());
    SetKLineCrosshair(LnControl[2].get(), LnControl[3].get(), LBLControl2.get());
    resize(kDesignedWidth, kDesignedHeight);
    // The client area takes its designed size now, so restored splitter positions are checked
    // against it before the window is first shown.
    m_client->resize(kDesignedWidth, kDesignedHeight);
    Form_Load();
    Form_Resize();

    SetStatusHook([](const QString &text) {
        if (MFWindow *mf = LoadedMF())
            mf->TStatus->setText(text);
    });
    SetRefreshTimerHook([](int ms) {
        if (MFWindow *mf = LoadedMF())
            mf->SetRefreshInterval(ms);
    });
    RegisterRecordsHooks();
}

MFWindow::~MFWindow()
{
    qApp->removeEventFilter(this);
    if (KLinePicture() == &Pic[0]->picture())
        SetKLinePicture(nullptr);
    if (KLineReadout() == LBLControl2.get())
        SetKLineCrosshair(nullptr, nullptr, nullptr);
    if (TheMF() == this)
        TheMF() = nullptr;
}

void MFWindow::BuildControls()
{
    m_client = new QWidget(this);
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    ImgList = MakeTreeImageList();
    auto *tree = new StockTreeWidget(m_client);
    TV = tree;
    SetTreeStyle(TV);
    TV->setGeometry(0, 0, kTreeWidth, kDesignedHeight - kStatusHeight);
    // Presses and keys are dropped while busy, so an ignored click does not move the selection either.
    TV->viewport()->installEventFilter(this);
    TV->installEventFilter(this);
    connect(TV, &QTreeWidget::itemClicked, this, &MFWindow::TV_ItemClick);
    tree->keyMoved = [this](QTreeWidgetItem *item) { TV_ItemClick(item); };

    SpBar[0] = new SplitterBar(m_client);
    SpBar[0]->setObjectName(QStringLiteral("SpBar0"));
    SpBar[0]->setCursor(Qt::SplitHCursor);
    SpBar[0]->setProperty("Tag", QStringLiteral("500,300"));
    SpBar[0]->setGeometry(kTreeWidth, 0, kBarThickness, kDesignedHeight - kStatusHeight);

    const int right = kTreeWidth + kBarThickness;
    Frm[0] = new QFrame(m_client);
    Frm[0]->setGeometry(right, 0, kDesignedWidth - right, kCommandBarHeight);
    BuildCommandBar();
    // The vertical bar leaves the command bar the width its buttons and dates need.
    const int commandBarWidth = Frm[0]->layout()->minimumSize().width();
    SpBar[0]->setProperty("Tag", QStringLiteral("500,%1").arg(std::max(300, commandBarWidth * kTwipsPerPixel)));

    MSF[0] = new FlexGridView(m_client);
    MSF[0]->Grid().SetIndex(0);
    MSF[0]->setGeometry(right, kCommandBarHeight, kDesignedWidth - right, kGridBottom - kCommandBarHeight);
    // As the tree's: a row the user picks while the program is busy (a refresh waiting on the quote
    // service lets events through) would stay picked without its chart.
    MSF[0]->viewport()->installEventFilter(this);
    MSF[0]->installEventFilter(this);
    connect(MSF[0], &FlexGridView::MouseDown, this, [this](int button, int, double x, double y) {
        RunUserEvent([this, button, x, y] { MSF_MouseDown(0, button, x, y); });
    });
    connect(MSF[0], &FlexGridView::RowColChange, this, [this] { RunUserEvent([this] { MSF_RowColChange(0); }); });
    connect(MSF[0], &FlexGridView::DblClick, this, [this] { RunUserEvent([this] { MSF_DblClick(0); }); });

    SpBar[1] = new SplitterBar(m_client);
    SpBar[1]->setObjectName(QStringLiteral("SpBar1"));
    SpBar[1]->setCursor(Qt::SplitVCursor);
    // The horizontal bar stays below the command bar, so its buttons and the date window stay in sight.
    SpBar[1]->setProperty("Tag", QStringLiteral("%1,0").arg(kCommandBarHeight * kTwipsPerPixel));
    SpBar[1]->setGeometry(right, kGridBottom, kHorizontalBarWidth, kBarThickness);

    Pic[0] = new PictureBox(m_client);
    Pic[0]->picture().BackColor = 0x000000;
    Pic[0]->picture().ForeColor = 0xFFFFFF;
    Pic[0]->setGeometry(right, kGridBottom + kBarThickness, kDesignedWidth - right,
                        kDesignedHeight - kStatusHeight - kGridBottom - kBarThickness);
    Ln[2] = new QFrame(Pic[0]);
    Ln[2]->setFrameShape(QFrame::VLine);
    Ln[2]->setProperty("Tag", QString());
    Ln[2]->hide();
    Ln[3] = new QFrame(Pic[0]);
    Ln[3]->setFrameShape(QFrame::HLine);
    Ln[3]->hide();
    LBL[2] = new QLabel(QStringLiteral("买卖"), Pic[0]);
    // Below the chart's title and its two legend lines, which the picture draws at its top left down
    // to about 56 pixels: the read-out only ever moves sideways, so it would hide them for good.
    LBL[2]->move(4, kReadoutTop);
    LnControl[2] = std::make_unique<LineOverlay>(Ln[2], 0, 0, 0, kCrosshairLength);
    LnControl[3] = std::make_unique<LineOverlay>(Ln[3], 0, 0, kCrosshairLength, 0);
    LBLControl2 = std::make_unique<LabelOverlay>(LBL[2]);
    connect(Pic[0], &PictureBox::dblClick, this, [this] { RunUserEvent([this] { Pic_DblClick(0); }); });
    connect(Pic[0], &PictureBox::mouseDown, this, [this](int button, int shift, double x, double y) {
        Q_UNUSED(shift);
        RunUserEvent([this, button, x, y] { Pic_MouseDown(0, button, x, y); });
    });
    connect(Pic[0], &PictureBox::mouseMove, this, [this](int button, int shift, double x, double y) {
        Q_UNUSED(shift);
        RunUserEvent([this, button, x, y] { Pic_MouseMove(0, button, x, y); });
    });
    connect(Pic[0], &PictureBox::keyDown, this, [this](int keyCode, int shift) {
        RunUserEvent([this, keyCode, shift] { Pic_KeyDown(0, keyCode, shift); });
    });

    TStatus = new QLabel(QStringLiteral("状态"), m_client);
    TStatus->setFrameShape(QFrame::Panel);
    TStatus->setFrameShadow(QFrame::Sunken);
    TStatus->setGeometry(0, kDesignedHeight - kStatusHeight, kDesignedWidth, kStatusHeight);

    BuildSettingsPanel();

    Timer1 = new QTimer(this);
    Timer1->setInterval(5000);
    connect(Timer1, &QTimer::timeout, this, &MFWindow::Timer1_Timer);
    Timer1->start();

    m_closeRetry = new QTimer(this);
    m_closeRetry->setInterval(100);
    connect(m_closeRetry, &QTimer::timeout, this, [this] {
        if (!ProgramBusy()) {
            m_closeRetry->stop();
            close();
        }
    });

    for (int i = 0; i < 23; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { ComButton_Click(i); });
    for (int i = 0; i < 4; ++i)
        connect(Chk[i], &QCheckBox::clicked, this, [this, i](bool checked) { ChkBox_Click(i, checked); });

    for (int i = 0; i < 4; ++i)
        m_controls.Register(ControlKind::chk, i, Chk[i]);
    for (int i = 0; i < 2; ++i)
        m_controls.Register(ControlKind::dtp, i, DTP[i]);
    for (int i = 0; i < 2; ++i) {
        m_controls.Register(ControlKind::pic, i, SpBar[i]);
        // The other controls follow a dragged bar only when it is released.
        connect(SpBar[i], &SplitterBar::released, this, &MFWindow::Form_Resize);
    }
}

QWidget *MFWindow::BuildCommandBar()
{
    QFrame *bar = Frm[0];
    auto makeCom = [&](int i) {
        Com[i] = new QPushButton(QString::fromUtf8(kComCaptions[i]), bar);
        return Com[i];
    };
    auto *rows = new QVBoxLayout(bar);
    rows->setSizeConstraint(QLayout::SetNoConstraint);
    rows->setContentsMargins(4, 3, 4, 3);
    rows->setSpacing(3);

    auto *row1 = new QHBoxLayout;
    for (int i : {0, 1, 2, 3, 8, 9, 12, 20, 10})
        row1->addWidget(makeCom(i));
    row1->addStretch();

    auto *row2 = new QHBoxLayout;
    for (int i : {4, 5, 6, 7, 19, 13, 11})
        row2->addWidget(makeCom(i));
    // Two buttons read "参数设置": this one compacts the database, as its menu item says.
    Com[19]->setToolTip(QStringLiteral("整理数据库"));
    Label1[0] = new QLabel(QStringLiteral("日期"), bar);
    Label1[1] = new QLabel(QStringLiteral("范围"), bar);
    for (int i = 0; i < 2; ++i) {
        DTP[i] = new QDateEdit(bar);
        DTP[i]->setCalendarPopup(true);
        DTP[i]->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        DTP[i]->setDate(MarketToday());
        // A narrower row squeezes the pickers no further than their whole date.
        DTP[i]->setMinimumWidth(DTP[i]->sizeHint().width());
    }
    row2->addSpacing(8);
    row2->addWidget(Label1[0]);
    row2->addWidget(DTP[0]);
    row2->addWidget(Label1[1]);
    row2->addWidget(DTP[1]);
    row2->addStretch();

    auto *row3 = new QHBoxLayout;
    LBL[0] = new QLabel(QStringLiteral("资产："), bar);
    LBL[1] = new QLabel(QStringLiteral("现金："), bar);
    // The asset line keeps its whole width; the holdings summary takes what is left of the row.
    LBL[1]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row3->addWidget(LBL[0]);
    row3->addSpacing(16);
    row3->addWidget(LBL[1], 1);

    rows->addLayout(row1);
    rows->addLayout(row2);
    rows->addLayout(row3);
    return bar;
}

void MFWindow::BuildSettingsPanel()
{
    MSFSet = new QFrame(m_client);
    MSFSet->setFrameShape(QFrame::Box);
    MSFSet->setAutoFillBackground(true);
    auto *grid = new QGridLayout(MSFSet);
    grid->setContentsMargins(6, 6, 6, 6);
    for (int i = 0; i < 4; ++i) {
        Chk[i] = new QCheckBox(QString::fromUtf8(kChkCaptions[i]), MSFSet);
        grid->addWidget(Chk[i], i, 0);
    }
    int row = 0;
    for (int i : {14, 15, 16, 17, 18, 21, 22}) {
        Com[i] = new QPushButton(QString::fromUtf8(kComCaptions[i]), MSFSet);
        grid->addWidget(Com[i], row % 4, 1 + row / 4);
        ++row;
    }
    MSFSet->adjustSize();
    MSFSet->hide();
}

void MFWindow::Form_Load()
{
    MSF[0]->Grid().SetRows(MSF[0]->Grid().FixedRows());
    RestoreFormParams(&m_controls, QString(), MFParams(), nullptr);
    // What was never saved shows the whole book: held and sold records, from the first buy to today.
    const FormParamSet &saved = MFParams();
    for (int i = 0; i < 2; ++i)
        if (i >= static_cast<int>(saved.chk.size()) || saved.chk[i].isEmpty())
            Chk[i]->setChecked(true);
    if (saved.dtp.empty()) {
        const QDate today = MarketToday();
        m_bookStart = BookStart(EarliestBuyDate(), today);
        DTP[0]->setDate(m_bookStart);
        DTP[1]->setDate(today);
    }
    ExecSql(QStringLiteral("UPDATE account SET sdate=#1900-1-1# WHERE sprice=0"));
}

void MFWindow::Form_Activate()
{
    if (TV->topLevelItemCount() > 0)
        return;
    // The refill lets events through; a close meanwhile must wait, or the window would be destroyed
    // under the steps still to run.
    BusyGuard busy;
    // The tree and the grid take the window the pickers show.
    SetDtpRange();
    RebuildTree();
    TV_NodeClick(CurrentNode);
}

void MFWindow::RebuildTree()
{
    LoadStockTree(TV);
}

bool MFWindow::SetDtpRange(const std::optional<QDate> &storedBuy)
{
    const QDate today = MarketToday();
    const std::optional<QDate> earliest = EarliestBuyDate();
    const QDate start = BookStart(earliest, today);
    const QDate before = DTP[0]->date();
    const QDate beforeEnd = DTP[1]->date();
    // A window that began at the book's first day goes on beginning there, so a trade older than the
    // book was (typed in, imported, restored) is not left outside it; one the user narrowed stays.
    const bool wholeBook = before <= (m_bookStart.isValid() ? m_bookStart : start);
    DTP[0]->setDateRange(earliest ? start : DateOfDayNumber(kEmptyDate), today);
    DTP[1]->setDateRange(DTP[0]->minimumDate(), today);
    if (wholeBook)
        DTP[0]->setDate(start);
    m_bookStart = start;
    // A record just stored that was bought after the window's last day (the day the program was
    // closed, or a day the user chose) would show only while open: the window now ends today. The
    // earlier of the two pickers stays the first day.
    if (storedBuy && *storedBuy > std::max(DTP[0]->date(), DTP[1]->date())) {
        DTP[0]->setDate(std::min(DTP[0]->date(), DTP[1]->date()));
        DTP[1]->setDate(today);
    }
    return DTP[0]->date() != before || DTP[1]->date() != beforeEnd;
}

void MFWindow::Form_Resize()
{
    if (isMinimized())
        return;
    const int w = m_client->width();
    const int h = m_client->height();
    SplitterBar *v = SpBar[0];
    SplitterBar *hz = SpBar[1];
    // A smaller window, or a position saved in a larger one, pulls the bars back inside their limits.
    v->KeepInside();
    hz->KeepInside();
    PlaceWidget(TStatus, 0, h - TStatus->height(), w, TStatus->height());
    const int statusTop = TStatus->y();
    PlaceWidget(v, v->x(), v->y(), v->width(), statusTop - v->y());
    hz->move(v->x() + v->width(), hz->y());
    PlaceWidget(TV, TV->x(), TV->y(), v->x(), h - TStatus->height());
    const int right = v->x() + v->width();
    PlaceWidget(Frm[0], right, Frm[0]->y(), w - right, Frm[0]->height());
    PlaceWidget(MSF[0], Frm[0]->x(), MSF[0]->y(), Frm[0]->width(), hz->y() - MSF[0]->y());
    const int picTop = hz->y() + hz->height();
    PlaceWidget(Pic[0], MSF[0]->x(), picTop, MSF[0]->width(), statusTop - picTop);
    ShowKLine(QString());
}

void MFWindow::RestartSys()
{
    // Downloads and the recomputation let events through; a close meanwhile waits for the end.
    BusyGuard busy;
    RestartData();
    // Nothing of the old book stays in view: its node, its chart and its date range (a window the
    // user narrowed is kept inside the new range).
    CurrentNode.reset();
    ResetChart();
    SetDtpRange();
    RebuildTree();
    TV_NodeClick(CurrentNode);
    // A new book without a record to show leaves no stock of the old one on the chart, nor a bar of it
    // in the read-out.
    if (Pic[0]->picture().Tag.isEmpty()) {
        Pic[0]->picture().Cls();
        Pic[0]->picture().Refresh();
        LBLControl2->SetCaption(QString());
    }
}

void MFWindow::TV_NodeClick(const std::optional<TreeNodeRef> &node)
{
    if (!node)
        return;
    CurrentNode = node;
    AccEditNodeClick(*node);
    LoadTradeGrid(MSF[0]);
    const FlexGrid &grid = MSF[0]->Grid();
    const int row = grid.Row();
    if (row >= grid.FixedRows() && row < grid.Rows())
        ShowKLine(QStringLiteral("[") + grid.TextMatrix(row, 2) + QStringLiteral("] ") + grid.TextMatrix(row, 3));
    if (MainWindowHooks().nodeClick)
        MainWindowHooks().nodeClick(node);
}

void MFWindow::MSF_MouseDown(int index, int button, double x, double y)
{
    FlexGridView *grid = MSF[index];
    if (button == kRightButton) {
        POP()->ShowGridMenu(grid, QCursor::pos());
        return;
    }
    GridHeaderClick(grid->Grid(), x, y);
    SaveParam(QStringLiteral("MSFOrder_") + QString::number(index), grid->Grid().Tag());
}

void MFWindow::MSF_RowColChange(int index)
{
    const FlexGrid &grid = MSF[index]->Grid();
    const int row = grid.Row();
    if (!grid.Redraw() || row < grid.FixedRows() || row >= grid.Rows())
        return;
    ShowKLine(QStringLiteral("[") + grid.TextMatrix(row, 2) + QStringLiteral("]") + grid.TextMatrix(row, 3));
}

void MFWindow::MSF_DblClick(int index)
{
    const FlexGrid &grid = MSF[index]->Grid();
    const int row = grid.Row();
    if (row < grid.FixedRows() || row >= grid.Rows())
        return;
    bool ok = false;
    const long id = grid.TextMatrix(row, 0).toLong(&ok);
    if (ok)
        AccEditShowRecord(id);
}

bool MFWindow::MoveKLine(int dFirst, int dLast)
{
    KLineRecord &k = KLineData();
    Picture *pic = KLinePicture();
    if (!pic || pic != &Pic[0]->picture() || k.Code.isEmpty() || k.BarCount() < 1)
        return false;
    long long first = static_cast<long long>(k.FirstBar) + dFirst;
    long long last = static_cast<long long>(k.LastBar) + dLast;
    ClampToRange(first, 1LL, static_cast<long long>(k.BarCount()));
    ClampToRange(last, 1LL, static_cast<long long>(k.BarCount()));
    OrderPair(last, first);
    if (first == k.FirstBar && last == k.LastBar)
        return false;
    k.FirstBar = static_cast<int>(first);
    k.LastBar = static_cast<int>(last);
    FitKLineScale(k);
    DrawTradeKLine(*pic);
    return true;
}

void MFWindow::Pic_DblClick(int index)
{
    LineControl &v = *LnControl[2];
    v.SetTag(v.Tag().isEmpty() ? QStringLiteral("1") : QString());
    const bool on = !v.Tag().isEmpty();
    v.SetVisible(on);
    LnControl[3]->SetVisible(on);
    Pic[index]->update();
}

void MFWindow::Pic_MouseDown(int index, int button, double, double)
{
    if (button != kLeftButton)
        POP()->ShowChartMenu(Pic[index], QCursor::pos());
}

void MFWindow::Pic_MouseMove(int index, int button, double x, double y)
{
    if (button != 0 || LnControl[2]->Tag() != QLatin1String("1") || KLinePicture() != &Pic[index]->picture())
        return;
    ShowKLineBarInfo(Pic[index]->picture(), *LnControl[2], *LnControl[3], *LBLControl2, x, y);
}

void MFWindow::Pic_KeyDown(int index, int keyCode, int shift)
{
    Picture &pic = Pic[index]->picture();
    const KLineRecord &k = KLineData();
    if (KLinePicture() != &pic || k.Code.isEmpty())
        return;
    ChartKeyState state;
    state.first = k.FirstBar;
    state.last = k.LastBar;
    state.barCount = k.BarCount();
    state.curBar = k.CurBar;
    state.crossX = LnControl[2]->X1();
    state.width = pic.Width();  // the candles fill the picture's width
    const ChartKeyResult r = ApplyChartKey(state, keyCode, shift);
    if (!r.handled)
        return;
    LnControl[2]->SetX1(r.crossX);
    LnControl[2]->SetX2(r.crossX);
    if (r.dFirst != 0 || r.dLast != 0)
        MoveKLine(r.dFirst, r.dLast);
    Pic_MouseMove(index, 0, r.crossX, LnControl[3]->Y1());
}

void MFWindow::Com_Click(int index)
{
    // The selection the command works on must not change while it lets events through.
    BusyGuard busy;
    const DisabledWhile gridOff(MSF[0]);
    if (MainWindowHooks().commandRun)
        MainWindowHooks().commandRun(index);
    if (index == 11) {
        ToggleSettingsPanel();
        return;
    }
    if (index == 4) {
        ShowInvestCompare();
        return;
    }
    if (index == 5) {
        ShowCapStructure();
        return;
    }
    if (index == 6) {
        ImportData();
        return;
    }
    if (index == 7) {
        ExportGrid(MSF[0]->Grid(), QStringLiteral("Kelvaro股票交易数据"), QString());
        return;
    }
    if (index == 21) {
        ShowModeless(MSFViewSet());
        return;
    }
    if (index == 22) {
        ColSetTable() = QStringLiteral("account");
        ColSetMode() = 2;
        ShowModeless(ColSet());
        return;
    }
    RunCommand(*this, index);
}

void MFWindow::Chk_Click(int index)
{
    if (index < 0 || index >= static_cast<int>(Chk.size()) || !Chk[index]->isEnabled())
        return;
    if (index <= 1 && !Chk[0]->isChecked() && !Chk[1]->isChecked()) {
        QCheckBox *other = Chk[1 - index];
        const QSignalBlocker quiet(other);
        other->setChecked(true);
    }
    LoadTradeGrid(MSF[0]);
}

void MFWindow::ResetChart()
{
    Pic[0]->picture().Tag.clear();
    ResetKLineChart();
}

bool MFWindow::UserEventAllowed() const
{
    return !ProgramBusy();
}

bool MFWindow::RunUserEvent(const std::function<void()> &handler)
{
    if (!UserEventAllowed())
        return false;
    BusyGuard busy;
    handler();
    return true;
}

void MFWindow::ComButton_Click(int index)
{
    RunUserEvent([this, index] { Com_Click(index); });
}

void MFWindow::ChkBox_Click(int index, bool checked)
{
    if (!RunUserEvent([this, index] { Chk_Click(index); })) {
        const QSignalBlocker quiet(Chk[index]);
        Chk[index]->setChecked(!checked);
    }
}

void MFWindow::TV_ItemClick(QTreeWidgetItem *item)
{
    if (item)
        RunUserEvent([this, node = TreeNodeOf(item)] { TV_NodeClick(node); });
}

void MFWindow::ToggleSettingsPanel()
{
    if (MSFSet->isVisible()) {
        HideSettingsPanel();
        return;
    }
    const QPoint under = Com[11]->mapTo(m_client, QPoint(0, Com[11]->height()));
    MSFSet->adjustSize();
    MSFSet->move(under);
    MSFSet->raise();
    MSFSet->show();
    // Watches every mouse move: leaving the panel (the band of the button above it counts as inside)
    // hides it, as does moving over the window, the command bar or the grid.
    qApp->installEventFilter(this);
    Chk[0]->setFocus();
}

void MFWindow::HideSettingsPanel()
{
    qApp->removeEventFilter(this);
    MSFSet->hide();
}

bool MFWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        Form_Resize();
    const bool viewport = (TV && watched == TV->viewport()) || (MSF[0] && watched == MSF[0]->viewport());
    if (viewport && !UserEventAllowed() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
         event->type() == QEvent::MouseButtonDblClick))
        return true;
    if (((TV && watched == TV) || (MSF[0] && watched == MSF[0])) && event->type() == QEvent::KeyPress &&
        !UserEventAllowed())
        return true;
    if (event->type() == QEvent::MouseMove && MSFSet->isVisible()) {
        const auto *me = static_cast<QMouseEvent *>(event);
        const QPoint p = MSFSet->mapFromGlobal(me->globalPosition().toPoint());
        if (p.x() < 0 || p.x() > MSFSet->width() || p.y() < -Com[11]->height() || p.y() > MSFSet->height())
            HideSettingsPanel();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MFWindow::SetRefreshInterval(int ms)
{
    // A zero interval would fire on every pass of the event loop: it means "no refresh".
    if (ms > 0)
        Timer1->start(ms);
    else
        Timer1->stop();
}

void MFWindow::Timer1_Timer()
{
    // A tick while a long operation lets events through is skipped, not queued: a refill inside a
    // recomputation would run it twice.
    RunUserEvent([this] {
        // The saved switch counts, not the box on screen; never saved means off (no network).
        const std::vector<QString> &chk = MFParams().chk;
        if (chk.size() < 3 || chk[2].isEmpty() || chk[2] == QLatin1String("0"))
            return;
        const bool trading = IsTradingTime(false);
        const bool stocks = QuoteCodes().size() - 1 >= 1;  // the index row and at least one stock
        if (!trading || !stocks)
            return;
        QuoteService().last = HttpOutcome::None;
        UpdateRealtimeQuotes();
        // A refresh the user gave up by closing its wait window must not be asked again at once, by
        // the grid's refill or by the next tick: the quote service is left alone as after a stall.
        if (QuoteService().last == HttpOutcome::GivenUp)
            MarkServiceDown(QuoteService());
        LoadTradeGrid(MSF[0]);
    });
}

void MFWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void MFWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Without a window manager a shown window may never be activated; the first show counts too.
    QTimer::singleShot(0, this, [this] { Form_Activate(); });
}

void MFWindow::closeEvent(QCloseEvent *event)
{
    if (ProgramBusy()) {
        // Ending in the middle of a long operation would cut it short: close once it is over.
        event->ignore();
        m_closeRetry->start();
        return;
    }
    Form_Unload();
    event->accept();
    if (TheMF() == this)
        TheMF() = nullptr;
    if (MainWindowHooks().endProgram)
        MainWindowHooks().endProgram();
    else
        QCoreApplication::quit();
}

void MFWindow::Form_Unload()
{
    HideSettingsPanel();
    Timer1->stop();
    SaveFormParams(&m_controls, QStringLiteral("MF"), MFParams(), false, true);
    SaveParam(QStringLiteral("当前结点"), CurrentNode ? QString::number(CurrentNode->index) : QStringLiteral("0"));
}

MFWindow *MF()
{
    // The constructor records the window itself, before its load runs.
    if (!TheMF())
        new MFWindow;
    return TheMF();
}

MFWindow *LoadedMF()
{
    return TheMF();
}

void InstallMainWindow()
{
    SetMainWindowStartupHooks([] { MF(); },
                              [] {
                                  MFWindow *mf = MF();
                                  mf->show();
                                  mf->raise();
                                  mf->activateWindow();
                              });
}

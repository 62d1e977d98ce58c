// The K-line colour form: what the boxes show, live redraws, putting the opening colours back, and
// what is stored on each way of closing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "charts/forms/ktrade_disp_set.h"
#include "charts/kline.h"
#include "charts/kline_draw.h"
#include "fixtures/db_fixture.h"
#include "fixtures/mouse_clicks.h"
#include "fixtures/recording_canvas.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/forms/color_box.h"
#include "storage/params.h"

namespace {

const QString kKey = QStringLiteral("FPAR_KTradeDispSet_tt");

QStringList Table(const std::vector<QString> &tt)
{
    return QStringList(tt.begin(), tt.end());
}

class KTradeDispSetTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([] { return QDateTime(QDate(2024, 5, 20), QTime(20, 0)); });
        ResetFormParamSets();
        ResetKLineData();
        // A chart showing three bars of 600000; each redraw starts by clearing it to the background.
        auto canvas = std::make_unique<RecordingCanvas>();
        dc = canvas.get();
        pic = std::make_unique<Picture>(std::move(canvas));
        pic->SetPixelSize(300, 200);
        pic->Tag = QStringLiteral("600000");
        KLineRecord &k = KLineData();
        k.Code = QStringLiteral("600000");
        const double d = DayNumberOf(QDate(2024, 5, 15));
        k.BarDate = {0, d, d + 1, d + 2};
        k.BarOpen = {0, 10, 10.5, 10.2};
        k.BarClose = {0, 10.5, 10.2, 10.2};
        k.BarHigh = {0, 10.8, 10.9, 10.4};
        k.BarLow = {0, 9.9, 10.1, 10.0};
        k.FirstBar = 1;
        k.LastBar = 3;
        SetKLinePicture(pic.get());
    }
    void TearDown() override
    {
        delete LoadedKTradeDispSet();
        SetKLinePicture(nullptr);
        ResetKLineData();
        ResetFormParamSets();
        SetClock(nullptr);
        DbFixture::TearDown();
    }
    // Stores a table and loads it into the program's record, as the start-up does.
    static void StoreTable(const QStringList &table)
    {
        ASSERT_TRUE(SaveParam(kKey, table.join(kParamSeparator)));
        KTradeDispSetParams().tt.assign(table.begin(), table.end());
    }
    int Redraws() const { return dc->Count("Clear"); }
    // The background the chart was last drawn on.
    ColorRef Background() const
    {
        for (auto op = dc->ops.rbegin(); op != dc->ops.rend(); ++op)
            if (op->kind == "Clear")
                return op->color;
        return 0xFFFFFFFF;
    }

    std::unique_ptr<Picture> pic;
    RecordingCanvas *dc = nullptr;
};

}  // namespace

TEST_F(KTradeDispSetTest, BoxesShowTheStoredColoursOrTheDefaultsWithTheTextHidden)
{
    QStringList stored(16, QString());
    stored[0] = QStringLiteral("255");
    stored[2] = QStringLiteral("abc");
    stored[5] = QStringLiteral("65280 and more");
    StoreTable(stored);
    KTradeDispSetForm *form = KTradeDispSet();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("交易分布图显示设置"));
    EXPECT_EQ(form->Label1[0]->text(), QStringLiteral("背景颜色："));
    EXPECT_EQ(form->Label1[15]->text(), QStringLiteral("空位："));
    EXPECT_EQ(form->Com[0]->text(), QStringLiteral("确   定"));
    EXPECT_EQ(form->Com[1]->text(), QStringLiteral("取   消"));
    struct Case {
        int box;
        QString text;
        ColorRef color;
    };
    const Case cases[] = {
        {0, "255", 0x0000FF},           {1, "192", 0x0000C0},  {2, "abc", 0},
        {3, "16777215", 0xFFFFFF},      {5, "65280 and more", 0x00FF00},
        {14, "8421504", 0x808080},      {15, "16777215", 0xFFFFFF},
    };
    for (const Case &c : cases) {
        const ColorBox *box = form->TT[c.box];
        EXPECT_EQ(box->text(), c.text) << c.box;
        EXPECT_EQ(box->BackColor(), c.color) << c.box;
        EXPECT_EQ(box->ForeColor(), c.color) << c.box << ": the text cannot be seen";
    }

    // No caret and no typing: the text changes only through a pick.
    EXPECT_EQ(form->TT[4]->focusPolicy(), Qt::NoFocus);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
    QCoreApplication::sendEvent(form->TT[4], &key);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(form->TT[4], &del);
    EXPECT_EQ(form->TT[4]->text(), QStringLiteral("128"));
    EXPECT_EQ(Redraws(), 0);
}

TEST_F(KTradeDispSetTest, PicksRedrawAtOnceAndCancelPutsTheOpeningTableBackAndStoresIt)
{
    QStringList opening;
    for (int i = 0; i < 16; ++i)
        opening << GetKLineColorText(i);
    opening[0] = QStringLiteral("8388608");  // navy background
    StoreTable(opening);
    KTradeDispSetForm *form = KTradeDispSet();
    form->show();

    prompter.colorAnswers = {0x004000, 0x00FFFF};
    LeftClick(form->TT[0]);
    EXPECT_EQ(Redraws(), 1);
    EXPECT_EQ(Background(), 0x004000u) << "the chart shows the new background at once";
    LeftClick(form->TT[9]);
    EXPECT_EQ(Redraws(), 2);
    EXPECT_EQ(KTradeDispSetParams().tt[0], QStringLiteral("16384"));
    EXPECT_EQ(KTradeDispSetParams().tt[9], QStringLiteral("65535"));
    EXPECT_EQ(form->TT[9]->BackColor(), 0x00FFFFu);
    EXPECT_EQ(GetParam(kKey), opening.join(kParamSeparator)) << "nothing is stored before the close";

    LeftClick(form->Com[1]);
    EXPECT_EQ(Redraws(), 3);
    EXPECT_EQ(Table(KTradeDispSetParams().tt), opening);
    EXPECT_EQ(Background(), 0x800000u);
    EXPECT_EQ(GetParam(kKey), opening.join(kParamSeparator));
    EXPECT_EQ(LoadedKTradeDispSet(), nullptr);
}

TEST_F(KTradeDispSetTest, TheSameColourOrACancelledDialogChangesNothingAndEveryCloseStoresThePicks)
{
    // A fresh book: nothing stored, the boxes show the defaults.
    KTradeDispSetForm *form = KTradeDispSet();
    prompter.colorAnswers = {0x0000C0, std::nullopt};
    form->TT_Click(1);
    form->TT_Click(1);
    EXPECT_EQ(Redraws(), 0);
    EXPECT_EQ(form->TT[1]->text(), QStringLiteral("192"));
    EXPECT_TRUE(KTradeDispSetParams().tt.empty());
    form->close();
    EXPECT_TRUE(GetParam(kKey).isEmpty()) << "a close without a pick stores nothing new";

    // The window button and "确   定" both store the picks, all sixteen entries.
    for (int way = 0; way < 2; ++way) {
        form = KTradeDispSet();
        prompter.colorAnswers = {0x123456 + way};
        form->TT_Click(7);
        if (way == 0)
            form->close();
        else
            LeftClick(form->Com[0]);
        const QStringList stored = GetParam(kKey).split(kParamSeparator);
        ASSERT_EQ(stored.size(), 16) << way;
        EXPECT_EQ(stored[7], QString::number(0x123456 + way));
        EXPECT_EQ(stored[1], QStringLiteral("192"));
        EXPECT_EQ(stored[15], QStringLiteral("16777215"));
        EXPECT_EQ(LoadedKTradeDispSet(), nullptr);
    }
    EXPECT_EQ(Redraws(), 2);
}

// The image canvas keeps the pixel rules the charts are laid out for, the picture keeps its image
// across size changes, and the picture box passes its events on in twips.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFrame>
#include <QLabel>

#include <cmath>
#include <numbers>

#include "fixtures/recording_canvas.h"
#include "platform/canvas.h"
#include "platform/forms/overlay_controls.h"
#include "platform/forms/picture_box.h"
#include "platform/picture.h"

namespace {

constexpr ColorRef kBack = 0x000000;
constexpr ColorRef kRed = 0x0000FF;  // 0x00BBGGRR
constexpr ColorRef kBlue = 0xFF0000;

// The image as rows of characters: '.' for the background, '#' for the pen colour, 'o' for any other.
std::vector<std::string> Rows(const QImage &img, ColorRef pen, int x0, int y0, int x1, int y1)
{
    std::vector<std::string> rows;
    for (int y = y0; y <= y1; ++y) {
        std::string row;
        for (int x = x0; x <= x1; ++x) {
            const QRgb c = img.pixel(x, y) | 0xFF000000;
            row += c == (RgbOfColorRef(kBack) | 0xFF000000) ? '.' : c == (RgbOfColorRef(pen) | 0xFF000000) ? '#' : 'o';
        }
        rows.push_back(row);
    }
    return rows;
}

// The columns (or rows) of a pixel row (or column) that hold the colour.
std::vector<int> Set(const QImage &img, ColorRef color, int fixed, bool horizontal)
{
    std::vector<int> at;
    const int n = horizontal ? img.width() : img.height();
    for (int i = 0; i < n; ++i) {
        const QRgb c = horizontal ? img.pixel(i, fixed) : img.pixel(fixed, i);
        if ((c | 0xFF000000) == (RgbOfColorRef(color) | 0xFF000000))
            at.push_back(i);
    }
    return at;
}

std::vector<int> Range(int from, int to)
{
    std::vector<int> v;
    for (int i = std::min(from, to); i <= std::max(from, to); ++i)
        v.push_back(i);
    return v;
}

ImageCanvas &Fresh(ImageCanvas &c, int w = 30, int h = 30)
{
    c.Resize(0, 0, kBack);
    c.Resize(w, h, kBack);
    c.RestoreBrush();
    c.SelectPen(CanvasPen{kRed, PS_SOLID, 1});
    return c;
}

}  // namespace

TEST(ImageCanvas, SegmentsLeaveOutTheirEndPixel)
{
    struct Case {
        int x1, y1, x2, y2;
        bool horizontal;
        int fixed;
        std::vector<int> set;
    };
    const Case cases[] = {
        {2, 5, 12, 5, true, 5, Range(2, 11)},
        {12, 5, 2, 5, true, 5, Range(3, 12)},
        {4, 2, 4, 9, false, 4, Range(2, 8)},
        {4, 9, 4, 2, false, 4, Range(3, 9)},
        {7, 7, 7, 7, true, 7, {}},
        {7, 7, 8, 7, true, 7, {7}},
        {-100, 3, 5, 3, true, 3, Range(0, 4)},  // clipped at the edge, no wrap-around
    };
    ImageCanvas c;
    for (const Case &k : cases) {
        Fresh(c);
        c.Segment(k.x1, k.y1, k.x2, k.y2);
        EXPECT_EQ(Set(c.Image(), kRed, k.fixed, k.horizontal), k.set)
            << k.x1 << "," << k.y1 << " -> " << k.x2 << "," << k.y2;
    }
    // A diagonal from (0,0) to (4,4) covers the four pixels before its end.
    Fresh(c);
    c.Segment(0, 0, 4, 4);
    EXPECT_EQ(Rows(c.Image(), kRed, 0, 0, 4, 4),
              (std::vector<std::string>{"#....", ".#...", "..#..", "...#.", "....."}));
}

TEST(ImageCanvas, StyledPensAlternateSetAndUnsetPixels)
{
    ImageCanvas c;
    for (int style : {PS_DOT, PS_DASH}) {
        Fresh(c, 100, 5);
        c.SelectPen(CanvasPen{kRed, style, 1});
        c.Segment(0, 2, 100, 2);
        const std::vector<int> set = Set(c.Image(), kRed, 2, true);
        EXPECT_GT(set.size(), 30u) << style;
        EXPECT_LT(set.size(), 90u) << style;
        EXPECT_EQ(set.front(), 0) << style;
    }
}

TEST(ImageCanvas, RectanglesAndEllipsesCoverTheirBoxLessRightAndBottom)
{
    ImageCanvas c;
    Fresh(c);
    c.Rectangle(20, 15, 10, 10);  // corners in either order
    const QImage hollow = c.Image();
    EXPECT_EQ(Set(hollow, kRed, 10, true), Range(10, 19));
    EXPECT_EQ(Set(hollow, kRed, 14, true), Range(10, 19));
    EXPECT_EQ(Set(hollow, kRed, 12, true), (std::vector<int>{10, 19}));
    EXPECT_EQ(Set(hollow, kRed, 10, false), Range(10, 14));
    EXPECT_EQ(Set(hollow, kRed, 19, false), Range(10, 14));
    EXPECT_EQ(Set(hollow, kRed, 15, true), std::vector<int>{});

    Fresh(c);
    c.SelectBrush(CanvasBrush{true, kBlue});
    c.Rectangle(10, 10, 20, 15);
    EXPECT_EQ(Rows(c.Image(), kRed, 9, 9, 20, 15),
              (std::vector<std::string>{"............", ".##########.", ".#oooooooo#.", ".#oooooooo#.", ".#oooooooo#.",
                                        ".##########.", "............"}));

    Fresh(c);
    c.SelectBrush(CanvasBrush{true, kBlue});
    c.Ellipse(10, 10, 20, 20);
    const QImage ellipse = c.Image();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            if (x < 10 || x > 19 || y < 10 || y > 19) {
                ASSERT_EQ(ellipse.pixel(x, y), RgbOfColorRef(kBack) | 0xFF000000u) << x << "," << y;
            }
    EXPECT_EQ(ellipse.pixel(15, 15), RgbOfColorRef(kBlue) | 0xFF000000u);
    EXPECT_EQ(ellipse.pixel(10, 10), RgbOfColorRef(kBack) | 0xFF000000u);
}

TEST(ImageCanvas, PiesFillTheirSectorAndAFullTurnHasNoRadius)
{
    ImageCanvas c;
    struct Case {
        int start16, span16;
        std::vector<QPoint> brush, back;
    };
    const Case cases[] = {
        {1440, 1440, {{14, 14}, {12, 18}}, {{25, 25}, {25, 14}, {14, 25}}},  // the top-left quarter
        {4320, 2880, {{25, 25}, {25, 14}}, {{14, 14}, {14, 25}}},             // from 6 o'clock to 12
        {0, 5760, {{25, 19}, {25, 20}, {14, 14}}, {{9, 9}}},                  // no radius at 3 o'clock
        {0, 6000, {{25, 19}, {25, 20}}, {}},
        {1440, 0, {}, {{14, 14}, {20, 12}}},
        {1440, -100, {}, {{14, 14}, {20, 12}}},
    };
    for (const Case &k : cases) {
        Fresh(c, 40, 40);
        c.SelectBrush(CanvasBrush{true, kBlue});
        c.Pie(10, 10, 30, 30, k.start16, k.span16);
        const QImage img = c.Image();
        const std::string at = std::to_string(k.start16) + "+" + std::to_string(k.span16) + " at ";
        for (const QPoint &p : k.brush)
            EXPECT_EQ(img.pixel(p), RgbOfColorRef(kBlue) | 0xFF000000u) << at << p.x() << "," << p.y();
        for (const QPoint &p : k.back)
            EXPECT_EQ(img.pixel(p), RgbOfColorRef(kBack) | 0xFF000000u) << at << p.x() << "," << p.y();
    }
}

TEST(Picture, CircleTakesTwipsAndRadiansAndKeepsTheSelectedPenAndBrush)
{
    auto recording = std::make_unique<RecordingCanvas>();
    RecordingCanvas &dc = *recording;
    Picture pic(std::move(recording));
    pic.SetPixelSize(40, 40);
    const CanvasPen pen{0x00FF00, PS_DOT, 1};
    dc.SelectPen(pen);
    constexpr double pi = std::numbers::pi;
    pic.Circle(300, 300, 150, 0xFFFFFF);
    pic.FillStyle = 0;
    pic.FillColor = kBlue;
    pic.Circle(307, 292, 150, 0xFFFFFF, -pi / 2, -pi);  // 10.47 → 10, 9.47 → 9
    pic.Circle(300, 300, 150, 0xFFFFFF, -5.3407074, -1.5707963);  // round through 0
    pic.Circle(300, 300, 150, 0xFFFFFF, -1, -(1 + 2 * pi + 0.1));  // more than a turn
    pic.Circle(300, 300, 150, 0xFFFFFF, -1, -1);
    pic.Circle(4e10, 300, 150, 0xFFFFFF);
    pic.Circle(300, 300, std::nan(""), 0xFFFFFF);
    pic.Circle(300, 300, 150, 0xFFFFFF, -1, std::nan(""));
    EXPECT_EQ(dc.Lines({"Pie"}), (std::vector<std::string>{"Pie 10,10,30,30,0,5760 pen FFFFFF/0/1 brush hollow",
                                                          "Pie 10,9,30,29,1440,1440 pen FFFFFF/0/1 brush FF0000",
                                                          "Pie 10,10,30,30,4896,2304 pen FFFFFF/0/1 brush FF0000",
                                                          "Pie 10,10,30,30,917,5760 pen FFFFFF/0/1 brush FF0000"}));
    EXPECT_EQ(dc.Pen(), pen);
    EXPECT_EQ(dc.Brush(), CanvasBrush{});
    dc.ops.clear();
    pic.Line(0, 0, 150, 30, 0xAAAAAA);
    EXPECT_EQ(dc.Lines({"Segment"}), (std::vector<std::string>{"Segment 0,0,10,2 pen AAAAAA/0/1 brush hollow"}));
    EXPECT_EQ(dc.Pen(), pen);
}

TEST(ImageCanvas, PolygonsRegionsAndTextPaintTheirColours)
{
    ImageCanvas c;
    Fresh(c);
    c.SelectBrush(CanvasBrush{true, kBlue});
    c.Polygon({{2, 20}, {12, 2}, {22, 20}});
    EXPECT_EQ(c.Image().pixel(12, 15), RgbOfColorRef(kBlue) | 0xFF000000u);
    c.FillRegion({{2, 20}, {12, 2}, {22, 20}}, 0x00FF00);
    EXPECT_EQ(c.Image().pixel(12, 15), RgbOfColorRef(0x00FF00) | 0xFF000000u);

    // Text lies below and right of its top-left corner and leaves the rest as it was.
    Fresh(c, 120, 40);
    const CanvasFont font{15, 0, 0};
    c.Text(10, 10, QStringLiteral("成本价：12.5"), font, 0xFFFFFF);
    const QImage text = c.Image();
    int ink = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            if ((text.pixel(x, y) | 0xFF000000) != (RgbOfColorRef(kBack) | 0xFF000000)) {
                ++ink;
                EXPECT_GE(x, 10);
                EXPECT_GE(y, 10);
                EXPECT_LT(y, 10 + c.TextHeight(font));
                EXPECT_LT(x, 10 + c.TextWidth(QStringLiteral("成本价：12.5"), font) + 1);
            }
    EXPECT_GT(ink, 20);
    // The packaged font, whose name is given in Chinese on a Chinese system.
    const QString family = QFontInfo(CanvasQFont(font)).family();
    EXPECT_TRUE(family.contains(QStringLiteral("WenQuanYi")) || family.contains(QStringLiteral("文泉驿")))
        << family.toStdString();
    EXPECT_LE(c.TextHeight(font), 15);
    EXPECT_LE(c.TextHeight(CanvasFont{12, 0, 0}), 12);
    EXPECT_GT(c.TextWidth(QStringLiteral("成本"), font), c.TextWidth(QStringLiteral("12"), font));
}

TEST(Picture, SizeInTwipsAndAnImageThatKeepsItsPixelsAcrossResizes)
{
    Picture pic;
    QSize size(20, 10);
    pic.SetSizeSource([&size] { return size; });
    EXPECT_EQ(pic.Width(), 300);
    EXPECT_EQ(pic.Height(), 150);
    pic.BackColor = kBlue;
    pic.ForeColor = kRed;
    pic.Cls();
    pic.Line(30, 45, 165, 45);  // twips: (2,3) to (11,3)
    pic.Refresh();
    EXPECT_EQ(Set(pic.Image(), kRed, 3, true), Range(2, 10));

    size = QSize(40, 12);
    const QImage grown = pic.Image();
    EXPECT_EQ(grown.size(), QSize(40, 12));
    EXPECT_EQ(Set(grown, kRed, 3, true), Range(2, 10));
    EXPECT_EQ(grown.pixel(35, 11), RgbOfColorRef(kBlue) | 0xFF000000u);
    // Line does not change the pen the charts selected.
    pic.hDC().SelectPen(CanvasPen{0x00FF00, PS_DOT, 1});
    pic.Line(0, 0, 150, 0);
    EXPECT_EQ(pic.hDC().Pen(), (CanvasPen{0x00FF00, PS_DOT, 1}));
}

TEST(PictureBox, ShowsItsImageAndPassesEventsOnInTwips)
{
    PictureBox box;
    box.resize(40, 30);
    Picture &pic = box.picture();
    EXPECT_EQ(pic.Width(), 600);  // read live, before any resize event
    pic.BackColor = kBack;
    pic.Cls();
    pic.hDC().SelectPen(CanvasPen{kRed, PS_SOLID, 1});
    pic.hDC().Segment(0, 5, 40, 5);
    pic.Refresh();
    const QImage shown = box.grab().toImage();
    EXPECT_EQ(shown.pixel(20, 5) | 0xFF000000, RgbOfColorRef(kRed) | 0xFF000000);
    EXPECT_EQ(shown.pixel(20, 6) | 0xFF000000, RgbOfColorRef(kBack) | 0xFF000000);

    std::vector<std::vector<double>> down, move;
    std::vector<std::pair<int, int>> keys;
    QObject::connect(&box, &PictureBox::mouseDown,
                     [&](int b, int s, double x, double y) { down.push_back({double(b), double(s), x, y}); });
    QObject::connect(&box, &PictureBox::mouseMove,
                     [&](int b, int s, double x, double y) { move.push_back({double(b), double(s), x, y}); });
    QObject::connect(&box, &PictureBox::keyDown, [&](int code, int shift) { keys.emplace_back(code, shift); });
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), QPointF(10, 20), Qt::RightButton, Qt::RightButton,
                      Qt::ShiftModifier | Qt::ControlModifier);
    QCoreApplication::sendEvent(&box, &press);
    QMouseEvent mv(QEvent::MouseMove, QPointF(3.5, 7), QPointF(3.5, 7), Qt::NoButton, Qt::LeftButton, Qt::AltModifier);
    QCoreApplication::sendEvent(&box, &mv);
    for (int key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_A, Qt::Key_F1}) {
        QKeyEvent k(QEvent::KeyPress, key, Qt::ShiftModifier);
        QCoreApplication::sendEvent(&box, &k);
    }
    EXPECT_EQ(down, (std::vector<std::vector<double>>{{2, 3, 150, 300}}));
    EXPECT_EQ(move, (std::vector<std::vector<double>>{{1, 4, 52.5, 105}}));
    std::vector<int> codes;
    for (const auto &[code, shift] : keys) {
        codes.push_back(code);
        EXPECT_EQ(shift, 1);
    }
    EXPECT_EQ(codes, (std::vector<int>{37, 38, 39, 40, 65, 0}));
}

TEST(PictureBox, CrosshairLinesAndReadOutFollowTheirControlsInTwips)
{
    PictureBox box;
    box.resize(600, 400);
    auto *frame = new QFrame(&box);
    frame->setFrameShape(QFrame::VLine);
    frame->setProperty("Tag", QStringLiteral("1"));
    frame->hide();
    auto *label = new QLabel(QStringLiteral("买卖"), &box);
    label->move(4, 30);
    LineOverlay vertical(frame, 0, 0, 0, 60000);
    EXPECT_EQ(frame->geometry(), QRect(0, 0, 1, 4000));
    EXPECT_EQ(frame->frameShape(), QFrame::NoFrame);
    // A move of both ends, halves to even; the colour fills the line.
    vertical.SetX1(959.016);
    vertical.SetX2(959.016);
    vertical.SetBorderColor(0x0000FF);
    EXPECT_EQ(frame->geometry(), QRect(64, 0, 1, 4000));
    EXPECT_EQ(frame->palette().color(QPalette::Window), QColor(255, 0, 0));
    LineOverlay horizontal(new QFrame(&box), 0, 1507.5, 1500, 1507.5);
    EXPECT_EQ(horizontal.X2(), 1500);
    // Tag and visibility are the widget's own.
    EXPECT_EQ(vertical.Tag(), "1");
    EXPECT_FALSE(vertical.Visible());
    vertical.SetTag(QString());
    vertical.SetVisible(true);
    EXPECT_EQ(frame->property("Tag").toString(), "");
    EXPECT_FALSE(frame->isHidden());

    LabelOverlay readout(label);
    const double oneLine = readout.Width();
    readout.SetCaption(QStringLiteral("2024-03-05\n买入：1,000股，价格：10.00 涨幅：9.97%"));
    EXPECT_GT(readout.Width(), oneLine);
    EXPECT_EQ(readout.Width(), label->width() * 15.0);
    EXPECT_GT(label->height(), label->fontMetrics().height() * 2 - 1);
    readout.SetLeft(1500);
    EXPECT_EQ(label->pos(), QPoint(100, 30));
    EXPECT_EQ(readout.Left(), 1500);

    // Controls whose widgets are gone do nothing.
    delete frame;
    delete label;
    vertical.SetX1(100);
    readout.SetCaption(QStringLiteral("x"));
    EXPECT_EQ(readout.Width(), 0);
    EXPECT_FALSE(vertical.Visible());
}

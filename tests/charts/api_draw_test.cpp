// The drawing primitives, the kept pen and brush, and text output, as recorded on a canvas.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "charts/api_draw.h"
#include "charts/text_out.h"
#include "fixtures/recording_canvas.h"
#include "platform/picture.h"

namespace {

using Lines = std::vector<std::string>;

class ApiDrawTest : public ::testing::Test {
protected:
    void SetUp() override { ReleasePenBrush(); }
    void TearDown() override { ReleasePenBrush(); }
};

}  // namespace

TEST_F(ApiDrawTest, LabelBoxHangsOrStandsWithItsPointerAtTheMiddleOfTheTopEdge)
{
    struct Case {
        double x, y, width, height;
        int pointer;
        bool down;
        Lines shapes;
    };
    const Case cases[] = {
        {100, 50, 40, 20, 4, false,
         {"Rectangle 80,50,120,70 pen 0000FF/0/1 brush 0000FF", "Polygon 98,50,100,46,102,50 pen 0000FF/0/1 brush 0000FF",
          "FillRegion 98,50,100,46,102,50 0000FF"}},
        {100, 50, 40, 20, 4, true,
         {"Rectangle 80,50,120,30 pen 0000FF/0/1 brush 0000FF", "Polygon 98,50,100,54,102,50 pen 0000FF/0/1 brush 0000FF",
          "FillRegion 98,50,100,54,102,50 0000FF"}},
        // Halves go to even: 80.5 → 80, 120.5 → 120, 106.5 → 106; a pointer of 5 has half 2, of 3 half 2.
        {100.5, 106.5, 40, 13, 5, false,
         {"Rectangle 80,106,120,120 pen 0000FF/0/1 brush 0000FF",
          "Polygon 98,106,100,101,102,106 pen 0000FF/0/1 brush 0000FF", "FillRegion 98,106,100,101,102,106 0000FF"}},
        {100, 50, 12, 13, 3, true,
         {"Rectangle 94,50,106,37 pen 0000FF/0/1 brush 0000FF", "Polygon 98,50,100,53,102,50 pen 0000FF/0/1 brush 0000FF",
          "FillRegion 98,50,100,53,102,50 0000FF"}},
        // A coordinate beyond 32 bits leaves the mark out.
        {1e10, 50, 40, 20, 4, false, {}},
        {std::nan(""), 50, 40, 20, 4, false, {}},
    };
    for (const Case &c : cases) {
        RecordingCanvas dc;
        DrawLabelBox(dc, c.x, c.y, c.width, c.height, c.pointer, c.down, 0x0000FF);
        EXPECT_EQ(dc.Lines({"Rectangle", "Polygon", "FillRegion"}), c.shapes) << c.x << "," << c.y;
        ReleasePenBrush();
    }
}

TEST_F(ApiDrawTest, PrimitivesRoundHalvesToEvenAndSkipWhatCannotBeAPixel)
{
    RecordingCanvas dc;
    SelectPenBrush(dc, 0x00FF00, PS_SOLID, 0, 1);
    const double inf = std::numeric_limits<double>::infinity();
    DrawRect(dc, 1, 200, 599, 130);
    DrawRect(dc, 1, 200, 599, 200.4);  // flat after rounding: a segment
    DrawRect(dc, 10, 5, 10, 20);
    DrawRect(dc, 2.5, 3.5, 10, 20);
    DrawSegment(dc, 300, 130, 300, 87.5);
    DrawSegment(dc, 0, 0, 3e9, 0);
    DrawSegment(dc, 0, 0, 0, -inf);
    DrawCircle(dc, 100, 200, 3);
    DrawCircle(dc, 2.5, 0, 1);
    DrawCircle(dc, 0, 0, std::nan(""));
    FillTriangle(dc, 0, 0, 1, inf, 2, 0, 0xFF);
    EXPECT_EQ(dc.Lines({"Segment", "Rectangle", "Ellipse", "Polygon"}),
              (Lines{"Rectangle 1,200,599,130 pen 00FF00/0/1 brush hollow",
                     "Segment 1,200,599,200 pen 00FF00/0/1 brush hollow",
                     "Segment 10,5,10,20 pen 00FF00/0/1 brush hollow",
                     "Rectangle 2,4,10,20 pen 00FF00/0/1 brush hollow",
                     "Segment 300,130,300,88 pen 00FF00/0/1 brush hollow",
                     "Ellipse 97,197,103,203 pen 00FF00/0/1 brush hollow",
                     "Ellipse 2,-1,4,1 pen 00FF00/0/1 brush hollow"}));
}

TEST_F(ApiDrawTest, OnePenAndBrushAreKeptUntilReleasedOrAskedForDifferently)
{
    RecordingCanvas dc;
    dc.SetSurfacePen(CanvasPen{0xFFFFFF, PS_SOLID, 1});

    // A repeat makes no pen; a width alone keeps the earlier pen.
    SelectPenBrush(dc, 0xFF, PS_SOLID, 0, 1);
    SelectPenBrush(dc, 0xFF, PS_SOLID, 0, 1);
    SelectPenBrush(dc, 0xFF, PS_SOLID, 0, 3);
    DrawSegment(dc, 0, 0, 5, 0);
    EXPECT_EQ(dc.Count("Pen"), 1);
    EXPECT_EQ(dc.Lines({"Segment"}), Lines{"Segment 0,0,5,0 pen 0000FF/0/1 brush hollow"});

    // Another style makes a new pen; fill 1 adds a brush; fill 0 after it gives the brush back, so
    // the next rectangle is hollow again.
    dc.ops.clear();
    SelectPenBrush(dc, 0xFF, PS_DOT, 0, 1);
    SelectPenBrush(dc, 0xFF, PS_DOT, 1, 1);
    DrawRect(dc, 0, 0, 4, 4);
    SelectPenBrush(dc, 0xFF, PS_DOT, 0, 1);
    DrawRect(dc, 0, 0, 4, 4);
    EXPECT_EQ(dc.Lines(), (Lines{"Pen pen FFFFFF/0/1 brush hollow", "Pen pen 0000FF/2/1 brush hollow",
                                 "Pen pen FFFFFF/0/1 brush hollow", "Brush pen FFFFFF/0/1 brush 0000FF",
                                 "Pen pen 0000FF/2/1 brush 0000FF", "Rectangle 0,0,4,4 pen 0000FF/2/1 brush 0000FF",
                                 "Brush pen 0000FF/2/1 brush hollow", "Pen pen FFFFFF/0/1 brush hollow",
                                 "Pen pen 0000FF/2/1 brush hollow", "Rectangle 0,0,4,4 pen 0000FF/2/1 brush hollow"}));

    // Another canvas releases the first one's pen and brush.
    SelectPenBrush(dc, 0xFF, PS_SOLID, 1, 1);
    {
        RecordingCanvas other;
        SelectPenBrush(other, 0xFF, PS_SOLID, 1, 1);
        EXPECT_EQ(dc.Pen(), (CanvasPen{0xFFFFFF, PS_SOLID, 1}));
        EXPECT_FALSE(dc.Brush().solid);
        EXPECT_TRUE(other.Brush().solid);
    }
    // The canvas holding the kept pen is gone: releasing, or selecting into a new canvas that may
    // take its address, touches nothing of it.
    ReleasePenBrush();
    {
        RecordingCanvas gone;
        SelectPenBrush(gone, 0xFF, PS_SOLID, 1, 1);
    }
    RecordingCanvas next;
    SelectPenBrush(next, 0xFF, PS_SOLID, 1, 1);
    EXPECT_EQ(next.Count("Pen"), 1);
    ReleasePenBrush();
    EXPECT_EQ(next.Pen(), CanvasPen{});
    EXPECT_FALSE(next.Brush().solid);
}

TEST(TextOut, TwipsBecomePixelsAndRightAlignmentUsesTheDrawingFont)
{
    struct Case {
        int x, y;
        QString text;
        int angle;
        bool keepX;
        double height;
        int weight;
        int64_t colour;
        std::string drawn;  // "" = nothing
        ColorRef foreAfter;
    };
    const Case cases[] = {
        {2805, 600, "B", 0, true, 12, 0, 0xFFFFFF, "Text 187,40 \"B\" h12 a0 w0 FFFFFF", 0xFFFFFF},
        {2805, 600, "B", 0, true, 12, 0, kKeepForeColor, "Text 187,40 \"B\" h12 a0 w0 123456", 0x123456},
        // Ends at x: 3 characters of a 12-pixel cell are 18 pixels wide in the recording canvas.
        {2805, 600, "成本价", 0, false, 12, 700, 0xFF, "Text 169,40 \"成本价\" h12 a0 w700 0000FF", 0xFF},
        // Turned text moves left by one line height, whatever its length.
        {2805, 600, "成本价成本价", 90, false, 12, 0, kKeepForeColor, "Text 175,40 \"成本价成本价\" h12 a900 w0 123456",
         0x123456},
        // To the nearest pixel, and a cell of 12.5 to even.
        {337, 338, "x", 0, true, 12.5, 0, kKeepForeColor, "Text 22,23 \"x\" h12 a0 w0 123456", 0x123456},
        {0, 0, "x", 3277, true, 12, 0, 0xFF, "", 0xFF},
        {0, 0, "x", 0, true, 1e12, 0, kKeepForeColor, "", 0x123456},
    };
    for (const Case &c : cases) {
        auto canvas = std::make_unique<RecordingCanvas>();
        RecordingCanvas &dc = *canvas;
        Picture pic(std::move(canvas));
        pic.SetPixelSize(600, 400);
        pic.ForeColor = 0x123456;
        DrawTextOut(pic, c.x, c.y, c.text, c.angle, c.keepX, c.height, c.weight, c.colour);
        EXPECT_EQ(dc.Lines({"Text"}), c.drawn.empty() ? Lines{} : Lines{c.drawn}) << c.text.toStdString();
        EXPECT_EQ(pic.ForeColor, c.foreAfter) << c.text.toStdString();
    }
}

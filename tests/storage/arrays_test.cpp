// Array helpers at their edges: empty arrays, ranges given as -1 or reversed, zeros skipped after the
// start element, removal past the end.
#include <gtest/gtest.h>

#include "storage/arrays.h"

TEST(SafeUBound, EmptyIsMinusOne)
{
    EXPECT_EQ(SafeUBound(std::vector<int>{}), -1);
    EXPECT_EQ(SafeUBound(std::vector<int>{7}), 0);
    const Matrix<double> none;
    EXPECT_EQ(SafeUBound(none, 1), -1);
    EXPECT_EQ(SafeUBound(none, 2), -1);
    const Matrix<double> m(3, 5);
    EXPECT_EQ(SafeUBound(m, 1), 2);
    EXPECT_EQ(SafeUBound(m, 2), 4);
}

TEST(ArrayIndexOf, StartAndAbsence)
{
    const std::vector<QString> a{"x", "y", "x", "z"};
    struct Case {
        QString value;
        long start;
        long expected;
    };
    const Case cases[] = {
        {"x", -1, 0}, {"x", 0, 0}, {"x", 1, 2}, {"x", 3, -1}, {"z", -1, 3},
        {"X", -1, -1},  // case-sensitive
        {"q", -1, -1}, {"x", 4, -1}, {"x", 99, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ArrayIndexOf(a, c.value, c.start), c.expected) << c.value.toStdString() << " from " << c.start;
    EXPECT_EQ(ArrayIndexOf(std::vector<QString>{}, QString("x")), -1);
}

TEST(ArrayIndexOf, TaggedValuesCompareTextsAsTextsAndNumbersAsNumbers)
{
    const std::vector<Value> a{MakeString("abc"), MakeLong(5), MakeString("7"), MakeDouble(2.5)};
    EXPECT_EQ(ArrayIndexOf(a, MakeDouble(5)), 1);
    EXPECT_EQ(ArrayIndexOf(a, MakeInteger(7)), 2);
    EXPECT_EQ(ArrayIndexOf(a, MakeString("2.5")), 3);
    EXPECT_EQ(ArrayIndexOf(a, MakeString("abc")), 0);
    EXPECT_EQ(ArrayIndexOf(a, MakeLong(0)), -1);  // "abc" is no number, so it is not 0
}

TEST(ArrayAddSub, ShorterArrayAndStartIndex)
{
    const std::vector<double> a{10, 20, 30, 40};
    const std::vector<long> b{1, 2, 3};
    EXPECT_EQ(ArrayAddSub(a, b, 0, 0), (std::vector<double>{9, 18, 27}));
    EXPECT_EQ(ArrayAddSub(a, b, 1, 1), (std::vector<double>{0, 22, 33}));
    EXPECT_EQ(ArrayAddSub(a, b, 5, 1), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(ArrayAddSub(a, b, 0, 2), (std::vector<double>{0, 0, 0}));
    EXPECT_TRUE(ArrayAddSub(a, std::vector<double>{}, 0, 0).empty());
}

TEST(ArrayCopyColumn, BothDirectionsStopAtTheShorterSide)
{
    Matrix<int> m(3, 2, -1);
    std::vector<int> a{1, 2, 3, 4};
    ArrayCopyColumn(a, m, 1, 1);
    EXPECT_EQ(m(0, 1), 1);
    EXPECT_EQ(m(2, 1), 3);
    EXPECT_EQ(m(2, 0), -1);
    std::vector<int> back(2, 0);
    ArrayCopyColumn(back, m, 1, 0);
    EXPECT_EQ(back, (std::vector<int>{1, 2}));
    ArrayCopyColumn(a, m, 2, 1);  // no such column
    EXPECT_EQ(m(0, 0), -1);
}

TEST(ArrayMinMax, RangesAndSkipZero)
{
    struct Case {
        std::vector<double> a;
        long from, to;
        bool skipZero;
        double max, min;
    };
    const Case cases[] = {
        {{3, 0, 5}, -1, -1, true, 5, 3},
        {{0, 3, 5}, -1, -1, true, 5, 0},  // the start element counts even when it is 0
        {{0, 3, 5}, -1, -1, false, 5, 0},
        {{3, 0, 5}, -1, -1, false, 5, 0},
        {{9, 4, 1, 7}, 3, 1, false, 7, 1},    // reversed range
        {{9, 4, 1, 7}, 1, -1, false, 7, 1},   // -1 up to the upper bound
        {{9, 4, 1, 7}, -1, 1, false, 9, 4},   // -1 from the lower bound
        {{9, 4, 1, 7}, 2, 99, false, 7, 1},   // cut at the end of the array
        {{-2, 0, -8}, -1, -1, true, -2, -8},  // zeros skipped on either side
    };
    for (const Case &c : cases) {
        double max = -100, min = -100;
        ArrayMinMax(c.a, max, min, c.from, c.to, c.skipZero);
        EXPECT_EQ(max, c.max) << c.from << ".." << c.to << " skip " << c.skipZero;
        EXPECT_EQ(min, c.min) << c.from << ".." << c.to << " skip " << c.skipZero;
    }
}

TEST(ArrayMinMax, NothingInRangeLeavesOutputs)
{
    double max = 11, min = 22;
    ArrayMinMax(std::vector<double>{}, max, min);
    ArrayMinMax(std::vector<double>{1, 2}, max, min, 5, 7);
    EXPECT_EQ(max, 11);
    EXPECT_EQ(min, 22);
}

TEST(ArrayMinMax2D, SubRectangleWithReversedAndDefaultBounds)
{
    Matrix<double> m(3, 3);
    double v = 1;
    for (long r = 0; r < 3; ++r)
        for (long c = 0; c < 3; ++c)
            m(r, c) = v++;  // 1..9 row by row
    m(1, 1) = 0;
    double max = 0, min = 0;
    ArrayMinMax2D(m, max, min);
    EXPECT_EQ(max, 9);
    EXPECT_EQ(min, 0);
    ArrayMinMax2D(m, max, min, 2, 1, -1, 0);  // rows 1..2, columns 0..0
    EXPECT_EQ(max, 7);
    EXPECT_EQ(min, 4);
    max = min = -5;
    ArrayMinMax2D(Matrix<double>(), max, min);
    EXPECT_EQ(max, -5);
}

TEST(ArrayRemove, CountIsCutAtTheEnd)
{
    struct Case {
        long index, n;
        std::vector<QString> expected;
    };
    const std::vector<QString> abcde{"a", "b", "c", "d", "e"};
    const Case cases[] = {
        {2, 1, {"a", "b", "d", "e"}},
        {0, 2, {"c", "d", "e"}},
        {4, 1, {"a", "b", "c", "d"}},
        {3, 3, {"a", "b", "c"}},  // more than there are: c stays
        {0, 9, {}},
        {5, 1, abcde},  // beyond the upper bound
        {-1, 1, abcde},
        {1, 0, abcde},
        {1, -2, abcde},
    };
    for (const Case &c : cases) {
        std::vector<QString> a = abcde;
        ArrayRemove(a, c.index, c.n);
        EXPECT_EQ(a, c.expected) << c.index << " " << c.n;
    }
    std::vector<QString> abcd{"a", "b", "c", "d"};
    ArrayRemove(abcd, 2, 1);
    EXPECT_EQ(abcd, (std::vector<QString>{"a", "b", "d"}));
}

TEST(Matrix, ResizeKeepsWhatStillFits)
{
    Matrix<int> m(2, 3);
    m(1, 2) = 7;
    m(0, 1) = 5;
    m.Resize(3, 2, 9);
    EXPECT_EQ(m(0, 1), 5);
    EXPECT_EQ(m(2, 1), 9);
    m.Resize(2, 4);
    EXPECT_EQ(m(0, 1), 5);
    EXPECT_EQ(m(1, 3), 0);
    EXPECT_FALSE(m.Contains(2, 0));
}

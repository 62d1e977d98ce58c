// 数组操作: helpers over the program's arrays. A one-dimensional array is a std::vector indexed from
// 0; an array never sized is an empty vector, whose upper bound is -1. A two-dimensional array is a
// Matrix indexed (row, column). Every helper checks its indexes: where an index falls outside the
// array the helper stops with what it has done so far, it never reads or writes outside.
#pragma once

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "platform/value.h"

// A two-dimensional array, row-major, indexed (row, column) from 0. A matrix never sized has no rows
// and no columns.
template <typename T>
class Matrix {
public:
    Matrix() = default;
    Matrix(long rows, long cols, const T &fill = T()) { Resize(rows, cols, fill); }

    long Rows() const { return m_rows; }
    long Cols() const { return m_cols; }
    bool Contains(long row, long col) const { return row >= 0 && row < m_rows && col >= 0 && col < m_cols; }

    // Element access; the indexes must lie inside (callers check with Contains or the bounds).
    T &operator()(long row, long col) { return m_data[static_cast<size_t>(row * m_cols + col)]; }
    const T &operator()(long row, long col) const { return m_data[static_cast<size_t>(row * m_cols + col)]; }

    // Gives the matrix rows x cols elements, keeping every element whose (row, column) still exists;
    // new elements take `fill`. A negative size counts as 0.
    void Resize(long rows, long cols, const T &fill = T())
    {
        rows = std::max(rows, 0L);
        cols = std::max(cols, 0L);
        std::vector<T> data(static_cast<size_t>(rows * cols), fill);
        for (long r = 0; r < std::min(rows, m_rows); ++r)
            for (long c = 0; c < std::min(cols, m_cols); ++c)
                data[static_cast<size_t>(r * cols + c)] = (*this)(r, c);
        m_data = std::move(data);
        m_rows = rows;
        m_cols = cols;
    }

private:
    long m_rows = 0;
    long m_cols = 0;
    std::vector<T> m_data;
};

// The upper bound of an array: size - 1, so -1 for an array never sized. Every test for an empty list
// is SafeUBound(a) < 0.
template <typename T>
long SafeUBound(const std::vector<T> &a)
{
    return static_cast<long>(a.size()) - 1;
}

// The upper bound of a matrix in dimension 1 (rows) or 2 (columns); -1 when it has none.
template <typename T>
long SafeUBound(const Matrix<T> &m, int dimension = 1)
{
    return (dimension == 2 ? m.Cols() : m.Rows()) - 1;
}

// Element rules shared by the helpers. Numbers compare as numbers. Tagged values: two texts compare
// as texts (case-sensitive); otherwise both are read as numbers, and a text equals a number only
// when it reads as exactly that number. A Value is zero when it is no text and reads as 0.
namespace array_detail {

bool ValueEquals(const Value &a, const Value &b);
bool ValueLess(const Value &a, const Value &b);

template <typename T>
bool ElementEquals(const T &a, const T &b)
{
    if constexpr (std::is_same_v<T, Value>)
        return ValueEquals(a, b);
    else
        return a == b;
}

template <typename T>
bool ElementLess(const T &a, const T &b)
{
    if constexpr (std::is_same_v<T, Value>)
        return ValueLess(a, b);
    else
        return a < b;
}

template <typename T>
bool ElementIsZero(const T &a)
{
    if constexpr (std::is_same_v<T, Value>)
        return !a.IsString() && a.ToDouble() == 0;
    else
        return a == T(0);
}

template <typename T>
double ElementNumber(const T &a)
{
    if constexpr (std::is_same_v<T, Value>)
        return a.ToDouble();
    else
        return static_cast<double>(a);
}

}  // namespace array_detail

// The index of the first element equal to value at or after start; start -1 (or any negative start)
// searches from index 0. -1 when there is none, also for an empty array or a start beyond the end.
template <typename T>
long ArrayIndexOf(const std::vector<T> &a, const T &value, long start = -1)
{
    for (long i = std::max(start, 0L); i <= SafeUBound(a); ++i)
        if (array_detail::ElementEquals(a[static_cast<size_t>(i)], value))
            return i;
    return -1;
}

// A new array of numbers over the indexes 0 to the smaller upper bound of a and b: from index start
// on, mode 0 gives a(i) - b(i) and mode 1 gives a(i) + b(i); the elements below start are 0, and so
// is every element for any other mode. Empty when either array is empty.
template <typename T, typename U>
std::vector<double> ArrayAddSub(const std::vector<T> &a, const std::vector<U> &b, long start, int mode)
{
    const long u = std::min(SafeUBound(a), SafeUBound(b));
    std::vector<double> out(static_cast<size_t>(u + 1), 0.0);
    if (mode != 0 && mode != 1)
        return out;
    for (long i = std::max(start, 0L); i <= u; ++i) {
        const double x = array_detail::ElementNumber(a[static_cast<size_t>(i)]);
        const double y = array_detail::ElementNumber(b[static_cast<size_t>(i)]);
        out[static_cast<size_t>(i)] = mode == 0 ? x - y : x + y;
    }
    return out;
}

// Sets every element of the array to value.
template <typename T>
void ArrayFill(std::vector<T> &a, const T &value)
{
    std::fill(a.begin(), a.end(), value);
}

template <typename T>
void ArrayFill(Matrix<T> &m, const T &value)
{
    for (long r = 0; r < m.Rows(); ++r)
        for (long c = 0; c < m.Cols(); ++c)
            m(r, c) = value;
}

// direction > 0: m(i, column) = a(i) for every index i of a; otherwise a(i) = m(i, column) for every
// row i of m. Copying stops at the first index the target does not have; a column outside the matrix
// copies nothing.
template <typename T>
void ArrayCopyColumn(std::vector<T> &a, Matrix<T> &m, long column, int direction)
{
    if (column < 0 || column >= m.Cols())
        return;
    const long last = std::min(SafeUBound(a), SafeUBound(m, 1));
    for (long i = 0; i <= last; ++i) {
        if (direction > 0)
            m(i, column) = a[static_cast<size_t>(i)];
        else
            a[static_cast<size_t>(i)] = m(i, column);
    }
}

// The largest and smallest element between from and to (either order; a negative from is index 0, a
// negative to the upper bound). Both start as the element at the lower index, which counts even when
// it is 0 and skipZero is set; after it, zeros are passed over when skipZero is set. The range is cut
// at the end of the array; an empty array or a range wholly outside leaves max and min as given.
template <typename T>
void ArrayMinMax(const std::vector<T> &a, T &max, T &min, long from = -1, long to = -1, bool skipZero = false)
{
    if (from < 0)
        from = 0;
    if (to < 0)
        to = SafeUBound(a);
    if (from > to)
        std::swap(from, to);
    from = std::max(from, 0L);
    to = std::min(to, SafeUBound(a));
    if (from > to)
        return;
    max = min = a[static_cast<size_t>(from)];
    for (long i = from; i <= to; ++i) {
        const T &x = a[static_cast<size_t>(i)];
        if (skipZero && array_detail::ElementIsZero(x))
            continue;
        if (array_detail::ElementLess(max, x))
            max = x;
        if (array_detail::ElementLess(x, min))
            min = x;
    }
}

// The same over rows firstRow to lastRow and columns firstCol to lastCol of a matrix (each -1 the
// matrix's own bound, each pair in either order), starting from (firstRow, firstCol), no zero rule.
template <typename T>
void ArrayMinMax2D(const Matrix<T> &m, T &max, T &min, long firstRow = -1, long lastRow = -1, long firstCol = -1,
                   long lastCol = -1)
{
    auto order = [](long &lo, long &hi, long upper) {
        if (lo < 0)
            lo = 0;
        if (hi < 0)
            hi = upper;
        if (lo > hi)
            std::swap(lo, hi);
        lo = std::max(lo, 0L);
        hi = std::min(hi, upper);
    };
    order(firstRow, lastRow, SafeUBound(m, 1));
    order(firstCol, lastCol, SafeUBound(m, 2));
    if (firstRow > lastRow || firstCol > lastCol)
        return;
    max = min = m(firstRow, firstCol);
    for (long r = firstRow; r <= lastRow; ++r)
        for (long c = firstCol; c <= lastCol; ++c) {
            if (array_detail::ElementLess(max, m(r, c)))
                max = m(r, c);
            if (array_detail::ElementLess(m(r, c), min))
                min = m(r, c);
        }
}

// Removes n elements from index on, the later elements moving down. n is cut to the elements that
// exist from index to the end, so removing more than there are empties the tail and loses nothing
// before index; an index outside the array or n below 1 changes nothing.
template <typename T>
void ArrayRemove(std::vector<T> &a, long index, long n)
{
    const long u = SafeUBound(a);
    if (index < 0 || index > u || n < 1)
        return;
    n = std::min(n, u - index + 1);
    a.erase(a.begin() + index, a.begin() + index + n);
}

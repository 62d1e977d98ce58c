// 数组操作: the element rules of tagged values.
#include "arrays.h"

namespace array_detail {

namespace {

// A text read as a number only when the whole text is one.
bool TextNumber(const Value &v, double &out)
{
    bool ok = false;
    out = v.str.trimmed().toDouble(&ok);
    return ok;
}

}  // namespace

bool ValueEquals(const Value &a, const Value &b)
{
    if (a.IsString() && b.IsString())
        return a.str == b.str;
    double x = a.ToDouble();
    double y = b.ToDouble();
    if (a.IsString() && !TextNumber(a, x))
        return false;
    if (b.IsString() && !TextNumber(b, y))
        return false;
    return x == y;
}

bool ValueLess(const Value &a, const Value &b)
{
    if (a.IsString() && b.IsString())
        return a.str < b.str;
    return a.ToDouble() < b.ToDouble();
}

}  // namespace array_detail

// K线图 drawing.
#include "kline_draw.h"

#include <cstdint>

#include "platform/numeric.h"
#include "storage/params.h"

ColorRef GetKLineColor(int i)
{
    const std::vector<QString> &tt = KTradeDispSetParams().tt;
    if (i < 0 || i >= static_cast<int>(tt.size()))
        return 0;
    const double v = LeadingNumber(tt[static_cast<size_t>(i)]);
    // A colour number is 32 bits; a stored negative number is its two's complement.
    if (!(v >= INT32_MIN && v <= UINT32_MAX))
        return 0;
    return static_cast<ColorRef>(static_cast<int64_t>(v));
}

void DrawTradeKLine(Picture &pic)
{
    pic.Cls();
    pic.Refresh();
}

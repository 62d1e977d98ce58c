// 其他函数: the clean-up of stock codes read from imported files.
#include "stock_code.h"

#include <algorithm>

QString NormalizeStockCode(const QString &text)
{
    const QString t = text.trimmed().toUpper();
    if (t == QStringLiteral("1A0001"))
        return t;
    const bool digits = !t.isEmpty() && std::all_of(t.begin(), t.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!digits || t.size() > 6)
        return QString();
    return t.rightJustified(6, u'0');
}

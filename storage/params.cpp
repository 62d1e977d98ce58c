// 参数操作: the parameter store and the form settings.
#include "params.h"

#include <algorithm>
#include <cmath>

#include "platform/numeric.h"
#include "platform/run_log.h"
#include "storage/common.h"
#include "storage/db_operate.h"

QString GetParam(const QString &key, const QString &defaultValue)
{
    const QString text = LookupField(QStringLiteral("参数"), MakeString(key), QStringLiteral("Var"),
                                     QStringLiteral("Con"));
    return text.isEmpty() ? defaultValue : text;
}

bool SaveParam(const QString &key, const QString &value)
{
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, QStringLiteral("SELECT * FROM 参数 WHERE Var=") + SqlQuote(key))) {
        CloseRs(conn, rs);
        return false;
    }
    bool ok = true;
    if (rs.RecordCount() == 0)
        ok = rs.AddNew();
    ok = ok && rs.Set(QStringLiteral("Var"), MakeString(key)) && rs.Set(QStringLiteral("Con"), MakeString(value));
    ok = ok && rs.Update();
    if (!ok) {
        LogDbError(rs.lastError, QStringLiteral("SELECT * FROM 参数 WHERE Var=") + SqlQuote(key));
        rs.CancelUpdate();
    }
    CloseRs(conn, rs);
    return ok;
}

namespace {

struct Records {
    FormParamSet sysSet, mf, kTradeDispSet, msfViewSet;
};

Records &AllRecords()
{
    static Records r;
    return r;
}

struct KindSlot {
    ControlKind kind;
    const char *suffix;
    std::vector<QString> FormParamSet::*array;
};

const KindSlot kSlots[] = {
    {ControlKind::tt, "_tt", &FormParamSet::tt},    {ControlKind::op, "_op", &FormParamSet::op},
    {ControlKind::chk, "_chk", &FormParamSet::chk}, {ControlKind::dtp, "_dtp", &FormParamSet::dtp},
    {ControlKind::cmb, "_cmb", &FormParamSet::cmb}, {ControlKind::pic, "_pic", &FormParamSet::pic},
};

std::vector<QString> &ArrayOf(FormParamSet &record, ControlKind kind)
{
    for (const KindSlot &s : kSlots)
        if (s.kind == kind)
            return record.*(s.array);
    return record.tt;
}

QString ParamKey(const QString &windowName, const char *suffix)
{
    return QStringLiteral("FPAR_") + windowName + QLatin1String(suffix);
}

// Restores one control from its array element; a value that does not fit leaves the control as it is.
void RestoreControl(FormControls &window, int i, const QString &text)
{
    switch (window.KindOf(i)) {
    case ControlKind::tt:
    case ControlKind::cmb:
        window.SetText(i, text);
        break;
    case ControlKind::op:
        window.SetOptionOn(i, LeadingNumber(text) > 0);
        break;
    case ControlKind::chk: {
        // The value is a whole number: the leading number rounds, halves to even.
        const auto v = ClngOf(LeadingNumber(text));
        if (v && *v >= 0 && *v <= 2)
            window.SetCheckValue(i, *v);
        break;
    }
    case ControlKind::dtp:
        if (auto d = ParseDate(text))
            window.SetDateValue(i, std::floor(*d));
        break;
    case ControlKind::pic: {
        // The stored text must be a number: anything else leaves the bar where it is.
        bool numeric = false;
        const double stored = text.trimmed().toDouble(&numeric);
        const auto p = numeric ? ClngOf(stored) : std::nullopt;
        if (!p)
            break;
        const FormControls::BarGeometry bar = window.Bar(i);
        int pos = *p;
        if (pos < 0)
            pos = 0;
        const double tagMin = LeadingNumber(bar.tag);
        if (pos < tagMin) {
            // A minimum no position can take leaves the bar as designed.
            const auto min = ClngOf(tagMin);
            if (!min)
                break;
            pos = *min;
        }
        if (pos > bar.containerSize - bar.barSize)
            pos = bar.containerSize - bar.barSize;
        window.SetBarPosition(i, pos);
        break;
    }
    }
}

}  // namespace

FormParamSet &SysSetParams()
{
    return AllRecords().sysSet;
}

FormParamSet &MFParams()
{
    return AllRecords().mf;
}

FormParamSet &KTradeDispSetParams()
{
    return AllRecords().kTradeDispSet;
}

FormParamSet &MSFViewSetParams()
{
    return AllRecords().msfViewSet;
}

void ResetFormParamSets()
{
    AllRecords() = Records{};
}

void CollectControlValue(const FormControls &window, int i, FormParamSet &record)
{
    const ControlKind kind = window.KindOf(i);
    const int index = window.IndexOf(i);
    if (index < 0)
        return;
    std::vector<QString> &array = ArrayOf(record, kind);
    if (index >= static_cast<int>(array.size()))
        array.resize(index + 1);
    QString text;
    switch (kind) {
    case ControlKind::tt:
    case ControlKind::cmb:
        text = window.Text(i);
        break;
    case ControlKind::op:
        text = window.OptionOn(i) ? QStringLiteral("1") : QStringLiteral("0");
        break;
    case ControlKind::chk:
        text = QString::number(window.CheckValue(i));
        break;
    case ControlKind::dtp:
        text = FormatValue(MakeDate(window.DateValue(i)), true, QString());
        break;
    case ControlKind::pic:
        text = QString::number(window.Bar(i).position);
        break;
    }
    array[index] = text;
}

void SaveFormParams(const FormControls *window, const QString &windowName, FormParamSet &record, bool noSave,
                    bool collect)
{
    if (collect && window)
        for (int i = 0; i < window->ControlCount(); ++i)
            CollectControlValue(*window, i, record);
    if (noSave)
        return;
    for (const KindSlot &s : kSlots) {
        const std::vector<QString> &array = record.*(s.array);
        if (array.empty())
            continue;
        const QString key = ParamKey(windowName, s.suffix);
        // An element holding the separator would split into two at the next start and shift every
        // later control: the array is not stored, and its row keeps what it held.
        const auto split = std::find_if(array.begin(), array.end(),
                                        [](const QString &e) { return e.contains(kParamSeparator); });
        if (split != array.end()) {
            LogDbError(MakeDbError(QStringLiteral("%1 not saved: element %2 holds the separator %3")
                                       .arg(key)
                                       .arg(split - array.begin())
                                       .arg(kParamSeparator)));
            continue;
        }
        QStringList parts(array.begin(), array.end());
        SaveParam(key, parts.join(kParamSeparator));
    }
}

void LoadParamArray(std::vector<QString> &array, const QString &key, RecordSet *params)
{
    QString text;
    if (!params) {
        text = GetParam(key, QString());
    } else {
        if (!params->IsOpen())
            return;
        params->MoveFirst();
        const int n = params->RecordCount();
        for (int k = 0; k < n && !params->AtEOF(); ++k) {
            const auto var = params->Get(QStringLiteral("Var"));
            if (!var)
                return;
            if (var->ToText() == key) {
                const auto con = params->Get(QStringLiteral("Con"));
                if (!con)
                    return;
                text = con->ToText();
                break;
            }
            params->MoveNext();
        }
    }
    if (text.isEmpty())
        return;
    const QStringList parts = text.split(kParamSeparator);
    array.assign(parts.begin(), parts.end());
}

void RestoreFormParams(FormControls *window, const QString &windowName, FormParamSet &record, RecordSet *params)
{
    if (!windowName.isEmpty())
        for (const KindSlot &s : kSlots)
            LoadParamArray(record.*(s.array), ParamKey(windowName, s.suffix), params);
    if (!window)
        return;
    for (int i = 0; i < window->ControlCount(); ++i) {
        const std::vector<QString> &array = ArrayOf(record, window->KindOf(i));
        const int index = window->IndexOf(i);
        if (index < 0 || index >= static_cast<int>(array.size()))
            continue;
        const bool enabled = window->IsEnabled(i);
        window->SetEnabled(i, false);
        RestoreControl(*window, i, array[index]);
        window->SetEnabled(i, enabled);
    }
}

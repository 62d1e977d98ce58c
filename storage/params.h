// 参数操作: the parameter store (table 参数, key Var, text value Con) and the form settings, which keep
// the values of a window's controls under keys "FPAR_" & window & kind suffix.
#pragma once

#include <vector>

#include <QString>

#include "platform/recordset.h"

// The stored text of a key; the default when the row is missing, its text is empty or the query
// fails (the failure is logged).
QString GetParam(const QString &key, const QString &defaultValue = QString());

// Stores the text under the key, adding the row when it is missing. The key is quoted, so any key
// round-trips. False when the row could not be written (logged).
bool SaveParam(const QString &key, const QString &value);

// The saved values of one window's controls, one text array per control kind; element i belongs to
// the control of that kind whose index is i. Arrays never filled are empty (upper bound -1).
struct FormParamSet {
    std::vector<QString> tt;   // text boxes: their text
    std::vector<QString> op;   // option buttons: "1" on, "0" off
    std::vector<QString> chk;  // check boxes: "0", "1" or "2"
    std::vector<QString> dtp;  // date pickers: "YYYY-MM-DD", "" for the empty date
    std::vector<QString> cmb;  // combo boxes: their text
    std::vector<QString> pic;  // splitter bars: position in twips (Top when wider than high, else Left)
};

// The four program-wide records: the system settings window, the main window, the K-line colour
// settings and the grid colour settings.
FormParamSet &SysSetParams();
FormParamSet &MFParams();
FormParamSet &KTradeDispSetParams();
FormParamSet &MSFViewSetParams();
// Empties the four records (tests, restart).
void ResetFormParamSets();

// The separator of the elements of a stored array.
inline const QString kParamSeparator = QStringLiteral("【⊙】");

// The kinds of persisted controls, in the order their arrays are saved.
enum class ControlKind { tt, op, chk, dtp, cmb, pic };

// A window's persisted controls, in their designed order, as the procedures below see them. The
// windowed program implements it over the real widgets; tests may implement it over plain values.
// Positions of splitter bars are in twips (15 per pixel).
class FormControls {
public:
    virtual ~FormControls() = default;
    virtual int ControlCount() const = 0;
    virtual ControlKind KindOf(int i) const = 0;
    // The control's index within its control array.
    virtual int IndexOf(int i) const = 0;
    virtual bool IsEnabled(int i) const = 0;
    virtual void SetEnabled(int i, bool enabled) = 0;
    // Each kind is read and written with its own pair: text boxes and combo boxes their text, option
    // buttons on/off, check boxes 0/1/2, date pickers a day number (the date part).
    virtual QString Text(int i) const = 0;
    virtual void SetText(int i, const QString &text) = 0;
    virtual bool OptionOn(int i) const = 0;
    virtual void SetOptionOn(int i, bool on) = 0;
    virtual int CheckValue(int i) const = 0;
    virtual void SetCheckValue(int i, int value) = 0;
    virtual double DateValue(int i) const = 0;
    virtual void SetDateValue(int i, double dayNumber) = 0;
    // Splitter bars: wider than high, its size across (height or width), the container's size in
    // the same direction, the Tag text ("min,max"), and the position (Top or Left).
    struct BarGeometry {
        bool horizontal = true;
        int barSize = 0;
        int containerSize = 0;
        QString tag;
        int position = 0;
    };
    virtual BarGeometry Bar(int i) const = 0;
    virtual void SetBarPosition(int i, int position) = 0;
};

// Collects the value of control i of the window into the record, growing the kind's array to the
// control's index.
void CollectControlValue(const FormControls &window, int i, FormParamSet &record);

// With collect set, collects every control of the window into the record; unless noSave is set,
// saves each array that has an element under "FPAR_" & windowName & suffix, joined by "【⊙】". An
// array with an element holding "【⊙】" is not stored (logged to RunErr.txt): its row keeps what it
// held, so that no restore splits one value into two.
void SaveFormParams(const FormControls *window, const QString &windowName, FormParamSet &record, bool noSave,
                    bool collect);

// With a window name, loads the six arrays of the record from the store, or from the open record set
// over 参数 when one is given (it may stand on any row). With a window, writes each control from its
// array; a control beyond its array, or with a value that does not fit, keeps its designed value.
// Check boxes and splitter positions take their stored numbers rounded (halves to even); splitter
// positions are brought inside the Tag minimum and the container.
void RestoreFormParams(FormControls *window, const QString &windowName, FormParamSet &record,
                       RecordSet *params = nullptr);

// Fills the array from the stored text of key (from the record set when one is given, else the
// store), split at "【⊙】". An empty text or a failed scan leaves the array as it was.
void LoadParamArray(std::vector<QString> &array, const QString &key, RecordSet *params = nullptr);

// SysSet: the window "系统设置" in which the user edits the five system settings: initial capital,
// commission per mille, add-position multiple, real-time refresh interval and default opening
// position. OK stores them and puts them into force; a changed initial capital rebuilds the per-day
// asset table. Modeless; closing destroys it, and the next use loads it again.
#pragma once

#include <array>

#include <QString>
#include <QWidget>

#include "storage/forms/widget_controls.h"

class QLabel;
class QLineEdit;
class QPushButton;

class SysSetForm : public QWidget {
    Q_OBJECT
public:
    // Loads the window: builds the controls, registers it among the loaded windows and runs Form_Load.
    SysSetForm();

    // The settings in the order of SysSetParams().tt: capital, commission, multiple, interval, position.
    std::array<QLineEdit *, 5> TT{};
    std::array<QLabel *, 5> Label1{};
    // "确   定" stores and applies, "取   消" closes without storing.
    std::array<QPushButton *, 2> Com{};

    // 0: each box must hold a number as typed (TypedNumber) within its range: capital 0 to 10^12 or
    // empty, commission 0 to 30 per mille, multiple above 0 up to 100, interval 0 (no refresh) or 1
    // to 3600 s, position 0 to 100 %. Otherwise a message names the first box that does not, nothing
    // is stored and the window stays open. Then stores the five texts, without blanks and thousands
    // separators, as the window's settings (FPAR_SysSet_tt) and puts them into force (LoadSysParams,
    // which also sets the refresh timer); when the leading number of the capital differs from the
    // one the window opened with, empties DeelRes, recomputes it from the first buy with progress
    // shown and refreshes the main window; then the window closes. 1: closes it without storing.
    // While a long operation holds the busy guard, OK does nothing; both hold the guard themselves.
    void Com_Click(int index);
    // The capital text the window opened with (TT(0)'s Tag).
    const QString &CapitalTag() const { return m_capitalTag; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The boxes take the in-memory settings record. A box the record does not fill (settings never
    // saved) shows the setting in force, so that OK cannot store the designed placeholders.
    void Form_Load();

    WidgetFormControls m_controls;
    QString m_capitalTag;
};

// The window, loaded on first use; a closed window is loaded anew on the next use.
SysSetForm *SysSet();
// The window when it is loaded, else nullptr (never creates it).
SysSetForm *LoadedSysSet();

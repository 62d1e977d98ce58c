// The persisted controls of a window over its real widgets: each window registers its controls as
// (kind, index, widget) in its designed order. Kinds map to widgets: tt QLineEdit, op QRadioButton,
// chk QCheckBox (unchecked/checked/partially checked = 0/1/2), dtp QDateEdit, cmb editable QComboBox,
// pic a splitter bar (any widget placed in its container; its "Tag" property holds "min,max" in twips).
#pragma once

#include <vector>

#include <QPointer>
#include <QWidget>

#include "storage/params.h"

class QCheckBox;

// A check box's value as the form settings keep it: 0 unticked, 1 ticked, 2 grey.
int CheckBoxValue(const QCheckBox *box);

class WidgetFormControls : public FormControls {
public:
    void Register(ControlKind kind, int index, QWidget *widget);

    int ControlCount() const override { return static_cast<int>(m_controls.size()); }
    ControlKind KindOf(int i) const override { return m_controls[i].kind; }
    int IndexOf(int i) const override { return m_controls[i].index; }
    bool IsEnabled(int i) const override;
    void SetEnabled(int i, bool enabled) override;
    QString Text(int i) const override;
    void SetText(int i, const QString &text) override;
    bool OptionOn(int i) const override;
    void SetOptionOn(int i, bool on) override;
    int CheckValue(int i) const override;
    void SetCheckValue(int i, int value) override;
    double DateValue(int i) const override;
    void SetDateValue(int i, double dayNumber) override;
    BarGeometry Bar(int i) const override;
    void SetBarPosition(int i, int position) override;

private:
    struct Entry {
        ControlKind kind;
        int index;
        QPointer<QWidget> widget;
    };
    std::vector<Entry> m_controls;
};

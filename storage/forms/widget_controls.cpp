// The persisted controls of a window over its real widgets.
#include "widget_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QRadioButton>

#include "platform/daynum.h"
#include "platform/twips.h"

void WidgetFormControls::Register(ControlKind kind, int index, QWidget *widget)
{
    m_controls.push_back({kind, index, widget});
}

bool WidgetFormControls::IsEnabled(int i) const
{
    QWidget *w = m_controls[i].widget;
    return w && w->isEnabled();
}

void WidgetFormControls::SetEnabled(int i, bool enabled)
{
    if (QWidget *w = m_controls[i].widget)
        w->setEnabled(enabled);
}

QString WidgetFormControls::Text(int i) const
{
    QWidget *w = m_controls[i].widget;
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    return QString();
}

void WidgetFormControls::SetText(int i, const QString &text)
{
    QWidget *w = m_controls[i].widget;
    if (auto *e = qobject_cast<QLineEdit *>(w))
        e->setText(text);
    else if (auto *c = qobject_cast<QComboBox *>(w))
        c->setCurrentText(text);
}

bool WidgetFormControls::OptionOn(int i) const
{
    auto *r = qobject_cast<QRadioButton *>(m_controls[i].widget);
    return r && r->isChecked();
}

void WidgetFormControls::SetOptionOn(int i, bool on)
{
    if (auto *r = qobject_cast<QRadioButton *>(m_controls[i].widget))
        r->setChecked(on);
}

int CheckBoxValue(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

int WidgetFormControls::CheckValue(int i) const
{
    auto *c = qobject_cast<QCheckBox *>(m_controls[i].widget);
    return c ? CheckBoxValue(c) : 0;
}

void WidgetFormControls::SetCheckValue(int i, int value)
{
    auto *c = qobject_cast<QCheckBox *>(m_controls[i].widget);
    if (!c)
        return;
    if (value == 2)
        c->setTristate(true);
    c->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

double WidgetFormControls::DateValue(int i) const
{
    auto *d = qobject_cast<QDateEdit *>(m_controls[i].widget);
    return d ? DayNumberOf(d->date()) : kEmptyDate;
}

void WidgetFormControls::SetDateValue(int i, double dayNumber)
{
    if (auto *d = qobject_cast<QDateEdit *>(m_controls[i].widget))
        d->setDate(DateOfDayNumber(dayNumber));
}

FormControls::BarGeometry WidgetFormControls::Bar(int i) const
{
    BarGeometry g;
    QWidget *w = m_controls[i].widget;
    if (!w)
        return g;
    const QRect r = w->geometry();
    g.horizontal = r.width() > r.height();
    g.barSize = (g.horizontal ? r.height() : r.width()) * kTwipsPerPixel;
    if (QWidget *c = w->parentWidget())
        g.containerSize = (g.horizontal ? c->height() : c->width()) * kTwipsPerPixel;
    g.tag = w->property("Tag").toString();
    g.position = (g.horizontal ? r.y() : r.x()) * kTwipsPerPixel;
    return g;
}

void WidgetFormControls::SetBarPosition(int i, int position)
{
    QWidget *w = m_controls[i].widget;
    if (!w)
        return;
    const int px = position / kTwipsPerPixel;
    if (w->width() > w->height())
        w->move(w->x(), px);
    else
        w->move(px, w->y());
}

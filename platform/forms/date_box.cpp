// DateBox: a date picker that takes a typed date.
#include "date_box.h"

#include <algorithm>

#include <QEvent>
#include <QLineEdit>

namespace {

const QString kFormat = QStringLiteral("yyyy-MM-dd");

}  // namespace

DateBox::DateBox(QWidget *parent) : QDateEdit(parent)
{
    setDisplayFormat(kFormat);
    setCalendarPopup(true);
    lineEdit()->installEventFilter(this);
}

QValidator::State DateBox::validate(QString &text, int &pos) const
{
    const QValidator::State state = QDateEdit::validate(text, pos);
    if (state != QValidator::Invalid)
        return state;
    // Only a whole date whose year lies within the range's years: a shorter year ("203") is still
    // being typed, and one outside cannot be brought into the range by its month and day.
    const QDate typed = text.size() == kFormat.size() ? QDate::fromString(text, kFormat) : QDate();
    if (!typed.isValid() || typed.year() < minimumDate().year() || typed.year() > maximumDate().year())
        return state;
    text = std::clamp(typed, minimumDate(), maximumDate()).toString(kFormat);
    return QDateEdit::validate(text, pos);
}

bool DateBox::eventFilter(QObject *watched, QEvent *event)
{
    // After a click that selected nothing (a drag selects what it covers), the section clicked into.
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease && !lineEdit()->hasSelectedText()) {
        const bool handled = QDateEdit::eventFilter(watched, event);
        setSelectedSection(currentSection());
        return handled;
    }
    return QDateEdit::eventFilter(watched, event);
}

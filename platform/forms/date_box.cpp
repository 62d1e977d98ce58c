// DateBox: a date picker that takes a typed year.
#include "date_box.h"

#include <algorithm>

namespace {

const QString kFormat = QStringLiteral("yyyy-MM-dd");

}  // namespace

DateBox::DateBox(QWidget *parent) : QDateEdit(parent)
{
    setDisplayFormat(kFormat);
    setCalendarPopup(true);
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

// DateBox: the date picker of the entry windows, shown as "yyyy-MM-dd" with a calendar to drop down,
// into which a date can be typed. A click into the year, the month or the day selects it, so that
// the digits typed replace it (a plain picker puts a cursor there and refuses every digit, the
// section being full). A year typed over a date whose month and day would take it outside the
// picker's range (2024 typed over 2023-12-08 while the range ends at 2024-03-09) is taken, the date
// brought to the nearest one of the range, and typing goes on with the month; a plain picker refuses
// the year's last digit. A year outside the range's years is refused keystroke by keystroke as usual.
#pragma once

#include <QDateEdit>

class DateBox : public QDateEdit {
    Q_OBJECT
public:
    explicit DateBox(QWidget *parent = nullptr);

protected:
    QValidator::State validate(QString &text, int &pos) const override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The check-date period of the payroll list: the group "Check Date Period"
// with the date pickers "From" and "To".
#pragma once

#include <QDateTime>
#include <QWidget>

class QDateEdit;

struct TOrvPayrollPeriod {
    QDateTime From;
    QDateTime To;
};

// 1 January of today's year, 00:00, to 31 December, 23:59:59.999.
TOrvPayrollPeriod DefaultPayrollPeriod(const QDate& today = QDate::currentDate());

// A check-date picker as every page has it: a calendar popup, the date in
// the regional short-date format with a four-digit year.
QDateEdit* CheckDatePicker(QWidget* parent = nullptr);

class TOrvPayrollFilterFrm : public QWidget {
    Q_OBJECT
public:
    // Shows the default period of the current year.
    explicit TOrvPayrollFilterFrm(QWidget* parent = nullptr);

    // The pickers show the dates; the times of the last period set are kept.
    TOrvPayrollPeriod Period() const;
    void SetPeriod(const TOrvPayrollPeriod& period);

    QDateEdit* FromEdit; // "From"
    QDateEdit* ToEdit;   // "To"

private:
    QTime m_fromTime;
    QTime m_toTime;
};

#include "ui/OrvPayrollFilterFrame.h"

#include "base/RegionalSettings.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>

TOrvPayrollPeriod DefaultPayrollPeriod(const QDate& today) {
    const int year = today.year();
    return {QDateTime(QDate(year, 1, 1), QTime(0, 0)),
            QDateTime(QDate(year, 12, 31), QTime(23, 59, 59, 999))};
}

namespace {

// The short-date format of the regional settings, with a four-digit year.
QString ShortDateFormat() {
    const TRegionalSettings& settings = RegionalSettings();
    const QString sep = settings.DateSeparator;
    switch (settings.DateOrder) {
    case TDateOrder::DayMonthYear:
        return QStringLiteral("d") + sep + QStringLiteral("M") + sep + QStringLiteral("yyyy");
    case TDateOrder::YearMonthDay:
        return QStringLiteral("yyyy") + sep + QStringLiteral("M") + sep + QStringLiteral("d");
    case TDateOrder::MonthDayYear:
        break;
    }
    return QStringLiteral("M") + sep + QStringLiteral("d") + sep + QStringLiteral("yyyy");
}

} // namespace

QDateEdit* CheckDatePicker(QWidget* parent) {
    auto* edit = new QDateEdit(parent);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(ShortDateFormat());
    return edit;
}

TOrvPayrollFilterFrm::TOrvPayrollFilterFrm(QWidget* parent)
    : QWidget(parent), FromEdit(nullptr), ToEdit(nullptr) {
    auto* group = new QGroupBox(QStringLiteral("Check Date Period"), this);
    FromEdit = CheckDatePicker(group);
    ToEdit = CheckDatePicker(group);
    auto* fields = new QFormLayout(group);
    fields->addRow(QStringLiteral("From"), FromEdit);
    fields->addRow(QStringLiteral("To"), ToEdit);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
    SetPeriod(DefaultPayrollPeriod());
}

TOrvPayrollPeriod TOrvPayrollFilterFrm::Period() const {
    return {QDateTime(FromEdit->date(), m_fromTime), QDateTime(ToEdit->date(), m_toTime)};
}

void TOrvPayrollFilterFrm::SetPeriod(const TOrvPayrollPeriod& period) {
    FromEdit->setDate(period.From.date());
    ToEdit->setDate(period.To.date());
    m_fromTime = period.From.time();
    m_toTime = period.To.time();
}

"""Report texts of the sandbox: S1910 employee checks, S1911 agency checks,
S348 general-ledger journal (comma-separated or fixed-width).

Lines end with CR LF as the service's Windows reports do.  Check reports write
dates as month/day/year and amounts with a full stop; text fields are quoted,
so names with spaces, commas or quotes survive the strict comma splitting of
the program's checks parser.
"""

import datetime
from decimal import Decimal

from paysandbox_data import (
    ACCOUNT_EMPLOYER_TAXES,
    ACCOUNT_FEDERAL,
    ACCOUNT_FEE_BANK,
    ACCOUNT_FICA,
    ACCOUNT_NET_PAY,
    ACCOUNT_SALARIES,
    ACCOUNT_SERVICE_FEES,
    ACCOUNT_STATE,
    ACCOUNT_UNEMPLOYMENT,
    ACCOUNT_WAGES,
    short_date,
)

EOL = "\r\n"

FORMAT_CSV = 1
FORMAT_FIXED = 2
FORMATS = (FORMAT_CSV, FORMAT_FIXED)

# Columns of the fixed-width journal: company code, date, three texts, GL tag,
# amount, debit, credit.  Texts are left-aligned, amounts right-aligned.
FIXED_WIDTHS = (4, 8, 6, 6, 6, 15, 14, 14, 14)
FIXED_RIGHT_ALIGNED = (False, False, False, False, False, False, True, True, True)


class ReportError(Exception):
    """The report cannot be produced; the task ends with type "ERROR"."""


def quoted(text):
    return '"' + text.replace('"', '""') + '"'


def amount(value):
    return f"{value:.2f}"


def _period(payroll):
    first = payroll.check_date - datetime.timedelta(days=7)
    last = payroll.check_date - datetime.timedelta(days=1)
    return f"{first:%m/%d/%Y} - {last:%m/%d/%Y}"


def employee_checks(data, payrolls):
    """S1910: first name, middle initial, last name, memo, date, number, amount."""
    lines = []
    for payroll in payrolls:
        for check in data.checks(payroll):
            e = check.employee
            if check.void:
                memo = f"Void of check {check.number}"
            elif check.manual:
                memo = f"Manual check {_period(payroll)}"
            elif e.direct_deposit:
                memo = f"Direct deposit {_period(payroll)}"
            else:
                memo = f"Pay period {_period(payroll)}"
            fields = [
                quoted(e.first),
                quoted(e.middle) if e.middle else "",
                quoted(e.last),
                quoted(memo),
                short_date(payroll.check_date),
                check.number,
                amount(check.net),
            ]
            lines.append(",".join(fields))
    return "".join(line + EOL for line in lines)


def agency_checks(data, payrolls):
    """S1911: payee, memo, date, number, amount; a placeholder line when the
    payrolls wrote no agency check."""
    lines = []
    for payroll in payrolls:
        for check in data.agency_checks(payroll):
            fields = [
                quoted(check.payee),
                quoted(check.memo),
                short_date(payroll.check_date),
                check.number,
                amount(check.amount),
            ]
            lines.append(",".join(fields))
    if not lines:
        lines.append(',"Payroll Agency",,,')
    return "".join(line + EOL for line in lines)


def journal_entries(data, payroll, exclude_manual_checks, billing_by_dbdt):
    """(GL tag, net amount) pairs of one payroll; debits positive."""
    checks = [c for c in data.checks(payroll) if not (exclude_manual_checks and c.manual)]
    debits = {}  # tag -> amount, in the order first met

    def add(tag, value):
        debits[tag] = debits.get(tag, Decimal(0)) + value

    def tag(account, employee):
        if billing_by_dbdt and employee.department:
            return f"{employee.department}-{account}"
        return account

    for c in checks:
        add(tag(ACCOUNT_WAGES if c.employee.hourly else ACCOUNT_SALARIES, c.employee), c.gross)
    for c in checks:
        add(tag(ACCOUNT_EMPLOYER_TAXES, c.employee), c.employer_fica + c.unemployment)
    fee = data.fee(payroll)
    add(ACCOUNT_SERVICE_FEES, fee)
    credits = [
        (ACCOUNT_FEDERAL, sum((c.federal for c in checks), Decimal(0))),
        (ACCOUNT_FICA, sum((c.fica + c.employer_fica for c in checks), Decimal(0))),
        (ACCOUNT_STATE, sum((c.state for c in checks), Decimal(0))),
        (ACCOUNT_UNEMPLOYMENT, sum((c.unemployment for c in checks), Decimal(0))),
        (ACCOUNT_NET_PAY, sum((c.net for c in checks), Decimal(0))),
        (ACCOUNT_FEE_BANK, fee),
    ]
    entries = [(t, v) for t, v in debits.items() if v]
    entries += [(t, -v) for t, v in credits if v]
    return entries


def journal_fields(data, payroll, entries):
    company = data.company(payroll.co_nbr)
    date = f"{payroll.check_date:%Y%m%d}"
    extra = (
        f"PR{payroll.check_date:%m%d}",
        f"WK{payroll.check_date.isocalendar()[1]:02d}",
        f"RUN{payroll.run_number}",
    )
    for gl_tag, value in entries:
        debit = amount(value) if value > 0 else ""
        credit = amount(-value) if value < 0 else ""
        yield (company.code, date) + extra + (gl_tag, amount(value), debit, credit)


def _csv_field(text):
    return quoted(text) if any(ch in text for ch in ',"') else text


def _fixed_line(fields):
    parts = []
    for text, width, right in zip(fields, FIXED_WIDTHS, FIXED_RIGHT_ALIGNED):
        if len(text) > width:
            raise ReportError(f"'{text}' does not fit the fixed-width journal's {width} characters")
        parts.append(text.rjust(width) if right else text.ljust(width))
    return "".join(parts)


def journal(data, payrolls, layout=FORMAT_CSV, exclude_manual_checks=False, billing_by_dbdt=False):
    """S348 of the payrolls, in the given layout."""
    if layout not in FORMATS:
        raise ReportError(f"unknown journal format {layout}")
    lines = []
    for payroll in payrolls:
        entries = journal_entries(data, payroll, exclude_manual_checks, billing_by_dbdt)
        for fields in journal_fields(data, payroll, entries):
            if layout == FORMAT_CSV:
                lines.append(",".join(_csv_field(f) for f in fields))
            else:
                lines.append(_fixed_line(fields))
    return "".join(line + EOL for line in lines)

"""The sandbox payroll service's clients, companies, payrolls and checks.

Everything is derived from the demo company description (data/demo/company.json)
that the sandbox QuickBooks company is built from, so the reports name only
employees, payees, accounts and classes that company holds - except in the
payrolls marked "Problem: ..." which carry one deliberate fault each.
The data is deterministic: a payroll keeps its number and its amounts forever.
"""

import datetime
import itertools
import json
import random
from dataclasses import dataclass, field, replace
from decimal import ROUND_HALF_UP, Decimal

CENT = Decimal("0.01")

# Payrolls run on Fridays from this one on; a payroll number holds the week.
FIRST_FRIDAY = datetime.date(2024, 1, 5)
MAX_WEEKS = 999
MAX_EMPLOYEES = 89

# Tax rates of the sandbox; amounts are rounded per check.
FEDERAL_RATE = Decimal("0.12")
FICA_RATE = Decimal("0.0765")
STATE_RATE = Decimal("0.04")
UNEMPLOYMENT_RATE = Decimal("0.006")
REGULAR_FEE = Decimal("85.00")
SUPPLEMENTAL_FEE = Decimal("25.00")

# General-ledger accounts by number (all in the demo company).
ACCOUNT_WAGES = "6510"
ACCOUNT_SALARIES = "6520"
ACCOUNT_EMPLOYER_TAXES = "6530"
ACCOUNT_SERVICE_FEES = "6540"
ACCOUNT_FEDERAL = "2110"
ACCOUNT_FICA = "2120"
ACCOUNT_STATE = "2130"
ACCOUNT_UNEMPLOYMENT = "2100"
ACCOUNT_NET_PAY = "1010"
ACCOUNT_FEE_BANK = "1000"

AGENCY_IRS = "Internal Revenue Service"
AGENCY_STATE = "State Department of Revenue"
AGENCY_UNEMPLOYMENT = "State Unemployment Fund"

VOID_TYPE = "Void"
VOIDED_CHECKS = 2

PROBLEM_UNKNOWN_EMPLOYEE = "Problem: unknown employee"
PROBLEM_MISSING_CLASS = "Problem: missing class"

# Generated client companies (--companies N): numbers above the demo's, one
# client each; their names and pay come from a seeded generator, so they are
# the same at every start with the same seed.
MAX_GENERATED = 999
DEFAULT_SEED = 2024
GENERATED_CL_BASE = 100
GENERATED_CO_BASE = 1000
# Checks of generated companies are numbered from this within each company
# (each has a company file of its own), so that paper checks keep seven
# characters and direct deposits eight, as the demo company's do.
GENERATED_CHECK_BASE = 40000
NAME_PLACES = ("Harbor", "Maple", "Cedar", "River", "Summit", "Oak Hill", "Pine Ridge", "Lakeside",
               "Granite", "Willow", "Bayview", "Hillside", "Meadow", "Copper", "Elm Street",
               "Juniper", "Prairie", "Coastal", "Northside", "Old Town")
NAME_TRADES = ("Bakery", "Deli", "Florist", "Hardware", "Dental", "Auto Repair", "Books", "Cafe",
               "Pharmacy", "Landscaping", "Plumbing", "Print Shop", "Fitness", "Pet Care", "Catering")

# Not in the demo company: the unknown employee's payroll pays her anyway.
UNKNOWN_EMPLOYEE = ("Grace", "E", "Whitfield")
MISSING_CLASS = "Catering"


class DataError(Exception):
    """The demo description cannot be used."""


def cents(value):
    return value.quantize(CENT, rounding=ROUND_HALF_UP)


@dataclass(frozen=True)
class Employee:
    first: str
    middle: str
    last: str
    hourly: bool
    weekly_gross: Decimal
    department: str  # the QuickBooks class the employee's cost is billed to
    direct_deposit: bool


@dataclass(frozen=True)
class Client:
    cl_nbr: int
    number: str
    name: str


@dataclass(frozen=True)
class Company:
    cl_nbr: int
    co_nbr: int
    number: str
    name: str
    code: str  # company code of the journal, four characters
    slot: int  # the company's payroll numbers are slot·10000 + week·10 + run
    biweekly: bool
    generated: bool = False
    pay_offset: Decimal = Decimal(0)  # added to every employee's weekly pay


@dataclass(frozen=True)
class Payroll:
    pr_nbr: int
    cl_nbr: int
    co_nbr: int
    check_date: datetime.date
    run_number: int
    payroll_type: str
    status: str
    week: int
    has_manual_check: bool
    has_agency_checks: bool
    check_base: int  # five digits that begin the payroll's check numbers

    @property
    def problem(self):
        return self.status if self.status.startswith("Problem:") else ""


@dataclass(frozen=True)
class Check:
    employee: Employee
    number: str
    gross: Decimal
    federal: Decimal
    fica: Decimal
    state: Decimal
    employer_fica: Decimal
    unemployment: Decimal
    manual: bool
    void: bool = False  # takes back the check of the same number

    @property
    def net(self):
        return self.gross - self.federal - self.fica - self.state


@dataclass(frozen=True)
class AgencyCheck:
    payee: str
    number: str
    amount: Decimal
    memo: str


@dataclass
class DemoData:
    company_name: str
    employees: list
    classes: list
    vendors: list
    clients: list = field(default_factory=list)
    companies: list = field(default_factory=list)
    payrolls: list = field(default_factory=list)
    payroll_by_nbr: dict = field(default_factory=dict)
    company_by_nbr: dict = field(default_factory=dict)

    def client(self, cl_nbr):
        return next((c for c in self.clients if c.cl_nbr == cl_nbr), None)

    def company(self, co_nbr):
        return self.company_by_nbr.get(co_nbr)

    def checks(self, payroll):
        """The employee checks of PAYROLL in report order."""
        if payroll.payroll_type == VOID_TYPE:
            return self._voids(payroll)
        employees = list(self.employees)
        if payroll.status == PROBLEM_UNKNOWN_EMPLOYEE:
            first, middle, last = UNKNOWN_EMPLOYEE
            department = self.classes[0] if self.classes else ""
            employees.append(Employee(first, middle, last, True, Decimal("640.00"), department, False))
        if payroll.status == PROBLEM_MISSING_CLASS and employees:
            employees[-1] = replace(employees[-1], department=self.missing_class())
        result = []
        offset = self.company(payroll.co_nbr).pay_offset
        for k, e in enumerate(employees):
            gross = e.weekly_gross + offset
            if payroll.run_number > 1:
                gross = cents(gross * Decimal("0.10"))
            manual = payroll.has_manual_check and k == len(self.employees) - 1
            # Direct deposits carry numbers of exactly eight characters.
            if e.direct_deposit and not manual:
                number = f"{payroll.check_base:05d}{k:03d}"
            else:
                number = f"{payroll.check_base:05d}{k:02d}"
            result.append(
                Check(
                    employee=e,
                    number=number,
                    gross=gross,
                    federal=cents(gross * FEDERAL_RATE),
                    fica=cents(gross * FICA_RATE),
                    state=cents(gross * STATE_RATE),
                    employer_fica=cents(gross * FICA_RATE),
                    unemployment=cents(gross * UNEMPLOYMENT_RATE),
                    manual=manual,
                )
            )
        return result

    def _voids(self, payroll):
        """The first two checks of the week before, taken back: every amount
        negative, same numbers (in the demo data a paper check and a direct
        deposit)."""
        earlier = self.payroll_by_nbr.get(payroll.pr_nbr - 10 - payroll.run_number + 1)
        if earlier is None:
            return []
        negated = []
        for c in self.checks(earlier)[:VOIDED_CHECKS]:
            negated.append(replace(c, gross=-c.gross, federal=-c.federal, fica=-c.fica, state=-c.state,
                                   employer_fica=-c.employer_fica, unemployment=-c.unemployment, void=True))
        return negated

    def agency_checks(self, payroll):
        """The tax deposits written with PAYROLL; none in most payrolls."""
        if not payroll.has_agency_checks:
            return []
        checks = self.checks(payroll)
        owed = [
            (AGENCY_IRS, sum((c.federal + c.fica + c.employer_fica for c in checks), Decimal(0))),
            (AGENCY_STATE, sum((c.state for c in checks), Decimal(0))),
            (AGENCY_UNEMPLOYMENT, sum((c.unemployment for c in checks), Decimal(0))),
        ]
        memo = f"Tax deposit, payroll of {short_date(payroll.check_date)} run {payroll.run_number}"
        return [
            AgencyCheck(payee, f"{payroll.check_base:05d}{90 + j:02d}", amount, memo)
            for j, (payee, amount) in enumerate(owed)
            if payee in self.vendors and amount > 0
        ]

    def fee(self, payroll):
        if payroll.payroll_type == VOID_TYPE:
            return Decimal(0)
        return REGULAR_FEE if payroll.run_number == 1 else SUPPLEMENTAL_FEE

    def missing_class(self):
        name = MISSING_CLASS
        while name.lower() in (c.lower() for c in self.classes):
            name += " Dept"
        return name

    def payrolls_between(self, first, last):
        return [p for p in self.payrolls if first <= p.check_date <= last]


def short_date(date):
    """The service's short date: month/day/year without leading zeros."""
    return f"{date.month}/{date.day}/{date.year}"


def _text(item, key, where):
    value = item.get(key, "")
    if not isinstance(value, str):
        raise DataError(f"{where}: '{key}' is not a text")
    return value.strip()


def _names(description, group, key="name"):
    items = description.get(group, [])
    if not isinstance(items, list):
        raise DataError(f"'{group}' is not a list")
    names = []
    for i, item in enumerate(items):
        if not isinstance(item, dict):
            raise DataError(f"{group} #{i + 1} is not an object")
        name = _text(item, key, f"{group} #{i + 1}")
        if name:
            names.append(name)
    return names


def _employees(description, classes):
    items = description.get("employees", [])
    if not isinstance(items, list) or not items:
        raise DataError("'employees' must be a non-empty list")
    if len(items) > MAX_EMPLOYEES:
        raise DataError(f"at most {MAX_EMPLOYEES} employees are supported")
    result = []
    for i, item in enumerate(items):
        if not isinstance(item, dict):
            raise DataError(f"employees #{i + 1} is not an object")
        where = f"employees #{i + 1}"
        first, last = _text(item, "firstName", where), _text(item, "lastName", where)
        if not first or not last:
            raise DataError(f"{where} needs a first and a last name")
        # The reports write a middle initial where QuickBooks may hold "A.".
        middle = _text(item, "middleName", where)
        if len(middle) > 1 and middle.endswith("."):
            middle = middle[:-1]
        gross = Decimal(900 + 125 * i) + Decimal(i % 4) * Decimal("0.25")
        department = classes[i % len(classes)] if classes else ""
        result.append(Employee(first, middle, last, i % 2 == 0, gross, department, i % 3 == 1))
    return result


def _runs(company, week):
    """(run, type, status) of the company's payrolls in the week."""
    runs = [(1, "Regular", "Processed")]
    # Generated companies pay once a week and nothing else, so any of their
    # payrolls exports into a fresh demo company file on its own.
    if company.generated:
        return runs
    if company.slot == 1 and week % 13 == 6:
        runs.append((2, "Supplemental", PROBLEM_UNKNOWN_EMPLOYEE))
    elif company.slot == 1 and week % 13 == 12:
        runs.append((2, "Supplemental", PROBLEM_MISSING_CLASS))
    elif company.slot == 1 and week % 13 == 3:
        runs.append((2, VOID_TYPE, "Processed"))
    elif week % 13 == 9:
        runs.append((2, "Supplemental", "Processed"))
    return runs


def _schedule(data, last_day):
    for company in data.companies:
        for week in range(MAX_WEEKS):
            check_date = FIRST_FRIDAY + datetime.timedelta(weeks=week)
            if check_date > last_day:
                break
            if company.biweekly and week % 2:
                continue
            # The last payroll of a month deposits its taxes with the agencies.
            month_end = (check_date + datetime.timedelta(days=7)).month != check_date.month
            for run, kind, status in _runs(company, week):
                pr_nbr = company.slot * 10000 + week * 10 + run
                pr = Payroll(
                    pr_nbr=pr_nbr,
                    cl_nbr=company.cl_nbr,
                    co_nbr=company.co_nbr,
                    check_date=check_date,
                    run_number=run,
                    payroll_type=kind,
                    status=status,
                    week=week,
                    has_manual_check=run == 1 and week % 4 == 3,
                    has_agency_checks=run == 1 and month_end,
                    check_base=GENERATED_CHECK_BASE + week * 10 + run if company.generated else pr_nbr,
                )
                data.payrolls.append(pr)
                data.payroll_by_nbr[pr.pr_nbr] = pr


def _generated(count, seed):
    """COUNT (client, company) pairs with seeded names and pay."""
    rng = random.Random(seed)
    names = [f"{place} {trade}" for place, trade in itertools.product(NAME_PLACES, NAME_TRADES)]
    rng.shuffle(names)
    result = []
    for i in range(1, count + 1):
        name = names[(i - 1) % len(names)]
        if i > len(names):
            name += f" {(i - 1) // len(names) + 1}"
        cl_nbr, co_nbr, code = GENERATED_CL_BASE + i, GENERATED_CO_BASE + i, f"G{i:03d}"
        offset = Decimal(rng.randrange(0, 20000)) / 100
        result.append((Client(cl_nbr, f"GC{i:03d}", name),
                       Company(cl_nbr, co_nbr, code, name, code, GENERATED_CL_BASE + i, False,
                               generated=True, pay_offset=offset)))
    return result


def build(description, today=None, companies=0, seed=DEFAULT_SEED):
    """DemoData from the parsed demo description (a dict), with COMPANIES
    generated client companies besides the demo's."""
    if not 0 <= companies <= MAX_GENERATED:
        raise DataError(f"from 0 to {MAX_GENERATED} generated companies are supported, not {companies}")
    if not isinstance(description, dict):
        raise DataError("the description is not a JSON object")
    company_name = description.get("company", "Demo Company")
    if not isinstance(company_name, str) or not company_name.strip():
        raise DataError("'company' is not a text")
    classes = _names(description, "classes")
    data = DemoData(
        company_name=company_name.strip(),
        employees=_employees(description, classes),
        classes=classes,
        vendors=_names(description, "vendors"),
    )
    data.clients = [Client(12, "HLB", "Harbor Lane Bakery"), Client(19, "SSD", "Second Street Deli")]
    data.companies = [
        Company(12, 34, "HLB1", data.company_name[:40], "HLB1", 1, False),
        Company(12, 35, "HLB2", "Harbor Lane Cafe", "HLB2", 2, True),
        Company(19, 51, "SSD1", "Second Street Deli", "SSD1", 3, False),
    ]
    for client, company in _generated(companies, seed):
        data.clients.append(client)
        data.companies.append(company)
    data.company_by_nbr = {c.co_nbr: c for c in data.companies}
    today = today or datetime.date.today()
    last_day = max(datetime.date(2027, 12, 31), datetime.date(today.year, 12, 31))
    _schedule(data, last_day)
    return data


def load(path, today=None, companies=0, seed=DEFAULT_SEED):
    try:
        with open(path, encoding="utf-8") as f:
            description = json.load(f)
    except (OSError, ValueError) as e:
        raise DataError(f"cannot read {path}: {e}") from e
    return build(description, today, companies, seed)

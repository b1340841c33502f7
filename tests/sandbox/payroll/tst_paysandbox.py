"""Tests of the sandbox payroll service: its data, reports and methods in
process, and the server itself over real HTTPS with client certificates."""

import datetime
import http.client
import json
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import unittest
import xmlrpc.client
from decimal import Decimal

SOURCE = os.environ.get("ORVQ_SOURCE_DIR") or os.path.join(os.path.dirname(os.path.abspath(__file__)), *[os.pardir] * 3)
SANDBOX = os.path.join(SOURCE, "sandbox", "payroll")
DEMO = os.path.join(SOURCE, "data", "demo", "company.json")
QUERIES = os.path.join(SOURCE, "data", "queries")
sys.dont_write_bytecode = True
sys.path.insert(0, SANDBOX)

import gencerts  # noqa: E402
import paysandbox_data as pdata  # noqa: E402
import paysandbox_reports as reports  # noqa: E402
import paysandbox_service as svc  # noqa: E402

HAVE_OPENSSL = shutil.which("openssl") is not None


def demo_description():
    with open(DEMO, encoding="utf-8") as f:
        return json.load(f)


def query_file(name):
    with open(os.path.join(QUERIES, name), "rb") as f:
        return xmlrpc.client.Binary(f.read())


class Clock:
    def __init__(self):
        self.now = 1000.0

    def __call__(self):
        return self.now


def params_for(payrolls, **extra):
    co = payrolls[0].co_nbr
    cl = payrolls[0].cl_nbr
    p = {"Clients": [cl], "Companies": [co], "Company": co, "Payrolls": [x.pr_nbr for x in payrolls]}
    p.update(extra)
    return p


class ReportTests(unittest.TestCase):
    """The reports against the demo company they must fit."""

    @classmethod
    def setUpClass(cls):
        cls.description = demo_description()
        cls.data = pdata.build(cls.description, today=datetime.date(2024, 6, 1))
        cls.year = cls.data.payrolls_between(datetime.date(2024, 1, 1), datetime.date(2024, 12, 31))
        d = cls.description
        cls.employees = set()
        for e in d["employees"]:
            middle = e.get("middleName", "")
            cls.employees.add((e["firstName"], middle[:-1] if middle.endswith(".") else middle, e["lastName"]))
        cls.vendors = {v["name"] for v in d["vendors"]}
        cls.accounts = {a["number"] for a in d["accounts"] if "number" in a}
        cls.classes = {c["name"] for c in d["classes"]}

    def journal_tags(self, payroll, dbdt):
        text = reports.journal(self.data, [payroll], billing_by_dbdt=dbdt)
        return [line.split(",")[5] for line in text.splitlines()]

    def foreign_names(self, payroll):
        """Employees, payees, accounts and classes the demo company lacks."""
        missing = set()
        for c in self.data.checks(payroll):
            name = (c.employee.first, c.employee.middle, c.employee.last)
            if name not in self.employees:
                missing.add(("employee", name))
        for a in self.data.agency_checks(payroll):
            if a.payee not in self.vendors:
                missing.add(("payee", a.payee))
        for tag in self.journal_tags(payroll, dbdt=True):
            cls, _, account = tag.rpartition("-")
            if account not in self.accounts:
                missing.add(("account", account))
            if cls and cls not in self.classes:
                missing.add(("class", cls))
        return missing

    def test_unmarked_payrolls_name_only_what_the_demo_company_holds(self):
        for p in self.year:
            if not p.problem:
                with self.subTest(payroll=p.pr_nbr):
                    self.assertEqual(self.foreign_names(p), set())

    def test_each_marked_payroll_breaks_exactly_one_thing(self):
        expected = {
            pdata.PROBLEM_UNKNOWN_EMPLOYEE: {("employee", pdata.UNKNOWN_EMPLOYEE)},
            pdata.PROBLEM_MISSING_CLASS: {("class", pdata.MISSING_CLASS)},
        }
        seen = set()
        for p in self.year:
            if p.problem:
                seen.add(p.problem)
                with self.subTest(payroll=p.pr_nbr, problem=p.problem):
                    self.assertEqual(self.foreign_names(p), expected[p.problem])
                    # The missing class only shows when billing is split.
                    self.assertTrue(all("-" not in t for t in self.journal_tags(p, dbdt=False)))
        self.assertEqual(seen, set(expected))

    def test_journals_balance_with_debit_or_credit_per_line(self):
        options = [(layout, manual, dbdt) for layout in reports.FORMATS for manual in (False, True)
                   for dbdt in (False, True)]
        too_long = 0
        for p in self.year[:40]:
            for layout, manual, dbdt in options:
                with self.subTest(payroll=p.pr_nbr, layout=layout, exclude_manual=manual, dbdt=dbdt):
                    try:
                        text = reports.journal(self.data, [p], layout, manual, dbdt)
                    except reports.ReportError as e:
                        # Class names can outgrow the fixed-width tag column;
                        # the report then fails rather than cut the tag.
                        self.assertEqual((layout, dbdt), (reports.FORMAT_FIXED, True))
                        self.assertIn("does not fit", str(e))
                        too_long += 1
                        continue
                    total = Decimal(0)
                    for line in text.split("\r\n")[:-1]:
                        if layout == reports.FORMAT_FIXED:
                            self.assertEqual(len(line), 87)
                            amount, debit, credit = (f.strip() for f in (line[45:59], line[59:73], line[73:87]))
                        else:
                            amount, debit, credit = line.split(",")[6:9]
                        value = Decimal(amount)
                        self.assertEqual(Decimal(debit or 0) - Decimal(credit or 0), value)
                        self.assertTrue(bool(debit) != bool(credit))
                        total += value
                    self.assertEqual(total, 0)
        self.assertGreater(too_long, 0)

    def test_excluding_manual_checks_takes_their_net_pay_out(self):
        with_manual = [p for p in self.year if p.has_manual_check]
        without = [p for p in self.year if not p.has_manual_check]
        self.assertTrue(with_manual and without)

        def net_pay(p, exclude):
            return dict(reports.journal_entries(self.data, p, exclude, False))[pdata.ACCOUNT_NET_PAY]

        for p in with_manual[:3]:
            manual = next(c for c in self.data.checks(p) if c.manual)
            self.assertEqual(net_pay(p, True) - net_pay(p, False), manual.net)
        for p in without[:3]:
            self.assertEqual(net_pay(p, True), net_pay(p, False))

    def test_check_numbers_are_unique_and_eight_characters_only_for_direct_deposits(self):
        numbers = []
        for p in self.year:
            for c in self.data.checks(p):
                if not c.void:
                    numbers.append(c.number)
                self.assertEqual(len(c.number) == 8, c.employee.direct_deposit and not c.manual, c)
                self.assertNotIn("-", c.number)
            numbers += [a.number for a in self.data.agency_checks(p)]
        self.assertEqual(len(numbers), len(set(numbers)))

    def test_void_payrolls_take_back_checks_of_the_week_before(self):
        voids = [p for p in self.year if p.payroll_type == pdata.VOID_TYPE]
        self.assertTrue(voids)
        for p in voids:
            with self.subTest(payroll=p.pr_nbr):
                earlier = self.data.payroll_by_nbr[p.pr_nbr - 11]
                self.assertEqual(earlier.check_date, p.check_date - datetime.timedelta(weeks=1))
                taken_back = self.data.checks(p)
                originals = self.data.checks(earlier)[:len(taken_back)]
                self.assertEqual([(c.number, -c.net) for c in taken_back], [(c.number, c.net) for c in originals])
                self.assertEqual({c.employee.direct_deposit for c in taken_back}, {False, True})

    def test_agency_report_is_the_placeholder_only_without_agency_checks(self):
        quiet = next(p for p in self.year if not p.has_agency_checks)
        busy = next(p for p in self.year if p.has_agency_checks)
        self.assertEqual(reports.agency_checks(self.data, [quiet]), ',"Payroll Agency",,,\r\n')
        lines = reports.agency_checks(self.data, [quiet, busy]).splitlines()
        self.assertEqual(len(lines), 3)
        paid = sum(Decimal(line.rsplit(",", 1)[1]) for line in lines)
        taxes = sum(c.federal + c.fica + c.employer_fica + c.state + c.unemployment for c in self.data.checks(busy))
        self.assertEqual(paid, taxes)

    def test_payrolls_keep_their_numbers_whatever_the_date(self):
        later = pdata.build(self.description, today=datetime.date(2031, 3, 1))
        self.assertGreater(len(later.payrolls), len(self.data.payrolls))
        for p in self.year:
            self.assertEqual(later.payroll_by_nbr[p.pr_nbr], p)

    def test_unusable_descriptions_are_refused_with_a_reason(self):
        rows = {
            "not an object": ([], "JSON object"),
            "no employees": ({"company": "X", "employees": []}, "employees"),
            "employee without last name": ({"employees": [{"firstName": "A"}]}, "last name"),
            "name not a text": ({"employees": [{"firstName": 5, "lastName": "B"}]}, "not a text"),
            "classes not a list": ({"employees": [{"firstName": "A", "lastName": "B"}], "classes": "x"}, "list"),
            "too many employees": ({"employees": [{"firstName": "A", "lastName": str(i)} for i in range(90)]},
                                   "at most"),
        }
        for name, (description, words) in rows.items():
            with self.subTest(name):
                with self.assertRaisesRegex(pdata.DataError, words):
                    pdata.build(description)


class GeneratedCompanyTests(unittest.TestCase):
    """--companies N: client companies for bureau runs, each exportable into a
    company file made from the demo description."""

    foreign_names = ReportTests.foreign_names
    journal_tags = ReportTests.journal_tags

    @classmethod
    def setUpClass(cls):
        ReportTests.setUpClass.__func__(cls)
        cls.build = staticmethod(lambda **k: pdata.build(cls.description, today=datetime.date(2024, 6, 1), **k))
        cls.data = cls.build(companies=50)

    def test_demo_data_unchanged_generated_data_stable_by_seed(self):
        plain = self.build()
        self.assertEqual((self.data.companies[:3], self.data.payrolls[:len(plain.payrolls)]),
                         (plain.companies, plain.payrolls))
        self.assertEqual(self.build(companies=50).companies, self.data.companies)
        self.assertNotEqual(self.build(companies=50, seed=7).companies, self.data.companies)

    def test_every_company_has_two_clean_payrolls_in_two_weeks(self):
        period = self.data.payrolls_between(datetime.date(2024, 3, 8), datetime.date(2024, 3, 15))
        for company in self.data.companies[3:]:
            payrolls = [p for p in period if p.co_nbr == company.co_nbr]
            checks = [c for p in payrolls for c in self.data.checks(p)]
            with self.subTest(company=company.co_nbr):
                self.assertEqual(len(payrolls), 2)
                self.assertEqual([self.foreign_names(p) for p in payrolls], [set(), set()])
                self.assertEqual(len({c.number for c in checks}), len(checks))
                for c in checks:
                    self.assertEqual(len(c.number) == 8, c.employee.direct_deposit and not c.manual)


class ServiceTests(unittest.TestCase):
    """The methods in process, with a clock the tests move."""

    def setUp(self):
        self.clock = Clock()
        self.data = pdata.build(demo_description(), today=datetime.date(2024, 6, 1))
        self.service = svc.Service(self.data, clock=self.clock)
        self.sid = self.login()
        self.payroll = self.data.payroll_by_nbr[10091]

    def login(self, *args):
        return self.service.call("orv.sb.connect", list(args or ("", "demo", "demo")))["SESSION"]

    def call(self, method, *args, sid=None):
        return self.service.call(method, [sid or self.sid] + list(args))

    def assertFault(self, code, text, method, *args, sid=None):
        with self.assertRaises(xmlrpc.client.Fault) as raised:
            self.call(method, *args, sid=sid)
        self.assertEqual(raised.exception.faultCode, code)
        self.assertRegex(raised.exception.faultString, text)

    def test_login_variants(self):
        rows = {
            "user and password": (("", "demo", "demo"), True),
            "user name in other case": (("", "DEMO", "demo"), True),
            "user with domain": (("", "clerk", "clerk", "harbor"), True),
            "domain in other case": (("", "clerk", "clerk", "HARBOR"), True),
            "password in other case": (("", "demo", "DEMO"), False),
            "domain user without domain": (("", "clerk", "clerk"), False),
            "plain user with a domain": (("", "demo", "demo", "harbor"), False),
            "empty user": (("", "", ""), False),
        }
        for name, (args, ok) in rows.items():
            with self.subTest(name):
                if ok:
                    self.assertRegex(self.login(*args), r"^[0-9a-f]{32}$")
                else:
                    with self.assertRaises(xmlrpc.client.Fault) as raised:
                        self.login(*args)
                    self.assertEqual((raised.exception.faultCode, raised.exception.faultString), svc.LOGIN_FAILED)
        for args in [("", "demo"), ("", "demo", 7), ("", "demo", "demo", "x", "y")]:
            with self.subTest(args=args), self.assertRaises(xmlrpc.client.Fault) as raised:
                self.login(*args)
            self.assertEqual(raised.exception.faultCode, 820)

    def test_lost_sessions_answer_wrong_session_exactly(self):
        def lose_by_control():
            self.service.call("sandbox.expireSessions", [])

        def lose_by_idleness():
            self.service.session_timeout = 60
            self.clock.now += 61

        def lose_by_call_count():
            self.service.expire_after_calls = 1
            self.call("orv.sb.openClient", 12)

        for lose in (lose_by_control, lose_by_idleness, lose_by_call_count):
            with self.subTest(lose.__name__):
                self.service = svc.Service(self.data, clock=self.clock)
                self.sid = self.login()
                lose()
                self.assertFault(810, "^Wrong session$", "orv.sb.openClient", 12)
                self.assertFault(810, "^Wrong session$", "orv.disconnect")
        self.assertFault(810, "^Wrong session$", "orv.disconnect", sid="no such session")

    def test_report_task_survives_a_new_login_of_its_user_only(self):
        task = self.call("orv.taskQueue.runReport", 1910, params_for([self.payroll]), "S")
        self.service.call("sandbox.expireSessions", [])
        again = self.login()
        self.assertTrue(self.call("orv.taskQueue.isTaskFinished", task, sid=again))
        other = self.login("", "clerk", "clerk", "harbor")
        self.assertFault(860, task, "orv.taskQueue.isTaskFinished", task, sid=other)
        self.assertFault(860, task, "orv.taskQueue.deleteTask", task, sid=other)

    def test_report_task_from_start_to_delete(self):
        self.service.call("sandbox.setTaskDelay", [30])
        task = self.call("orv.taskQueue.runReport", 1910, params_for([self.payroll]), "S")
        self.assertFalse(self.call("orv.taskQueue.isTaskFinished", task))
        self.assertFault(861, "not finished", "orv.taskQueue.getReport", task)
        self.clock.now += 30
        self.assertTrue(self.call("orv.taskQueue.isTaskFinished", task))
        report = self.call("orv.taskQueue.getReport", task)
        self.assertEqual(list(report), ["Type", "Report"])
        self.assertEqual(report["Type"], "ASCII")
        self.assertEqual(report["Report"].data.decode(), reports.employee_checks(self.data, [self.payroll]))
        self.assertTrue(self.call("orv.taskQueue.deleteTask", task))
        self.assertFault(860, task, "orv.taskQueue.getReport", task)
        self.assertEqual(self.service.call("sandbox.tasks", []), [])

    def test_tasks_can_be_finished_at_once(self):
        self.service.call("sandbox.setTaskDelay", [3600])
        task = self.call("orv.taskQueue.runReport", 1910, params_for([self.payroll]), "S")
        self.assertFalse(self.call("orv.taskQueue.isTaskFinished", task))
        self.assertEqual(self.service.call("sandbox.finishTasks", []), 1)
        self.assertTrue(self.call("orv.taskQueue.isTaskFinished", task))

    def test_a_journal_that_cannot_be_written_ends_as_an_error_report(self):
        task = self.call("orv.taskQueue.runReport", 348, params_for([self.payroll], Format=2, bBillingByDBDT=True), "S")
        report = self.call("orv.taskQueue.getReport", task)
        self.assertEqual(report["Type"], "ERROR")
        self.assertIn(b"does not fit", report["Report"].data)

    def test_next_report_can_be_made_to_fail(self):
        self.service.call("sandbox.setNextReport", ["ERROR", "Payroll 10091 is locked"])
        failing = self.call("orv.taskQueue.runReport", 1910, params_for([self.payroll]), "S")
        normal = self.call("orv.taskQueue.runReport", 1910, params_for([self.payroll]), "S")
        self.assertEqual(self.call("orv.taskQueue.getReport", failing)["Type"], "ERROR")
        self.assertEqual(self.call("orv.taskQueue.getReport", failing)["Report"].data, b"Payroll 10091 is locked")
        self.assertEqual(self.call("orv.taskQueue.getReport", normal)["Type"], "ASCII")

    def test_bad_report_definitions_fault_and_start_no_task(self):
        other = self.data.payroll_by_nbr[20081]  # a payroll of company 35
        good = params_for([self.payroll])
        rows = {
            "unknown number": ((1234, good, "S"), 850),
            "unknown type": ((1910, good, "R"), 850),
            "no Company": ((1910, {"Payrolls": [10091]}, "S"), 851),
            "unknown company": ((1910, dict(good, Company=99), "S"), 842),
            "client not listed": ((1910, dict(good, Clients=[19]), "S"), 851),
            "payrolls not ints": ((1910, dict(good, Payrolls=["10091"]), "S"), 851),
            "no payroll": ((1910, dict(good, Payrolls=[]), "S"), 851),
            "unknown payroll": ((1910, dict(good, Payrolls=[10093]), "S"), 843),
            "payroll of another company": ((1910, dict(good, Payrolls=[10091, other.pr_nbr]), "S"), 851),
            "journal format unknown": ((348, dict(good, Format=3), "S"), 851),
            "journal boolean sent as int": ((348, dict(good, bBillingByDBDT=1), "S"), 851),
            "parameters not a struct": ((1910, [10091], "S"), 820),
        }
        for name, (args, code) in rows.items():
            with self.subTest(name):
                self.assertFault(code, ".", "orv.taskQueue.runReport", *args)
        self.assertEqual(self.service.call("sandbox.tasks", []), [])

    def selected_columns(self, name):
        with open(os.path.join(QUERIES, name), encoding="utf-8") as f:
            select = re.search(r"SELECT\s+(.*?)\s+FROM", f.read(), re.S | re.I).group(1)
        return [c.strip() for c in select.split(",")]

    def test_queries_answer_the_columns_their_files_select_in_the_dataset_layout(self):
        period = {"CHECK_DATE_FROM": "3/1/2024", "CHECK_DATE_TO": "3/31/2024"}
        for name, params in (("qClList.rwq", None), ("qCoList.rwq", None), ("qPrList.rwq", period)):
            with self.subTest(name):
                result = self.call("orv.runQBQuery", query_file(name), "", *([params] if params else []))
                self.assertEqual(list(result), ["DATASET"])
                self.assertEqual(list(result["DATASET"]), ["meta", "val"])
                meta = result["DATASET"]["meta"]
                self.assertEqual([m["nm"] for m in meta.values()], self.selected_columns(name))
                for row in result["DATASET"]["val"].values():
                    self.assertEqual(list(row), list(meta))

    def test_payroll_query_takes_both_ends_of_the_period(self):
        rows = {
            "one Friday": ("3/8/2024", "3/8/2024", [10091, 10092]),
            "ISO dates": ("2024-03-08", "2024-03-08", [10091, 10092]),
            "two-digit year": ("3/8/24", "3/8/24", [10091, 10092]),
            "a week without Friday": ("3/9/2024", "3/14/2024", []),
            "reversed": ("3/31/2024", "3/1/2024", []),
        }
        for name, (first, last, hlb1_payrolls) in rows.items():
            with self.subTest(name):
                result = self.call("orv.runQBQuery", query_file("qPrList.rwq"), "",
                                   {"CHECK_DATE_FROM": first, "CHECK_DATE_TO": last})
                val = result["DATASET"]["val"]
                if not hlb1_payrolls:
                    self.assertEqual(val, "")
                    continue
                found = [r["c3"] for r in val.values() if r["c2"] == 34]
                self.assertEqual(found, hlb1_payrolls)

    def test_query_faults(self):
        rows = {
            "unknown query": ((xmlrpc.client.Binary(b"SELECT 1"), ""), 830),
            "period missing": ((query_file("qPrList.rwq"), ""), 831),
            "date not a date": ((query_file("qPrList.rwq"), "", {"CHECK_DATE_FROM": "13/1/2024",
                                                                 "CHECK_DATE_TO": "1/1/2025"}), 831),
            "date not a string": ((query_file("qPrList.rwq"), "", {"CHECK_DATE_FROM": 5, "CHECK_DATE_TO": "x"}), 831),
            "file not base64": (("qClList", ""), 820),
        }
        for name, (args, code) in rows.items():
            with self.subTest(name):
                self.assertFault(code, ".", "orv.runQBQuery", *args)

    def test_injected_faults_hit_only_their_method_and_count(self):
        self.service.call("sandbox.failNext", ["orv.taskQueue.isTaskFinished", 810, "Wrong session", 2])
        hits = [self.service.take_injection(m) for m in
                ("orv.runQBQuery", "orv.taskQueue.isTaskFinished", "orv.taskQueue.isTaskFinished",
                 "orv.taskQueue.isTaskFinished")]
        self.assertEqual([h.fault if h else None for h in hits],
                         [None, (810, "Wrong session"), (810, "Wrong session"), None])
        self.service.call("sandbox.answerNext", ["html"])
        self.assertEqual(self.service.take_injection("orv.disconnect").answer, "html")
        with self.assertRaises(xmlrpc.client.Fault):
            self.service.call("sandbox.answerNext", ["teapot"])

    def test_call_log_keeps_what_it_can_send_back(self):
        big = xmlrpc.client.Binary(b"x" * (svc.MAX_LOGGED_BYTES + 1))
        with self.assertRaises(xmlrpc.client.Fault):
            self.call("orv.runQBQuery", big, None, {"n": 2**40})
        [entry] = [c for c in self.service.call("sandbox.calls", []) if c["method"] == "orv.runQBQuery"]
        self.assertEqual(entry["session"], self.sid)
        self.assertEqual(len(entry["params"][0].data), svc.MAX_LOGGED_BYTES)
        self.assertEqual(entry["params"][1:], ["", {"n": str(2**40)}])
        xmlrpc.client.dumps((self.service.call("sandbox.calls", []),), methodresponse=True)

    def test_calls_no_workflow_makes(self):
        self.assertFault(841, "No client", "orv.legacy.postTableChanges", {"x": 1})
        self.assertFault(840, "Client 99", "orv.sb.openClient", 99)
        self.call("orv.sb.openClient", 12)
        self.assertEqual(self.call("orv.legacy.postTableChanges", {"a": 1, "b": 2}), {"Applied": 2})
        options = {"LookupOption": 0, "DBDTOption": 0, "FourDigitYear": True, "FileFormat": 1,
                   "AutoImportJobCodes": False, "UseEmployeePayRates": True}
        data = xmlrpc.client.Binary(b"Lopez,8\r\n\r\nChen\r\nNovak,x\r\nBrooks,7.5\r\n")
        result = self.call("orv.sb.TCImport", 34, 10091, data, options, 1)
        self.assertEqual(result["RejectedRecords"], 2)
        self.assertIn(b"Line 3 rejected: Chen", result["LogFile"].data)
        self.assertFault(843, "10091", "orv.sb.TCImport", 35, 10091, data, options, 1)
        files = [{"fileName": "a.csv", "fileData": xmlrpc.client.Binary(b"1,2\nbad\n")}]
        self.assertEqual(self.call("orv.taskQueue.orvXImport", files, xmlrpc.client.Binary(b"")),
                         {"taskNbr": "-1", "errorLog": "Map file is empty"})
        task = self.call("orv.taskQueue.orvXImport", files, xmlrpc.client.Binary(b"map"))["taskNbr"]
        [result] = self.call("orv.taskQueue.getOrvXImportResults", task)
        self.assertEqual((result["inputRowsAmount"], result["importedRowsAmount"], result["realErrorsAmount"]),
                         (2, 1, 1))


@unittest.skipUnless(HAVE_OPENSSL, "openssl is needed for the certificates")
class ServerTests(unittest.TestCase):
    """The server process over HTTPS."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="paysandbox-")
        cls.certs = os.path.join(cls.tmp, "certs")
        cls.server, cls.port = cls.start("--task-delay", "0")

    @classmethod
    def tearDownClass(cls):
        cls.stop(cls.server)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    @classmethod
    def start(cls, *args):
        proc = subprocess.Popen(
            [sys.executable, "-B", os.path.join(SANDBOX, "orvq_paysandbox.py"), "--port", "0", "--certs", cls.certs,
             "--watch-stdin"] + list(args),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = proc.stdout.readline()
        if not line.strip().isdigit():
            proc.kill()
            proc.wait()
            raise AssertionError(f"the server did not start: {line!r}")
        return proc, int(line)

    @staticmethod
    def stop(proc):
        proc.send_signal(signal.SIGTERM)
        try:
            return proc.wait(timeout=60)
        finally:
            proc.stdin.close()
            proc.stdout.close()

    def setUp(self):
        self.rpc("sandbox.reset")

    def context(self, client_cert=True):
        ctx = ssl.create_default_context(cafile=os.path.join(self.certs, gencerts.CA_FILE))
        if client_cert:
            ctx.load_cert_chain(os.path.join(self.certs, gencerts.CLIENT_FILE))
        return ctx

    def proxy(self, host="localhost", **kw):
        return xmlrpc.client.ServerProxy(f"https://{host}:{self.port}", context=self.context(**kw))

    def rpc(self, method, *args):
        return getattr(self.proxy(), method)(*args)

    def post(self, body, headers=None, method="POST"):
        conn = http.client.HTTPSConnection("localhost", self.port, context=self.context(), timeout=60)
        try:
            conn.request(method, "/", body=body, headers=headers or {"Content-Type": "text/xml"})
            response = conn.getresponse()
            return response.status, response.read()
        finally:
            conn.close()

    def test_a_direct_export_conversation(self):
        sid = self.rpc("orv.sb.connect", "", "clerk", "clerk", "harbor")["SESSION"]
        clients = self.rpc("orv.runQBQuery", sid, query_file("qClList.rwq"), "")["DATASET"]["val"]
        self.assertEqual([r["c1"] for r in clients.values()], [12, 19])
        payrolls = self.rpc("orv.runQBQuery", sid, query_file("qPrList.rwq"), "",
                            {"CHECK_DATE_FROM": "3/8/2024", "CHECK_DATE_TO": "3/8/2024"})["DATASET"]["val"]
        first = next(iter(payrolls.values()))
        self.assertEqual(first["c4"], xmlrpc.client.DateTime("20240308T00:00:00"))
        task = self.rpc("orv.taskQueue.runReport", sid, 348,
                        {"Clients": [12], "Companies": [34], "Company": 34, "Payrolls": [first["c3"]], "Format": 1,
                         "bExcludeManualChecks": False, "bBillingByDBDT": False}, "S")
        self.assertTrue(self.rpc("orv.taskQueue.isTaskFinished", sid, task))
        report = self.rpc("orv.taskQueue.getReport", sid, task)
        self.assertTrue(report["Report"].data.startswith(b"HLB1,20240308,"))
        self.rpc("orv.taskQueue.deleteTask", sid, task)
        self.rpc("orv.disconnect", sid)
        calls = [(c["method"], c["session"]) for c in self.rpc("sandbox.calls")]
        self.assertEqual([m for m, _ in calls],
                         ["orv.sb.connect", "orv.runQBQuery", "orv.runQBQuery", "orv.taskQueue.runReport",
                          "orv.taskQueue.isTaskFinished", "orv.taskQueue.getReport", "orv.taskQueue.deleteTask",
                          "orv.disconnect"])
        self.assertTrue(all(s == sid for _, s in calls[1:]))

    def test_server_certificate_names_localhost_and_its_address(self):
        for host in ("localhost", "127.0.0.1"):
            with self.subTest(host):
                self.assertIsInstance(self.proxy(host).sandbox.sessions(), int)

    def test_a_client_without_a_trusted_certificate_is_refused(self):
        stranger = os.path.join(self.tmp, "stranger")
        gencerts.ensure_certs(stranger)
        for name, ctx in (("no certificate", self.context(client_cert=False)),
                          ("certificate of another CA", self.context(client_cert=False))):
            if name == "certificate of another CA":
                ctx.load_cert_chain(os.path.join(stranger, gencerts.CLIENT_FILE))
            with self.subTest(name), self.assertRaises((ssl.SSLError, ConnectionError)):
                xmlrpc.client.ServerProxy(f"https://localhost:{self.port}", context=ctx).sandbox.sessions()
        self.assertEqual(self.rpc("sandbox.calls"), [])

    def test_the_answers_a_test_can_ask_for(self):
        login = xmlrpc.client.dumps(("", "demo", "demo"), "orv.sb.connect").encode()
        rows = {
            "html": (200, lambda body: b"<html>" in body and b"xml" not in body),
            "status500": (500, lambda body: b"xml" not in body),
            "empty": (200, lambda body: body == b""),
            "badvalue": (200, lambda body: b"<int>not a number</int>" in body),
            "drip": (200, lambda body: b"SESSION" in body),
            "drop": (None, None),
            "silent": (None, None),
        }
        for kind, (status, check) in rows.items():
            with self.subTest(kind):
                self.rpc("sandbox.answerNext", kind, "orv.sb.connect", 0)
                if status is None:
                    with self.assertRaises((http.client.RemoteDisconnected, ConnectionError)):
                        self.post(login)
                else:
                    got, body = self.post(login)
                    self.assertEqual(got, status)
                    self.assertTrue(check(body), body)
                self.assertIn("SESSION", self.rpc("orv.sb.connect", "", "demo", "demo"))

    def test_hostile_requests_get_an_error_and_the_server_goes_on(self):
        rows = {
            "not XML": (b"hello", None, 870),
            "document type": (b'<?xml version="1.0"?><!DOCTYPE x [<!ENTITY a "aaaa">]><methodCall>'
                              b"<methodName>orv.disconnect</methodName></methodCall>", None, 870),
            "a response, not a call": (xmlrpc.client.dumps((1,), methodresponse=True).encode(), None, 870),
            "unknown method": (xmlrpc.client.dumps(("x",), "orv.format.disk").encode(), None, 821),
            "session not a string": (xmlrpc.client.dumps((5,), "orv.disconnect").encode(), None, 810),
            "body too large": (b"", {"Content-Length": str(64 * 1024 * 1024 + 1)}, 413),
            "no length": (None, {}, 411),
        }
        for name, (body, headers, expected) in rows.items():
            with self.subTest(name):
                if headers is not None:
                    conn = http.client.HTTPSConnection("localhost", self.port, context=self.context(), timeout=60)
                    conn.putrequest("POST", "/")
                    for k, v in headers.items():
                        conn.putheader(k, v)
                    conn.endheaders()
                    status = conn.getresponse().status
                    conn.close()
                    self.assertEqual(status, expected)
                    continue
                status, answer = self.post(body)
                self.assertEqual(status, 200)
                with self.assertRaises(xmlrpc.client.Fault) as raised:
                    xmlrpc.client.loads(answer)
                self.assertEqual(raised.exception.faultCode, expected)
        self.assertEqual(self.post(None, method="GET")[0], 405)
        self.assertIn("SESSION", self.rpc("orv.sb.connect", "", "demo", "demo"))

    def test_stops_on_sigterm_while_a_call_hangs_and_can_refuse_control(self):
        proc, port = self.start("--no-control")
        try:
            ctx = self.context()
            with self.assertRaises(xmlrpc.client.Fault) as raised:
                xmlrpc.client.ServerProxy(f"https://localhost:{port}", context=ctx).sandbox.reset()
            self.assertEqual(raised.exception.faultCode, 821)
            hanging = socket.create_connection(("localhost", port))
        finally:
            self.assertEqual(self.stop(proc), 0)
        hanging.close()


class CommandLineTests(unittest.TestCase):
    def run_sandbox(self, *args):
        return subprocess.run([sys.executable, "-B", os.path.join(SANDBOX, "orvq_paysandbox.py")] + list(args),
                              capture_output=True, text=True, timeout=60)

    def test_prints_a_report_as_the_service_would_send_it(self):
        done = self.run_sandbox("--print-report", "1911", "--payrolls", "10091")
        self.assertEqual((done.returncode, done.stdout), (0, ',"Payroll Agency",,,\n'))

    def test_prints_the_companies(self):
        done = self.run_sandbox("--print-companies", "--companies", "2")
        self.assertEqual((done.returncode, done.stdout.splitlines()[3:]),
                         (0, ["101\t1001\tG001\tCoastal Hardware", "102\t1002\tG002\tWillow Pharmacy"]))

    def test_refuses_bad_arguments_with_a_reason(self):
        with tempfile.TemporaryDirectory() as tmp:
            broken = os.path.join(tmp, "broken.json")
            with open(broken, "w") as f:
                f.write("{not json")
            rows = {
                "unknown payroll": (["--print-report", "1910", "--payrolls", "10093"], "payroll '10093' not found"),
                "payroll not a number": (["--print-report", "1910", "--payrolls", "10091,x"], "payroll 'x'"),
                "no payroll": (["--print-report", "1910"], "payroll '' not found"),
                "unknown report": (["--print-report", "1912", "--payrolls", "10091"], "unknown report S1912"),
                "journal layout unknown": (["--print-report", "348", "--payrolls", "10091", "--format", "3"],
                                           "unknown journal format 3"),
                "unreadable description": (["--data", broken, "--print-report", "1910"], "cannot read"),
                "no certificates folder": ([], "--certs is required"),
                "too many companies": (["--companies", "1000"], "from 0 to 999 generated companies"),
                "bad user": (["--certs", tmp, "--user", "nopassword"], "NAME[@DOMAIN]:PASSWORD"),
            }
            for name, (args, reason) in rows.items():
                with self.subTest(name):
                    done = self.run_sandbox(*args)
                    self.assertEqual(done.returncode, 2)
                    self.assertIn(reason, done.stderr)


@unittest.skipUnless(HAVE_OPENSSL, "openssl is needed for the certificates")
class CertificateTests(unittest.TestCase):
    def test_made_once_and_remade_when_one_is_missing(self):
        with tempfile.TemporaryDirectory() as tmp:
            paths = gencerts.ensure_certs(os.path.join(tmp, "certs"))

            def contents():
                result = {}
                for name, path in paths.items():
                    with open(path) as f:
                        result[name] = f.read()
                return result

            first = contents()
            gencerts.ensure_certs(os.path.join(tmp, "certs"))
            self.assertEqual(contents(), first)
            os.remove(paths[gencerts.CLIENT_FILE])
            gencerts.ensure_certs(os.path.join(tmp, "certs"))
            second = contents()
            self.assertTrue(all(second[n] != first[n] for n in paths))
            self.assertEqual(sorted(os.listdir(os.path.join(tmp, "certs"))), sorted(gencerts.ALL_FILES))
            for bundle in (gencerts.SERVER_FILE, gencerts.CLIENT_FILE):
                self.assertIn("PRIVATE KEY", second[bundle])
                self.assertEqual(os.stat(paths[bundle]).st_mode & 0o077, 0)

    def test_a_failing_openssl_is_reported(self):
        with tempfile.TemporaryDirectory() as tmp:
            with self.assertRaisesRegex(gencerts.CertError, "cannot run"):
                gencerts.ensure_certs(tmp, openssl=os.path.join(tmp, "no-openssl"))
            self.assertEqual(os.listdir(tmp), [])


if __name__ == "__main__":
    unittest.main()

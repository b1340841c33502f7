"""The XML-RPC methods of the sandbox payroll service, apart from HTTP.

`Service.call` takes a method name and the unmarshalled parameters and returns
the result or raises `xmlrpc.client.Fault`.  Sessions, tasks and the test
controls live here under one lock; time comes from an injectable clock so that
tests never sleep.
"""

import datetime
import itertools
import re
import secrets
import threading
import time
import xmlrpc.client
from dataclasses import dataclass, field

import paysandbox_reports as reports

# Fault codes and texts of the service.  810 "Wrong session" is the one the
# client reacts to (it logs in again); the others are shown to the user.
WRONG_SESSION = (810, "Wrong session")
LOGIN_FAILED = (800, "Invalid user name, domain or password")
WRONG_PARAMS = (820, "Wrong parameters of %s: %s")
UNKNOWN_METHOD = (821, "Unknown method: %s")
UNKNOWN_QUERY = (830, "Unknown query")
WRONG_QUERY_PARAMS = (831, "Wrong query parameters: %s")
UNKNOWN_CLIENT = (840, "Client %d not found")
NO_CLIENT_OPEN = (841, "No client database is open")
UNKNOWN_COMPANY = (842, "Company %d not found")
UNKNOWN_PAYROLL = (843, "Payroll %d not found")
UNKNOWN_REPORT = (850, "Unknown report: %s")
WRONG_REPORT_PARAMS = (851, "Wrong report parameters: %s")
UNKNOWN_TASK = (860, "Task %s not found")
TASK_NOT_FINISHED = (861, "Task %s is not finished yet")
TOO_MANY_TASKS = (862, "Too many tasks; delete finished tasks first")
MALFORMED_REQUEST = (870, "Malformed request: %s")
INTERNAL_ERROR = (890, "Internal server error")

MAX_SESSIONS = 1000
MAX_TASKS_PER_USER = 100
MAX_PAYROLLS_PER_REPORT = 1000
MAX_CALL_LOG = 1000
MAX_LOGGED_BYTES = 64 * 1024

CONTROL_PREFIX = "sandbox."


def fault(entry, *args):
    code, text = entry
    return xmlrpc.client.Fault(code, text % args if args else text)


def printable(text, limit=200):
    """Client text echoed in a fault: no control characters, bounded length."""
    text = "".join(ch if ch >= " " or ch in "\t" else "?" for ch in str(text))
    return text if len(text) <= limit else text[:limit] + "..."


@dataclass(frozen=True)
class User:
    name: str
    domain: str
    password: str


DEFAULT_USERS = (User("demo", "", "demo"), User("clerk", "harbor", "clerk"))


def parse_user(text):
    """NAME[@DOMAIN]:PASSWORD, as given on the command line."""
    login, sep, password = text.partition(":")
    if not sep or not login:
        raise ValueError(f"'{text}' is not NAME[@DOMAIN]:PASSWORD")
    name, _, domain = login.partition("@")
    if not name:
        raise ValueError(f"'{login}' has no user name")
    return User(name, domain, password)


@dataclass
class Session:
    sid: str
    user: User
    last_used: float
    calls: int = 0
    client: int = None


@dataclass
class Task:
    tid: str
    user: User
    report: str
    ready_at: float
    kind: str  # "ASCII" or "ERROR", or what a test asked for
    text: str
    fetched: bool = False


@dataclass
class ImportTask:
    tid: str
    user: User
    results: list


@dataclass
class Injection:
    method: str  # "" for any method
    count: int
    fault: tuple = None
    answer: str = ""  # transport-level answer kind, see orvq_paysandbox
    seconds: float = 0.0

    def matches(self, method):
        return self.method in ("", method)


# Parameter kinds for the signature checks.
INT, STR, BOOL, STRUCT, ARRAY, BINARY, NUMBER = "int", "string", "boolean", "struct", "array", "base64", "number"


def _kind_ok(value, kind):
    if kind == INT:
        return type(value) is int
    if kind == STR:
        return isinstance(value, str)
    if kind == BOOL:
        return isinstance(value, bool)
    if kind == STRUCT:
        return isinstance(value, dict)
    if kind == ARRAY:
        return isinstance(value, list)
    if kind == BINARY:
        return isinstance(value, xmlrpc.client.Binary)
    if kind == NUMBER:
        return type(value) in (int, float)
    return False


def check_params(method, params, required, optional=()):
    if not required and not optional and params:
        raise fault(WRONG_PARAMS, method, f"expected no parameters, got {len(params)}")
    if not len(required) <= len(params) <= len(required) + len(optional):
        want = str(len(required)) if not optional else f"{len(required)} to {len(required) + len(optional)}"
        raise fault(WRONG_PARAMS, method, f"expected {want} parameters, got {len(params)}")
    for i, (value, kind) in enumerate(zip(params, tuple(required) + tuple(optional))):
        if not _kind_ok(value, kind):
            raise fault(WRONG_PARAMS, method, f"parameter {i + 1} is not of type {kind}")


def parse_date(text):
    """A date of the client's short-date format (month/day/year) or ISO."""
    text = text.strip()
    m = re.fullmatch(r"(\d{1,2})/(\d{1,2})/(\d{2}|\d{4})", text)
    try:
        if m:
            month, day, year = (int(g) for g in m.groups())
            if len(m.group(3)) == 2:
                year += 2000 if year < 50 else 1900
            return datetime.date(year, month, day)
        m = re.fullmatch(r"(\d{4})-(\d{2})-(\d{2})", text)
        if m:
            return datetime.date(*(int(g) for g in m.groups()))
    except ValueError:
        pass
    return None


def dataset(table, columns, rows):
    """The query result layout: "DATASET" with "meta" (columns by key) and
    "val" (rows by name, values by column key); "val" is an empty string when
    there are no rows."""
    keys = [f"c{i + 1}" for i in range(len(columns))]
    meta = {}
    for key, (name, tp, size, nullable) in zip(keys, columns):
        meta[key] = {"tb": table, "nm": name, "tp": tp, "sz": size, "nl": 1 if nullable else 0}
    val = {f"r{j + 1}": dict(zip(keys, row)) for j, row in enumerate(rows)} if rows else ""
    return {"DATASET": {"meta": meta, "val": val}}


TP_INTEGER, TP_VARCHAR, TP_TIMESTAMP = 4, 12, 93


def _datetime(date):
    return xmlrpc.client.DateTime(datetime.datetime(date.year, date.month, date.day))


class Service:
    def __init__(self, data, users=DEFAULT_USERS, task_delay=0.0, session_timeout=0.0,
                 expire_after_calls=0, clock=time.monotonic):
        self.data = data
        self.users = tuple(users)
        self.clock = clock
        self.start_task_delay = task_delay
        self.session_timeout = session_timeout
        self.expire_after_calls = expire_after_calls
        self.lock = threading.Lock()
        self.task_numbers = itertools.count(1001)
        self._reset_locked()

    # ----- test controls -------------------------------------------------

    def reset(self):
        with self.lock:
            self._reset_locked()

    def _reset_locked(self):
        self.sessions = {}
        self.tasks = {}
        self.import_tasks = {}
        self.injections = []
        self.next_report = None
        self.task_delay = self.start_task_delay
        self.call_log = []

    def control(self, method, params):
        name = method[len(CONTROL_PREFIX):]
        with self.lock:
            if name == "reset":
                check_params(method, params, ())
                self._reset_locked()
                return True
            if name == "expireSessions":
                check_params(method, params, ())
                count = len(self.sessions)
                self.sessions.clear()
                return count
            if name == "failNext":
                check_params(method, params, (STR, INT, STR), (INT,))
                count = params[3] if len(params) > 3 else 1
                self.injections.append(Injection(params[0], max(count, 1), fault=(params[1], params[2])))
                return True
            if name == "answerNext":
                check_params(method, params, (STR,), (STR, NUMBER))
                kind = params[0]
                if kind not in ANSWER_KINDS:
                    raise fault(WRONG_PARAMS, method, f"unknown answer '{printable(kind)}'")
                seconds = float(params[2]) if len(params) > 2 else 0.0
                self.injections.append(Injection(params[1] if len(params) > 1 else "", 1, answer=kind,
                                                 seconds=min(max(seconds, 0.0), 3600.0)))
                return True
            if name == "setTaskDelay":
                check_params(method, params, (NUMBER,))
                self.task_delay = max(float(params[0]), 0.0)
                return True
            if name == "finishTasks":
                check_params(method, params, ())
                now = self.clock()
                for task in self.tasks.values():
                    task.ready_at = min(task.ready_at, now)
                return len(self.tasks)
            if name == "setNextReport":
                check_params(method, params, (STR, STR))
                self.next_report = (params[0], params[1])
                return True
            if name == "calls":
                check_params(method, params, ())
                return [dict(entry) for entry in self.call_log]
            if name == "tasks":
                check_params(method, params, ())
                now = self.clock()
                return [
                    {"id": t.tid, "user": t.user.name, "report": t.report,
                     "finished": now >= t.ready_at, "fetched": t.fetched}
                    for t in self.tasks.values()
                ]
            if name == "sessions":
                check_params(method, params, ())
                return len(self.sessions)
        raise fault(UNKNOWN_METHOD, printable(method))

    def take_injection(self, method):
        """The armed fault or answer for this call of METHOD, if any."""
        with self.lock:
            for inj in self.injections:
                if inj.matches(method):
                    inj.count -= 1
                    if inj.count <= 0:
                        self.injections.remove(inj)
                    return inj
        return None

    # ----- the service ---------------------------------------------------

    def call(self, method, params):
        if method.startswith(CONTROL_PREFIX):
            return self.control(method, params)
        if method not in self.METHODS:
            raise fault(UNKNOWN_METHOD, printable(method))
        with self.lock:
            self._log_call(method, params)
            if method == "orv.sb.connect":
                return self._connect(method, params)
            session = self._session(params)
            return self.METHODS[method](self, method, session, params[1:])

    def _log_call(self, method, params):
        session = params[0] if method != "orv.sb.connect" and params and isinstance(params[0], str) else ""
        args = list(params[1:]) if method != "orv.sb.connect" else list(params[:2])
        self.call_log.append({"method": method, "session": session, "params": _loggable(args)})
        del self.call_log[:-MAX_CALL_LOG]

    def _session(self, params):
        if not params or not isinstance(params[0], str):
            raise fault(WRONG_SESSION)
        session = self.sessions.get(params[0])
        now = self.clock()
        if session is None:
            raise fault(WRONG_SESSION)
        if self.session_timeout and now - session.last_used > self.session_timeout:
            del self.sessions[session.sid]
            raise fault(WRONG_SESSION)
        if self.expire_after_calls and session.calls >= self.expire_after_calls:
            del self.sessions[session.sid]
            raise fault(WRONG_SESSION)
        session.calls += 1
        session.last_used = now
        return session

    def _connect(self, method, params):
        check_params(method, params, (STR, STR, STR), (STR,))
        name, password = params[1], params[2]
        domain = params[3] if len(params) > 3 else ""
        user = next(
            (u for u in self.users
             if u.name.lower() == name.lower() and u.domain.lower() == domain.lower() and u.password == password),
            None,
        )
        if user is None:
            raise fault(LOGIN_FAILED)
        if len(self.sessions) >= MAX_SESSIONS:
            oldest = min(self.sessions.values(), key=lambda s: s.last_used)
            del self.sessions[oldest.sid]
        sid = secrets.token_hex(16)
        self.sessions[sid] = Session(sid, user, self.clock())
        return {"SESSION": sid}

    def _disconnect(self, method, session, args):
        check_params(method, args, ())
        del self.sessions[session.sid]
        return True

    def _open_client(self, method, session, args):
        check_params(method, args, (INT,))
        if self.data.client(args[0]) is None:
            raise fault(UNKNOWN_CLIENT, args[0])
        session.client = args[0]
        return True

    # Stored queries: recognised by the name in the file, or by its table.
    QUERY_PATTERNS = (
        ("clients", re.compile(r"\bqClList\b|\bFROM\s+CLIENTS\b", re.I)),
        ("companies", re.compile(r"\bqCoList\b|\bFROM\s+COMPANIES\b", re.I)),
        ("payrolls", re.compile(r"\bqPrList\b|\bFROM\s+PAYROLLS\b", re.I)),
    )

    def _run_query(self, method, session, args):
        check_params(method, args, (BINARY, STR), (STRUCT,))
        text = args[0].data.decode("utf-8", errors="replace")
        query = next((name for name, pattern in self.QUERY_PATTERNS if pattern.search(text)), None)
        if query is None:
            raise fault(UNKNOWN_QUERY)
        query_params = args[2] if len(args) > 2 else {}
        if query == "clients":
            return dataset(
                "CL",
                [("CL_NBR", TP_INTEGER, 0, False), ("CUSTOM_CLIENT_NUMBER", TP_VARCHAR, 20, False),
                 ("NAME", TP_VARCHAR, 40, True)],
                [(c.cl_nbr, c.number, c.name) for c in self.data.clients],
            )
        if query == "companies":
            return dataset(
                "CO",
                [("CL_NBR", TP_INTEGER, 0, False), ("CO_NBR", TP_INTEGER, 0, False),
                 ("CUSTOM_COMPANY_NUMBER", TP_VARCHAR, 20, False), ("NAME", TP_VARCHAR, 40, True)],
                [(c.cl_nbr, c.co_nbr, c.number, c.name) for c in self.data.companies],
            )
        bounds = []
        for key in ("CHECK_DATE_FROM", "CHECK_DATE_TO"):
            value = query_params.get(key)
            if not isinstance(value, str):
                raise fault(WRONG_QUERY_PARAMS, f"{key} is missing or not a string")
            date = parse_date(value)
            if date is None:
                raise fault(WRONG_QUERY_PARAMS, f"{key} '{printable(value)}' is not a date")
            bounds.append(date)
        return dataset(
            "PR",
            [("CL_NBR", TP_INTEGER, 0, False), ("CO_NBR", TP_INTEGER, 0, False), ("PR_NBR", TP_INTEGER, 0, False),
             ("CHECK_DATE", TP_TIMESTAMP, 0, False), ("RUN_NUMBER", TP_INTEGER, 0, False),
             ("PAYROLL_TYPE", TP_VARCHAR, 20, True), ("STATUS", TP_VARCHAR, 40, True)],
            [(p.cl_nbr, p.co_nbr, p.pr_nbr, _datetime(p.check_date), p.run_number, p.payroll_type, p.status)
             for p in self.data.payrolls_between(*bounds)],
        )

    def _report_payrolls(self, params):
        """The payrolls a report definition names, checked against its company."""
        company_nbr = params.get("Company")
        if type(company_nbr) is not int:
            raise fault(WRONG_REPORT_PARAMS, "Company is missing or not an int")
        company = self.data.company(company_nbr)
        if company is None:
            raise fault(UNKNOWN_COMPANY, company_nbr)
        for key, wanted in (("Clients", company.cl_nbr), ("Companies", company.co_nbr)):
            if key in params:
                value = params[key]
                if not isinstance(value, list) or any(type(v) is not int for v in value):
                    raise fault(WRONG_REPORT_PARAMS, f"{key} is not an array of int")
                if wanted not in value:
                    raise fault(WRONG_REPORT_PARAMS, f"{key} does not hold {wanted}")
        numbers = params.get("Payrolls")
        if not isinstance(numbers, list) or any(type(v) is not int for v in numbers):
            raise fault(WRONG_REPORT_PARAMS, "Payrolls is missing or not an array of int")
        if not numbers:
            raise fault(WRONG_REPORT_PARAMS, "Payrolls is empty")
        if len(numbers) > MAX_PAYROLLS_PER_REPORT:
            raise fault(WRONG_REPORT_PARAMS, f"more than {MAX_PAYROLLS_PER_REPORT} payrolls")
        payrolls = []
        for nbr in numbers:
            payroll = self.data.payroll_by_nbr.get(nbr)
            if payroll is None:
                raise fault(UNKNOWN_PAYROLL, nbr)
            if payroll.co_nbr != company.co_nbr:
                raise fault(WRONG_REPORT_PARAMS, f"payroll {nbr} is not one of company {company.co_nbr}")
            payrolls.append(payroll)
        return payrolls

    def _report_text(self, number, params):
        payrolls = self._report_payrolls(params)
        if number == 1910:
            return reports.employee_checks(self.data, payrolls)
        if number == 1911:
            return reports.agency_checks(self.data, payrolls)
        options = {}
        for key, kind, default in (("Format", INT, reports.FORMAT_CSV),
                                   ("bExcludeManualChecks", BOOL, False), ("bBillingByDBDT", BOOL, False)):
            value = params.get(key, default)
            if not _kind_ok(value, kind):
                raise fault(WRONG_REPORT_PARAMS, f"{key} is not of type {kind}")
            options[key] = value
        if options["Format"] not in reports.FORMATS:
            raise fault(WRONG_REPORT_PARAMS, f"Format {options['Format']} is not supported")
        return reports.journal(self.data, payrolls, options["Format"], options["bExcludeManualChecks"],
                               options["bBillingByDBDT"])

    def _user_tasks(self, user):
        return [t for t in self.tasks.values() if t.user == user]

    def _run_report(self, method, session, args):
        check_params(method, args, (INT, STRUCT, STR))
        number, params, kind = args
        name = f"{printable(kind, 10)}{number}"
        if kind != "S" or number not in (1910, 1911, 348):
            raise fault(UNKNOWN_REPORT, name)
        if len(self._user_tasks(session.user)) >= MAX_TASKS_PER_USER:
            raise fault(TOO_MANY_TASKS)
        try:
            text, result_type = self._report_text(number, params), "ASCII"
        except reports.ReportError as e:
            text, result_type = str(e), "ERROR"
        if self.next_report is not None:
            (result_type, text), self.next_report = self.next_report, None
        tid = str(next(self.task_numbers))
        self.tasks[tid] = Task(tid, session.user, name, self.clock() + self.task_delay, result_type, text)
        return tid

    def _task(self, method, session, args):
        check_params(method, args, (STR,))
        task = self.tasks.get(args[0])
        # Tasks belong to the user, not the session: a client that logged in
        # again after a lost session goes on polling its task.
        if task is None or task.user != session.user:
            raise fault(UNKNOWN_TASK, printable(args[0], 40))
        return task

    def _is_task_finished(self, method, session, args):
        return self.clock() >= self._task(method, session, args).ready_at

    def _delete_task(self, method, session, args):
        del self.tasks[self._task(method, session, args).tid]
        return True

    def _get_report(self, method, session, args):
        task = self._task(method, session, args)
        if self.clock() < task.ready_at:
            raise fault(TASK_NOT_FINISHED, task.tid)
        task.fetched = True
        return {"Type": task.kind, "Report": xmlrpc.client.Binary(task.text.encode("utf-8"))}

    # ----- the calls no workflow of the program makes ----------------------

    def _open_client_of(self, session, method):
        if session.client is None:
            raise fault(NO_CLIENT_OPEN)
        return session.client

    def _tc_import(self, method, session, args):
        check_params(method, args, (INT, INT, BINARY, STRUCT, INT))
        cl_nbr = self._open_client_of(session, method)
        co_nbr, pr_nbr, file_data, options, _batch = args
        company = self.data.company(co_nbr)
        if company is None or company.cl_nbr != cl_nbr:
            raise fault(UNKNOWN_COMPANY, co_nbr)
        payroll = self.data.payroll_by_nbr.get(pr_nbr)
        if payroll is None or payroll.co_nbr != co_nbr:
            raise fault(UNKNOWN_PAYROLL, pr_nbr)
        for key, kind in (("LookupOption", INT), ("DBDTOption", INT), ("FourDigitYear", BOOL),
                          ("FileFormat", INT), ("AutoImportJobCodes", BOOL), ("UseEmployeePayRates", BOOL)):
            if not _kind_ok(options.get(key), kind):
                raise fault(WRONG_PARAMS, method, f"option {key} is missing or not of type {kind}")
        # A time clock line needs an employee and hours: comma-separated, or
        # fixed positions with the hours after column 20.
        comma = options["FileFormat"] == 1
        rejected, log = 0, []
        lines = file_data.data.decode("utf-8", errors="replace").splitlines()
        for number, line in enumerate(lines, 1):
            if not line.strip():
                continue
            fields = [f.strip() for f in line.split(",")] if comma else [line[:20].strip(), line[20:].strip()]
            ok = len(fields) >= 2 and fields[0] != "" and _is_number(fields[1])
            if not ok:
                rejected += 1
                log.append(f"Line {number} rejected: {printable(line, 80)}")
        log.append(f"{len([l for l in lines if l.strip()]) - rejected} records imported, {rejected} rejected")
        return {"RejectedRecords": rejected, "LogFile": xmlrpc.client.Binary("\r\n".join(log).encode("utf-8"))}

    def _post_table_changes(self, method, session, args):
        check_params(method, args, (STRUCT,))
        self._open_client_of(session, method)
        return {"Applied": len(args[0])}

    def _orvx_import(self, method, session, args):
        check_params(method, args, (ARRAY, BINARY))
        files, map_file = args
        if not map_file.data.strip():
            return {"taskNbr": "-1", "errorLog": "Map file is empty"}
        results = []
        for i, item in enumerate(files):
            if not isinstance(item, dict) or not isinstance(item.get("fileName"), str) \
                    or not isinstance(item.get("fileData"), xmlrpc.client.Binary):
                raise fault(WRONG_PARAMS, method, f"file #{i + 1} needs fileName and fileData")
            rows = [r for r in item["fileData"].data.decode("utf-8", errors="replace").splitlines() if r.strip()]
            bad = [r for r in rows if "," not in r]
            errors = "".join(f"Row without fields: {printable(r, 80)}\r\n" for r in bad)
            results.append({"inputRowsAmount": len(rows), "importedRowsAmount": len(rows) - len(bad),
                            "errorsList": xmlrpc.client.Binary(errors.encode("utf-8")),
                            "realErrorsAmount": len(bad), "warningsAmount": 0})
        tid = str(next(self.task_numbers))
        self.import_tasks[tid] = ImportTask(tid, session.user, results)
        return {"taskNbr": tid, "errorLog": ""}

    def _orvx_results(self, method, session, args):
        check_params(method, args, (STR,))
        task = self.import_tasks.get(args[0])
        if task is None or task.user != session.user:
            raise fault(UNKNOWN_TASK, printable(args[0], 40))
        return task.results

    METHODS = {
        "orv.sb.connect": None,  # handled before the session check
        "orv.disconnect": _disconnect,
        "orv.sb.openClient": _open_client,
        "orv.runQBQuery": _run_query,
        "orv.taskQueue.runReport": _run_report,
        "orv.taskQueue.isTaskFinished": _is_task_finished,
        "orv.taskQueue.deleteTask": _delete_task,
        "orv.taskQueue.getReport": _get_report,
        "orv.sb.TCImport": _tc_import,
        "orv.legacy.postTableChanges": _post_table_changes,
        "orv.taskQueue.orvXImport": _orvx_import,
        "orv.taskQueue.getOrvXImportResults": _orvx_results,
    }


def _loggable(value):
    """VALUE as the call log keeps it: bounded, and writable as XML-RPC."""
    if isinstance(value, xmlrpc.client.Binary):
        return value if len(value.data) <= MAX_LOGGED_BYTES else xmlrpc.client.Binary(value.data[:MAX_LOGGED_BYTES])
    if isinstance(value, dict):
        return {k: _loggable(v) for k, v in value.items()}
    if isinstance(value, list):
        return [_loggable(v) for v in value]
    if value is None:
        return ""
    if type(value) is int and not -2**31 <= value < 2**31:
        return str(value)
    if isinstance(value, str) and len(value) > MAX_LOGGED_BYTES:
        return value[:MAX_LOGGED_BYTES]
    return value


def _is_number(text):
    try:
        float(text)
        return True
    except ValueError:
        return False


# Answers the transport can be told to give instead of the real one.
ANSWER_KINDS = ("html", "empty", "status500", "drop", "silent", "badvalue", "drip")

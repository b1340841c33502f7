#!/usr/bin/env python3
"""The sandbox payroll service: XML-RPC over HTTPS with a required client
certificate, standard library only.  See README.md beside this file.

Prints the port it listens on as the first line of its standard output, then
serves until SIGTERM or SIGINT (or, with --watch-stdin, until its standard
input closes).
"""

import argparse
import http.server
import os
import signal
import socket
import socketserver
import ssl
import sys
import threading
import time
import traceback
import xmlrpc.client

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import gencerts  # noqa: E402
import paysandbox_data  # noqa: E402
import paysandbox_reports  # noqa: E402
import paysandbox_service as service_mod  # noqa: E402

DEFAULT_DATA = os.path.join(HERE, os.pardir, os.pardir, "data", "demo", "company.json")
DEFAULT_PORT = 9943
MAX_BODY = 64 * 1024 * 1024
IO_TIMEOUT = 300.0

# Answers that contain no "xml" anywhere, as a proxy's or web server's would.
HTML_PAGE = (b"<html><head><title>502 Bad Gateway</title></head>"
             b"<body><h1>Bad Gateway</h1><p>The payroll service is not available.</p></body></html>")
BAD_VALUE = (b"<?xml version='1.0'?>\n<methodResponse>\n<params>\n<param>\n"
             b"<value><int>not a number</int></value>\n</param>\n</params>\n</methodResponse>\n")


def fault_answer(fault):
    return xmlrpc.client.dumps(fault, methodresponse=True).encode("utf-8")


def result_answer(value):
    return xmlrpc.client.dumps((value,), methodresponse=True, allow_none=False).encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OrvaneSandbox/1.0"
    sys_version = ""

    def do_POST(self):
        self.close_connection = True
        length = self.headers.get("Content-Length")
        if length is None or not length.strip().isdigit():
            return self.send_plain(411, b"Content-Length required")
        length = int(length)
        if length > MAX_BODY:
            return self.send_plain(413, b"Request too large")
        body = self.rfile.read(length)
        if len(body) != length:
            return
        method, answer = self.server.answer(body)
        if isinstance(answer, bytes):
            return self.send_body(200, "text/xml", answer)
        kind, seconds = answer[:2]
        self.server.log(f"{method}: answering '{kind}'")
        if kind == "drip":
            self.send_dripping(answer[2], seconds)
        elif kind == "html":
            self.send_body(200, "text/html", HTML_PAGE)
        elif kind == "status500":
            self.send_body(500, "text/html", HTML_PAGE.replace(b"502 Bad Gateway", b"500 Internal Server Error"))
        elif kind == "empty":
            self.send_body(200, "text/xml", b"")
        elif kind == "badvalue":
            self.send_body(200, "text/xml", BAD_VALUE)
        elif kind == "silent":
            # Hold the connection open without a word, then hang up.
            self.server.stopping.wait(seconds)
        # "drop" and "silent" close the connection without an answer.

    def do_GET(self):
        self.close_connection = True
        self.send_plain(405, b"The payroll service answers XML-RPC calls by POST only")

    def send_dripping(self, body, seconds):
        head = (f"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: {len(body)}\r\n"
                f"Connection: close\r\n\r\n").encode("ascii")
        for byte in head + body:
            if self.server.stopping.is_set():
                return
            self.wfile.write(bytes((byte,)))
            self.server.stopping.wait(seconds)

    def send_plain(self, status, text):
        self.send_body(status, "text/plain", text)

    def send_body(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, fmt, *args):
        self.server.log(fmt % args)


class SandboxServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, service, tls, control=True, verbose=False):
        self.service = service
        self.tls = tls
        self.control = control
        self.verbose = verbose
        self.stopping = threading.Event()
        super().__init__(address, Handler)

    def server_bind(self):
        # HTTPServer would look the host name up; starting must be fast.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def finish_request(self, request, client_address):
        # The TLS handshake runs here, in the connection's own thread, so a
        # slow or silent client never holds up the others.
        request.settimeout(IO_TIMEOUT)
        try:
            conn = self.tls.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            self.log(f"TLS handshake with {client_address[0]} failed: {e}")
            return
        try:
            self.RequestHandlerClass(conn, client_address, self)
        finally:
            try:
                conn.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        self.log(f"connection from {client_address[0]} failed:\n{traceback.format_exc()}")

    def log(self, text):
        if self.verbose:
            print(text, file=sys.stderr, flush=True)

    def answer(self, body):
        """(method name, answer): the answer is the response body, or a
        transport-level answer kind with its seconds."""
        # XML-RPC needs no document type; refusing it keeps entity tricks out.
        if b"<!DOCTYPE" in body or b"<!ENTITY" in body:
            return "", fault_answer(service_mod.fault(service_mod.MALFORMED_REQUEST, "document type not allowed"))
        try:
            params, method = xmlrpc.client.loads(body, use_builtin_types=False)
        except Exception as e:  # expat and unmarshaller errors alike
            return "", fault_answer(service_mod.fault(service_mod.MALFORMED_REQUEST,
                                                      service_mod.printable(type(e).__name__ + ": " + str(e))))
        if not isinstance(method, str) or not method:
            return "", fault_answer(service_mod.fault(service_mod.MALFORMED_REQUEST, "not a method call"))
        is_control = method.startswith(service_mod.CONTROL_PREFIX)
        if is_control and not self.control:
            return method, fault_answer(service_mod.fault(service_mod.UNKNOWN_METHOD, service_mod.printable(method)))
        injection = None
        if not is_control:
            injection = self.service.take_injection(method)
            if injection is not None and injection.fault is not None:
                self.log(f"{method}: injected fault {injection.fault}")
                return method, fault_answer(xmlrpc.client.Fault(*injection.fault))
            if injection is not None and injection.answer != "drip":
                return method, (injection.answer, injection.seconds)
        try:
            result = self.service.call(method, list(params))
            answer = result_answer(result)
            self.log(f"{method}: ok")
        except xmlrpc.client.Fault as f:
            self.log(f"{method}: fault {f.faultCode} {f.faultString}")
            answer = fault_answer(f)
        except Exception:
            print(f"{method}: internal error\n{traceback.format_exc()}", file=sys.stderr, flush=True)
            answer = fault_answer(service_mod.fault(service_mod.INTERNAL_ERROR))
        if injection is not None:
            return method, ("drip", injection.seconds, answer)
        return method, answer


def tls_context(certs_dir, openssl="openssl"):
    paths = gencerts.ensure_certs(certs_dir, openssl)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(paths[gencerts.SERVER_FILE])
    context.load_verify_locations(paths[gencerts.CA_FILE])
    context.verify_mode = ssl.CERT_REQUIRED
    return context


def print_report(data, args):
    payrolls = []
    for text in args.payrolls.split(","):
        if not text.strip().isdigit() or int(text) not in data.payroll_by_nbr:
            raise ValueError(f"payroll '{text.strip()}' not found")
        payrolls.append(data.payroll_by_nbr[int(text)])
    if args.print_report == 1910:
        text = paysandbox_reports.employee_checks(data, payrolls)
    elif args.print_report == 1911:
        text = paysandbox_reports.agency_checks(data, payrolls)
    elif args.print_report == 348:
        text = paysandbox_reports.journal(data, payrolls, args.format, args.exclude_manual_checks,
                                          args.billing_by_dbdt)
    else:
        raise ValueError(f"unknown report S{args.print_report}")
    sys.stdout.buffer.write(text.encode("utf-8"))


def print_companies(data):
    """One line a company: CL_NBR, CO_NBR, code and name, tab-separated."""
    for c in data.companies:
        sys.stdout.write(f"{c.cl_nbr}\t{c.co_nbr}\t{c.code}\t{c.name}\n")


def parse_args(argv):
    p = argparse.ArgumentParser(description="Sandbox Orvane payroll service (XML-RPC over HTTPS).")
    p.add_argument("--host", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    p.add_argument("--port", type=int, default=DEFAULT_PORT, help="port; 0 picks a free one (default 9943)")
    p.add_argument("--certs", help="folder of server-ca.pem, server.pem, client.pem; made when missing")
    p.add_argument("--openssl", default="openssl", help="openssl program used to make certificates")
    p.add_argument("--data", default=DEFAULT_DATA, help="demo company description (data/demo/company.json)")
    p.add_argument("--companies", type=int, default=0, metavar="N",
                   help=f"also serve N generated client companies, 0 to {paysandbox_data.MAX_GENERATED} "
                        "(one client each, a Regular payroll every Friday, the demo company's employees "
                        "and accounts; the same at every start with the same --seed)")
    p.add_argument("--seed", type=int, default=paysandbox_data.DEFAULT_SEED,
                   help=f"seed of the generated companies' names and pay (default {paysandbox_data.DEFAULT_SEED})")
    p.add_argument("--print-companies", action="store_true",
                   help="print every company (CL_NBR, CO_NBR, code, name; tab-separated) and exit")
    p.add_argument("--user", action="append", metavar="NAME[@DOMAIN]:PASSWORD",
                   help="a user who may log in (repeatable; default demo:demo and clerk@harbor:clerk)")
    p.add_argument("--task-delay", type=float, default=5.0, help="seconds a report task runs (default 5)")
    p.add_argument("--session-timeout", type=float, default=0.0,
                   help="seconds of idleness after which a session is lost (default 0: never)")
    p.add_argument("--expire-after-calls", type=int, default=0,
                   help="lose every session after this many calls (default 0: never)")
    p.add_argument("--no-control", action="store_true", help="refuse the sandbox.* control methods")
    p.add_argument("--watch-stdin", action="store_true", help="stop when standard input closes")
    p.add_argument("--verbose", action="store_true", help="log every call on standard error")
    p.add_argument("--print-report", type=int, metavar="NUMBER",
                   help="print report 1910, 1911 or 348 of --payrolls and exit")
    p.add_argument("--payrolls", default="", help="payroll numbers for --print-report, comma-separated")
    p.add_argument("--format", type=int, default=paysandbox_reports.FORMAT_CSV,
                   help="journal layout for --print-report: 1 comma-separated, 2 fixed-width")
    p.add_argument("--exclude-manual-checks", action="store_true")
    p.add_argument("--billing-by-dbdt", action="store_true")
    return p.parse_args(argv)


def main(argv=None):
    args = parse_args(argv)
    try:
        data = paysandbox_data.load(args.data, companies=args.companies, seed=args.seed)
    except paysandbox_data.DataError as e:
        print(f"orvq_paysandbox: {e}", file=sys.stderr)
        return 2
    if args.print_companies:
        print_companies(data)
        return 0
    if args.print_report is not None:
        try:
            print_report(data, args)
        except (ValueError, paysandbox_reports.ReportError) as e:
            print(f"orvq_paysandbox: {e}", file=sys.stderr)
            return 2
        return 0
    if not args.certs:
        print("orvq_paysandbox: --certs is required", file=sys.stderr)
        return 2
    try:
        users = [service_mod.parse_user(u) for u in args.user] if args.user else service_mod.DEFAULT_USERS
        context = tls_context(args.certs, args.openssl)
        service = service_mod.Service(data, users, task_delay=max(args.task_delay, 0.0),
                                      session_timeout=max(args.session_timeout, 0.0),
                                      expire_after_calls=max(args.expire_after_calls, 0))
        server = SandboxServer((args.host, args.port), service, context, not args.no_control, args.verbose)
    except (ValueError, OSError, ssl.SSLError, gencerts.CertError) as e:
        print(f"orvq_paysandbox: {e}", file=sys.stderr)
        return 2

    # The signal handlers only set a flag: taking a lock there could meet
    # the main thread holding it.
    stopped = []

    def on_signal(signum, frame):
        stopped.append(signum)

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    if args.watch_stdin:
        def watch():
            # The raw descriptor: a buffered reader still busy in this daemon
            # thread would abort the interpreter's exit.
            try:
                while os.read(sys.stdin.fileno(), 4096):
                    pass
            except OSError:
                pass
            stopped.append("stdin")
        threading.Thread(target=watch, daemon=True).start()

    worker = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
    worker.start()
    port = server.server_address[1]
    print(port, flush=True)
    print(f"orvq_paysandbox: listening on https://{args.host}:{port}", file=sys.stderr, flush=True)
    while not stopped:
        time.sleep(0.1)
    server.stopping.set()
    server.shutdown()
    server.server_close()
    worker.join()
    return 0


if __name__ == "__main__":
    sys.exit(main())

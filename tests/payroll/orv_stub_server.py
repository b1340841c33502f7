# A scripted stand-in for the payroll service, for the connection tests.
# Usage: orv_stub_server.py SCRIPT CALLLOG CERT KEY [CLIENT_CA]
# SCRIPT is JSON: {method: [answer, ...]}; each call takes the next answer of
# its method, the last one repeating. An answer is one of
#   {"result": VALUE}   VALUE in JSON; {"$b64": text} is base64,
#                       {"$date": "20260115T00:00:00"} a date-time
#   {"fault": [code, text]}
#   {"body": text}      the HTTP body as it is (not XML-RPC)
#   {"status": code}    an HTTP error status with an HTML page
# Methods without answers get a fault 999. Every call is appended to CALLLOG
# as one JSON line {"method": ..., "params": [...]} (base64 as {"$b64": text}).
# Prints the port on the first line, then serves until killed.
import http.server
import json
import os
import socketserver
import ssl
import sys
import threading
import xmlrpc.client

script_path, log_path, cert, key = sys.argv[1:5]
client_ca = sys.argv[5] if len(sys.argv) > 5 else None
with open(script_path, encoding="utf-8") as f:
    script = json.load(f)
taken = {}
lock = threading.Lock()


def to_rpc(value):
    if isinstance(value, dict):
        if "$b64" in value:
            return xmlrpc.client.Binary(value["$b64"].encode("utf-8"))
        if "$date" in value:
            return xmlrpc.client.DateTime(value["$date"])
        return {k: to_rpc(v) for k, v in value.items()}
    if isinstance(value, list):
        return [to_rpc(v) for v in value]
    return value


def to_json(value):
    if isinstance(value, xmlrpc.client.Binary):
        return {"$b64": value.data.decode("utf-8", "replace")}
    if isinstance(value, xmlrpc.client.DateTime):
        return {"$date": value.value}
    if isinstance(value, dict):
        return {k: to_json(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [to_json(v) for v in value]
    return value


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def reply(self, status, body, content_type="text/xml"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        params, method = xmlrpc.client.loads(body, use_builtin_types=False)
        with lock:
            with open(log_path, "a", encoding="utf-8") as log:
                log.write(json.dumps({"method": method, "params": to_json(params)}) + "\n")
            answers = script.get(method, [])
            index = taken.get(method, 0)
            taken[method] = index + 1
        if not answers:
            answer = {"fault": [999, "no answer scripted for " + method]}
        else:
            answer = answers[min(index, len(answers) - 1)]
        if "status" in answer:
            page = b"<html><body><h1>Internal error</h1></body></html>"
            self.reply(answer["status"], page, "text/html")
        elif "body" in answer:
            self.reply(200, answer["body"].encode("utf-8"), "text/html")
        elif "fault" in answer:
            fault = xmlrpc.client.Fault(answer["fault"][0], answer["fault"][1])
            self.reply(200, xmlrpc.client.dumps(fault, methodresponse=True).encode("utf-8"))
        else:
            value = to_rpc(answer["result"])
            self.reply(200, xmlrpc.client.dumps((value,), methodresponse=True,
                                                allow_none=False).encode("utf-8"))

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass


def exit_with_parent():
    # The test program holds our stdin; when it ends, however it ends, so do we.
    sys.stdin.read()
    os._exit(0)


threading.Thread(target=exit_with_parent, daemon=True).start()
server = Server(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
if client_ca:
    context.load_verify_locations(client_ca)
    context.verify_mode = ssl.CERT_REQUIRED
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()

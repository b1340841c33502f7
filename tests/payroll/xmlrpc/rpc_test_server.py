# A stand-in payroll server for the transport tests.
# Usage: rpc_test_server.py MODE [CERT KEY [CLIENT_CA]]
# MODE: echo (HTTPS), plain (HTTP, also serves as a forward proxy), idle (reads the request, never answers),
#       status500, silent (TCP socket that never accepts nor speaks),
#       drip (HTTPS, the echo's whole response sent one byte every 50 ms).
# Prints the port on the first line, then serves until killed.
import http.server
import socket
import socketserver
import ssl
import sys
import time
import xmlrpc.client

mode = sys.argv[1]

if mode == "silent":
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(5)
    print(s.getsockname()[1], flush=True)
    time.sleep(3600)
    sys.exit(0)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        if mode == "idle":
            time.sleep(3600)
        if mode == "status500":
            self.send_response(500)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        client = ""
        if hasattr(self.connection, "getpeercert"):
            peer = self.connection.getpeercert()
            if peer:
                client = dict(x[0] for x in peer["subject"]).get("commonName", "")
        info = {
            "path": self.path,
            "accept": self.headers["Accept"],
            "contentType": self.headers["Content-Type"],
            "connection": self.headers["Connection"],
            "contentLength": self.headers["Content-Length"],
            "client": client,
            "proxyAuthorization": self.headers.get("Proxy-Authorization", ""),
            "method": xmlrpc.client.loads(body)[1],
            "body": xmlrpc.client.Binary(body),
        }
        answer = xmlrpc.client.dumps((info,), methodresponse=True).encode("utf-8")
        if mode == "drip":
            head = ("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n"
                    % len(answer)).encode("ascii")
            for byte in head + answer:
                self.wfile.write(bytes((byte,)))
                time.sleep(0.05)
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass


server = Server(("127.0.0.1", 0), Handler)
if mode != "plain":
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2], sys.argv[3])
    if len(sys.argv) > 4:
        context.load_verify_locations(sys.argv[4])
        context.verify_mode = ssl.CERT_OPTIONAL
    server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()

"""A real FTP server for the tests and benchmarks, on loopback only.

Serves one user from a home folder, prints the port it listens on as the first
line of its output, and runs until it is killed. --no-epsv makes the server
refuse EPSV so clients must fall back to PASV. The other switches make it
misbehave the way real hosts do:

  --read-only FOLDER   FOLDER (relative to the home) and below: list and read only
  --fault stor553      every STOR is refused with 553
  --fault nodotstore   a STOR of a name that begins with a dot is refused with 553
  --fault diskfull     452 (disk full) once --after bytes of a file arrived
  --fault drop         both connections dropped once --after bytes arrived
  --fault stall        nothing more is read once --after bytes arrived
  --fault banner       the greeting "220-..." goes on for ever, never its last line
  --fault norename     RNFR is refused
  --throttle N         data connections receive at most N bytes a second

Explicit TLS (pyftpdlib's TLS handler, python3-openssl):

  --tls-cert PEM --tls-key PEM   offer AUTH TLS with this certificate
  --tls-control-required         refuse USER before AUTH TLS
  --tls-data-required            refuse transfers before PROT P
  --data-cert PEM --data-key PEM data connections show this other certificate
  --fault plaindata    PROT P is accepted but data connections stay plain
  --command-log FILE   every command received is appended to FILE (PASS too,
                       without its argument), for tests to see what was sent
"""
import argparse
import logging
import os
import socket
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler

try:
    from OpenSSL import SSL
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
except ImportError:  # python3-openssl missing: only plain FTP
    SSL = TLS_DTPHandler = TLS_FTPHandler = None
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", default="tester")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--perm", default="elradfmwMT")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--no-epsv", action="store_true")
    parser.add_argument("--read-only", action="append", default=[])
    parser.add_argument("--fault",
                        choices=["stor553", "nodotstore", "diskfull", "drop", "stall", "banner",
                                 "norename", "plaindata"])
    parser.add_argument("--after", type=int, default=100000)
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--tls-control-required", action="store_true")
    parser.add_argument("--tls-data-required", action="store_true")
    parser.add_argument("--data-cert")
    parser.add_argument("--data-key")
    parser.add_argument("--command-log")
    args = parser.parse_args()
    tls = bool(args.tls_cert)
    if tls and TLS_FTPHandler is None:
        sys.exit("TLS needs python3-openssl")

    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm=args.perm)
    for folder in args.read_only:
        authorizer.override_perm(args.user, os.path.join(args.home, folder), "elr", recursive=True)

    class Handler(TLS_FTPHandler if tls else FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            if args.command_log:
                with open(args.command_log, "a") as log:
                    log.write((cmd if cmd == "PASS" else line) + "\n")
            super().pre_process_command(line, cmd, arg)

    Handler.authorizer = authorizer
    if tls:
        Handler.certfile = args.tls_cert
        Handler.keyfile = args.tls_key or args.tls_cert
        Handler.tls_control_required = args.tls_control_required
        Handler.tls_data_required = args.tls_data_required

    data_context = None
    if args.data_cert:
        data_context = SSL.Context(SSL.TLS_SERVER_METHOD)
        data_context.use_certificate_chain_file(args.data_cert)
        data_context.use_privatekey_file(args.data_key or args.data_cert)
    if args.no_epsv:
        def refuse_epsv(self, line):
            self.respond("502 EPSV not implemented here.")
        Handler.ftp_EPSV = refuse_epsv

    base = TLS_DTPHandler if tls and args.fault != "plaindata" else DTPHandler

    class Data(base):
        def __init__(self, sock, cmd_channel):
            self.resting = False
            super().__init__(sock, cmd_channel)
            if args.throttle:
                # A slow line: a twentieth of a second's worth at a time,
                # evenly, so that bytes keep moving without bursts.
                self.ac_in_buffer_size = max(1, args.throttle // 20)
            if args.throttle or args.fault == "stall":
                # A line, not a server, is slow: with a small receive window
                # the bytes wait at the sender, as they do behind a real one.
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)

        def secure_connection(self, ssl_context):
            super().secure_connection(data_context or ssl_context)

        def readable(self):
            return not self.resting and super().readable()

        def rest(self):
            if self.resting:
                return
            def wake():
                self.resting = False
            self.resting = True
            self.ioloop.call_later(0.05, wake, _errback=self.handle_error)

        def handle_read(self):
            super().handle_read()
            if args.throttle and not self._closed:
                self.rest()
            if self.tot_bytes_received < args.after or self._closed:
                return
            if args.fault == "stall":
                self.resting = True  # for good: the line went dead
            elif args.fault == "diskfull":
                self._resp = ("452 Insufficient storage space; transfer aborted.", logging.warning)
                self.close()
            elif args.fault == "drop":
                self._resp = None
                cmd = self.cmd_channel
                self.close()
                cmd.close()

        handle_read_event = handle_read

    Handler.dtp_handler = Data

    if args.fault == "stor553":
        def refuse_stor(self, file, mode="w"):
            self.respond("553 Could not create file.")
        Handler.ftp_STOR = refuse_stor
    elif args.fault == "nodotstore":
        stor = Handler.ftp_STOR

        def refuse_hidden(self, file, mode="w"):
            if os.path.basename(file).startswith("."):
                self.respond("553 Prohibited file name.")
            else:
                stor(self, file, mode)
        Handler.ftp_STOR = refuse_hidden
    elif args.fault == "norename":
        def refuse_rnfr(self, path):
            self.respond("550 Renaming is not allowed here.")
        Handler.ftp_RNFR = refuse_rnfr
    elif args.fault == "banner":
        def endless_greeting(self):
            def more():
                if not self._closed and not self._closing:
                    self.push("220-Still starting up, please wait.\r\n")
                    self.ioloop.call_later(0.05, more, _errback=self.handle_error)
            more()
        Handler.handle = endless_greeting

    server = FTPServer(("127.0.0.1", args.port), Handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())

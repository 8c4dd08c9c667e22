"""A real FTP server for the tests and benchmarks, on loopback only.

Serves one user from a home folder, prints the port it listens on as the first
line of its output, and runs until it is killed. --no-epsv makes the server
refuse EPSV so clients must fall back to PASV.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", default="tester")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--perm", default="elradfmwMT")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--no-epsv", action="store_true")
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm=args.perm)

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    if args.no_epsv:
        def refuse_epsv(self, line):
            self.respond("502 EPSV not implemented here.")
        Handler.ftp_EPSV = refuse_epsv

    server = FTPServer(("127.0.0.1", args.port), Handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())

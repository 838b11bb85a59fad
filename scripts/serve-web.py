#!/usr/bin/env python3
"""Serves the browser build of the game from a folder on 127.0.0.1, for play and for the tests.

usage: scripts/serve-web.py OUTDIR [--port N] [--no-isolation] [--verbose]

The game runs its threads on shared memory, which a browser grants only to a cross-origin
isolated page; every response therefore carries Cross-Origin-Opener-Policy: same-origin,
Cross-Origin-Embedder-Policy: require-corp and Cross-Origin-Resource-Policy: same-origin.
--no-isolation leaves those three out and so stands for a static host that cannot set headers.
Every response also says Cache-Control: no-cache, and conditional requests always get the whole
file, so a site rebuilt within the same second as the last visit is still seen on the next one.

--port 0 picks a free port. The first line on standard output is exactly
"serving http://127.0.0.1:PORT/" (flushed), which is how a test learns the port. Requests are
not logged unless --verbose asks for a log on standard error. SIGTERM and SIGINT end the server
cleanly with status 0.
"""

import argparse
import http.server
import os
import signal
import sys
import threading

ISOLATION_HEADERS = (
    ("Cross-Origin-Opener-Policy", "same-origin"),
    ("Cross-Origin-Embedder-Policy", "require-corp"),
    ("Cross-Origin-Resource-Policy", "same-origin"),
)

# Types by file extension; the system's own table (which differs between machines) is not used.
CONTENT_TYPES = {
    ".html": "text/html",
    ".htm": "text/html",
    ".js": "text/javascript",
    ".mjs": "text/javascript",
    ".wasm": "application/wasm",
    ".webmanifest": "application/manifest+json",
    ".json": "application/json",
    ".css": "text/css",
    ".png": "image/png",
    ".svg": "image/svg+xml",
    ".ico": "image/x-icon",
    ".txt": "text/plain",
    ".map": "application/json",
}


class SiteRequestHandler(http.server.SimpleHTTPRequestHandler):
    """Serves files of one folder with the site's headers; the options are class attributes."""

    isolation = True
    verbose = False
    extensions_map = {"": "application/octet-stream", **CONTENT_TYPES}

    def guess_type(self, path):
        extension = os.path.splitext(path)[1].lower()
        return CONTENT_TYPES.get(extension, "application/octet-stream")

    def send_head(self):
        # A file's time has whole seconds only: a 304 could hand back a build replaced within the
        # second. Files come from a local disk, so sending them whole costs next to nothing.
        del self.headers["If-Modified-Since"]
        del self.headers["If-None-Match"]
        return super().send_head()

    def end_headers(self):
        # Runs for every response, errors and redirects included.
        self.send_header("Cache-Control", "no-cache")
        if self.isolation:
            for name, value in ISOLATION_HEADERS:
                self.send_header(name, value)
        super().end_headers()

    def log_message(self, format, *args):
        if self.verbose:
            super().log_message(format, *args)


class SiteServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A browser that drops a connection mid-file (a reload, a closed tab) is no error.
        if SiteRequestHandler.verbose:
            super().handle_error(request, client_address)


def parse_arguments():
    parser = argparse.ArgumentParser(
        usage="%(prog)s OUTDIR [--port N] [--no-isolation] [--verbose]",
        description="Serve the browser build in OUTDIR on 127.0.0.1.",
    )
    parser.add_argument("outdir", metavar="OUTDIR", help="folder holding index.html")
    parser.add_argument("--port", type=int, default=8080, help="0 picks a free port (default 8080)")
    parser.add_argument(
        "--no-isolation",
        action="store_true",
        help="leave out the cross-origin isolation headers, as a plain static host does",
    )
    parser.add_argument("--verbose", action="store_true", help="log requests on standard error")
    arguments = parser.parse_args()
    if not os.path.isdir(arguments.outdir):
        parser.error(f"{arguments.outdir} is not a folder")
    if not 0 <= arguments.port <= 65535:
        parser.error(f"port {arguments.port} is out of range")
    return arguments


def main():
    arguments = parse_arguments()
    SiteRequestHandler.isolation = not arguments.no_isolation
    SiteRequestHandler.verbose = arguments.verbose
    directory = os.path.abspath(arguments.outdir)

    def handler(*handler_arguments):
        return SiteRequestHandler(*handler_arguments, directory=directory)

    try:
        server = SiteServer(("127.0.0.1", arguments.port), handler)
    except OSError as error:
        print(f"serve-web: cannot listen on 127.0.0.1:{arguments.port}: {error}", file=sys.stderr)
        return 1

    # shutdown() waits for serve_forever() to return, so it must run on another thread than the
    # one the signal interrupts.
    def stop(signal_number, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    print(f"serving http://127.0.0.1:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())

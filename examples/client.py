#!/usr/bin/env python3
"""Calls every kind of request of the QVL HTTP service and prints the answers.

Start the service first, for example with
    qvl-host examples/reference.qvl --serve
which caches the reference curve, series and swaps (#Swap_3 is the protection buyer, #Swap_4
the seller) and serves them on port 50080. Then:
    python3 examples/client.py [--port 50080] [--swap "#Swap_3"]
Standard library only.
"""

import argparse
import json
import sys
import urllib.error
import urllib.request


def call(base, method, path, document=None):
    """One request; gives (status, reason, body text). HTTP errors are answers too."""
    data = None if document is None else json.dumps(document).encode("utf-8")
    request = urllib.request.Request(base + path, data=data, method=method)
    if data is not None:
        request.add_header("Content-Type", "application/json")
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            return answer.status, answer.reason, answer.read().decode("utf-8")
    except urllib.error.HTTPError as answer:
        return answer.code, answer.reason, answer.read().decode("utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=50080)
    parser.add_argument("--swap", default="#Swap_3", help="handle of a cached swap")
    parser.add_argument("--trade-date", default="2026-01-20")
    args = parser.parse_args()

    base = "http://%s:%d" % (args.host, args.port)
    swap = {"swap": args.swap}
    day = {"Trade Date": args.trade_date}
    requests = [
        ("Health: counts of cached objects", "GET", "/health", None),
        ("Series: every cached series", "POST", "/qvl", {"Request": "Series"}),
        ("Specs: the swap's terms", "POST", "/qvl", {"Request": "Specs", **swap}),
        ("Specs of the swap on series index 1, on the /API route", "POST", "/API",
         {"Request": "Specs", "Index": "1"}),
        ("Calculate from a credit event rate", "POST", "/qvl",
         {"Request": "Calculate", **swap, **day, "Credit Event Rate": 200}),
        ("Calculate: solve from a conventional spread", "POST", "/qvl",
         {"Request": "Calculate", **swap, **day, "Conventional Spread": 200.720859}),
        ("Calculate: solve from an upfront fee", "POST", "/qvl",
         {"Request": "Calculate", **swap, **day, "Upfront Fee": 0.03146156}),
        ("Calculate: solve from a clean price", "POST", "/qvl",
         {"Request": "Calculate", **swap, **day, "Clean Price": 99.5477}),
        ("Calculate: PnL between an initiation and a close", "POST", "/qvl",
         {"Request": "Calculate", **swap, **day, "Initiation Date": "2025-09-11",
          "Init Clean Price": 100.4523, "Close Clean Price": 99.5477,
          "Credit Event Rate": 200}),
        ("Risk: the sensitivities to 1 bp of event rate, spread and OIS curve", "POST", "/qvl",
         {"Request": "Risk", **swap, **day, "Credit Event Rate": 200}),
        ("Payment: the cash to settle at a clean price", "POST", "/qvl",
         {"Request": "Payment", **swap, **day, "Clean Price": 99.5477}),
        ("A request the service does not know", "POST", "/qvl", {"Request": "Quote"}),
    ]
    for title, method, path, document in requests:
        print("== " + title)
        print(" ".join([method, path] + ([] if document is None else [json.dumps(document)])))
        try:
            status, reason, body = call(base, method, path, document)
        except OSError as e:
            print("no answer from %s: %s" % (base, e), file=sys.stderr)
            print("start the service first: qvl-host examples/reference.qvl --serve",
                  file=sys.stderr)
            return 1
        print("-> %d %s" % (status, reason))
        print(body)
        print()
    return 0


if __name__ == "__main__":
    sys.exit(main())

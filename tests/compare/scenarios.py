#!/usr/bin/env python3
"""Runs every worksheet function over a few hundred random scenarios and writes every answer.

    python3 tests/compare/scenarios.py BUILD/bin/qvl-host OUT [--seed N] [--scenarios N]
                                       [--no-http]

A scenario is a curve with jittered par rates, a series (the reference one or a variant), buyer
and seller swaps, and a random run of worksheet calls at trade dates across the swap's life, its
edges and outside it, with the service asked for its documents in between, and the risk grid at
the end. A last section asks for the curve tables, risk calls and requests that fail. The output
holds one line per call and its answer, numbers to the last digit; the same seed gives the same
calls, so the outputs of two builds are compared with diff. QVL.BuildDate is left out: it
changes with every build.
"""

import argparse
import calendar
import datetime
import json
import os
import random
import select
import socket
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request

REFERENCE_CURVE = [("1M", 0.039765), ("2M", 0.038988), ("3M", 0.038419), ("6M", 0.036977),
                   ("9M", 0.035929), ("1Y", 0.034978), ("2Y", 0.032768), ("3Y", 0.032442),
                   ("4Y", 0.032632), ("5Y", 0.033017), ("6Y", 0.033524), ("7Y", 0.03407),
                   ("8Y", 0.034626), ("9Y", 0.035181), ("10Y", 0.035712)]

REFERENCE_FACTORS = [("2025-09-01", 1.0), ("2025-10-01", 0.999986), ("2025-11-01", 0.999955),
                     ("2025-12-01", 0.999712), ("2026-01-01", 0.997583)]

TENORS = ["1D", "3D", "1W", "2W", "1M", "2M", "3M", "6M", "9M", "1Y", "18M", "2Y", "5Y", "10Y",
          "6ME", "0M", "-1M", "-1Y", "12", "M", "1X", "", "1Y2M"]

# The quotes the service is asked to solve from or price at: path, field and values.
QUOTES = {"spread": ("/API", "Conventional Spread", [200.720859, 180, 1e5]),
          "upfront": ("/qvl", "Upfront Fee", [0.03146156, 2.5, 95.0]),
          "price": ("/qvl", "Clean Price", [99.5477, 101.0, 5.0])}

ANSWER_TIMEOUT = 60.0


def day(text):
    return datetime.date.fromisoformat(text)


def iso(d):
    return d.isoformat()


def quote(text):
    return '"' + text.replace('"', '""') + '"'


def number(x):
    """A formula literal for x: short, exact for the script and the same on every run."""
    if x == int(x) and abs(x) < 1e15:
        return str(int(x))
    return repr(round(x, 8))


def serial(d):
    return (d - datetime.date(1899, 12, 30)).days


def add_months(d, n):
    year, month = divmod(d.year * 12 + d.month - 1 + n, 12)
    return datetime.date(year, month + 1, min(d.day, calendar.monthrange(year, month + 1)[1]))


class Host:
    """qvl-host reading formulas from a pipe, one JSON answer per formula."""

    def __init__(self, program, folder):
        self.process = subprocess.Popen([program, "--json", "--keep-going", "-"], cwd=folder,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True, bufsize=1)

    def ask(self, formula):
        self.process.stdin.write(formula + "\n")
        self.process.stdin.flush()
        ready, _, _ = select.select([self.process.stdout], [], [], ANSWER_TIMEOUT)
        if not ready:
            raise RuntimeError("qvl-host gave no answer to: " + formula)
        line = self.process.stdout.readline()
        if not line:
            raise RuntimeError("qvl-host ended at: " + formula)
        return json.loads(line)

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=ANSWER_TIMEOUT)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Recorder:
    def __init__(self, host, folder, out):
        self.host = host
        self.folder = folder
        self.out = out
        self.port = None
        self.files = 0
        # The answer behind each script name: the handles, for the service's requests.
        self.names = {}

    def call(self, formula, name=None):
        """One formula; gives the answer's value (None for a script error)."""
        line = (name + " = " if name else "") + formula
        answer = self.host.ask(line)
        answer.pop("line", None)
        shown = answer.get("value", answer.get("error"))
        self.out.write(line + "\n  -> " + json.dumps(shown, sort_keys=True) + "\n")
        if name:
            self.names[name] = answer.get("value")
        return answer.get("value")

    def csv(self, rows):
        """A CSV file in qvl-host's working folder, as the csv(...) argument naming it."""
        self.files += 1
        name = "range%d.csv" % self.files
        with open(os.path.join(self.folder, name), "w", encoding="utf-8") as f:
            for row in rows:
                f.write(",".join(str(cell) for cell in row) + "\n")
        return "csv(%s)" % quote(name)

    def start_service(self):
        for _ in range(5):
            port = free_port()
            answer = self.host.ask("QVL.HttpStart(%d)" % port).get("value")
            if isinstance(answer, str) and str(port) in answer:
                self.port = port
                self.out.write("QVL.HttpStart(PORT)\n  -> %s\n" %
                               json.dumps(answer.replace(str(port), "PORT")))
                return
        self.out.write("QVL.HttpStart: no port, the service is left out\n")

    def stop_service(self):
        if self.port is not None:
            self.call("QVL.HttpStop()")
            self.port = None

    def request(self, method, path, document=None, raw=None):
        if self.port is None:
            return
        text = raw if raw is not None else None if document is None else json.dumps(document)
        data = None if text is None else text.encode("utf-8")
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (self.port, path), data=data,
                                         method=method)
        if data is not None:
            request.add_header("Content-Type", "application/json")
        try:
            with urllib.request.urlopen(request, timeout=ANSWER_TIMEOUT) as answer:
                status, body = answer.status, answer.read().decode("utf-8")
        except urllib.error.HTTPError as answer:
            status, body = answer.code, answer.read().decode("utf-8")
        shown = raw if raw is not None else json.dumps(document, sort_keys=True)
        self.out.write("HTTP %s %s %s\n  -> %d %s\n" % (method, path, shown, status, body))


class Scenario:
    """One curve, one series table and two swaps, and a random run of calls on them."""

    def __init__(self, rng, rec, number_):
        self.rng = rng
        # The calls added later draw from their own generator: the earlier ones stay as they were.
        self.later = random.Random(number_)
        self.rec = rec
        self.n = number_
        self.swaps = []
        self.last_spread = {}
        self.last_upfront = {}

    def curve(self):
        rng = self.rng
        curve_date = rng.choice([day("2026-01-20"), day("2025-09-11"), day("2025-12-31"),
                                 day("2026-06-15"), day("2027-03-01"),
                                 day("2025-09-11") + datetime.timedelta(rng.randrange(0, 1500))])
        jitter = rng.choice([0.0, 0.0005, 0.002, 0.01])
        rows = [("Tenor", "ParRate")]
        for tenor, rate in REFERENCE_CURVE:
            # The curve needs its 1Y pillar once longer ones follow; dropping it is rare.
            if rng.random() < (0.005 if tenor == "1Y" else 0.05):
                continue
            rows.append((tenor, "%.6f" % (rate + rng.gauss(0.0, jitter))))
        if rng.random() < 0.03:
            rows.append(("15Y", "abc"))
        date_argument = (quote(iso(curve_date)) if rng.random() < 0.8
                         else str(serial(curve_date)))
        if rng.random() < 0.02:
            date_argument = quote("2026-13-01")
        return self.rec.call("QVL.CreateCurve(%s, %s)" % (date_argument, self.rec.csv(rows)),
                             "c%d" % self.n)

    def factor_rows(self, start, months):
        """Monthly factors from the month of start on, decaying at a random pace."""
        rng = self.rng
        rows = []
        first = start.replace(day=1)
        factor = 1.0
        for k in range(months):
            rows.append((iso(add_months(first, k)), "%.6f" % factor))
            factor *= 1.0 - rng.choice([0.0, 0.00001, 0.0003, 0.002, 0.01])
        return rows

    def series(self):
        rng = self.rng
        kind = rng.choices(["reference", "longer_history", "other_terms", "other_start", "short",
                            "faulty"], [3, 2, 2, 1.5, 0.7, 0.8])[0]
        start, maturity, coupon = day("2025-09-11"), day("2030-12-11"), 2.0
        factors = list(REFERENCE_FACTORS)
        if kind == "longer_history":
            factors = self.factor_rows(start, rng.randrange(6, 40))
        elif kind == "other_terms":
            maturity = rng.choice([day("2030-01-31"), day("2030-04-30"), day("2028-06-12"),
                                   day("2030-12-20"), day("2027-09-13"), day("2035-12-11")])
            coupon = rng.choice([0.5, 1.0, 2.0, 3.25, 5.0])
        elif kind == "other_start":
            start = rng.choice([day("2024-03-13"), day("2025-10-10"), day("2025-09-15"),
                                day("2026-01-13")])
            maturity = add_months(start, rng.choice([24, 36, 60, 61]))
            while maturity.weekday() >= 5:
                maturity += datetime.timedelta(1)
            factors = self.factor_rows(start, rng.randrange(1, 30))
        elif kind == "short":
            maturity = rng.choice([day("2026-03-11"), day("2026-02-11"), day("2025-10-10")])
        elif kind == "faulty":
            fault = rng.choice(["weekend_start", "late_factors", "no_factors", "coupon",
                                "unordered", "bad_maturity"])
            if fault == "weekend_start":
                start = day("2025-09-13")
            elif fault == "late_factors":
                factors = factors[1:]
            elif fault == "no_factors":
                factors = [(d, "0") for d, _ in factors]
            elif fault == "coupon":
                coupon = rng.choice([0.0, -1.0])
            elif fault == "unordered":
                factors = [factors[0], factors[2], factors[1]] + factors[3:]
            else:
                maturity = rng.choice([day("2030-12-14"), day("2025-09-11")])
        if rng.random() < 0.15 and kind != "faulty":
            # Zero rows are skipped.
            k = rng.randrange(1, len(factors)) if len(factors) > 1 else 0
            factors[k] = (factors[k][0], "0")

        series_rows = [("QVL index series", "", "", "", ""),
                       ("SeriesIndex", "SeriesName", "StartDate", "MaturityDate", "Coupon"),
                       ("7", "other", "2025-09-11", "2030-12-11", "2"),
                       ("1", "1 (%s)" % start.strftime("%b %y"), iso(start), iso(maturity),
                        number(coupon))]
        factor_rows = [("Date", "7", "1")] + [(d, "0.5", f) for d, f in factors]
        key = rng.choice(["1", "1", "1.0", 1, " 1 "])
        key_argument = quote(key) if isinstance(key, str) else str(key)
        handle = self.rec.call("QVL.CreateSeries(%s, %s, %s)" %
                               (key_argument, self.rec.csv(series_rows),
                                self.rec.csv(factor_rows)), "s%d" % self.n)
        self.start, self.maturity = start, maturity
        self.roll_months = [day(d) for d, _ in factors]
        return handle

    def make_swaps(self):
        rng = self.rng
        for side, name in ((True, "b"), (False, "w")):
            rate = rng.choice([200, 200, 0, 50, 350, 900, -25, 1e-3])
            notional = rng.choice([10000000, 1e6, 25e6, 123456.78])
            args = ["s%d" % self.n, "c%d" % self.n, "TRUE" if side else "FALSE",
                    number(rate), number(notional)]
            # Now and then a missing rate, notional or side, or a zero notional.
            for k, chance, text in ((3, 0.15, ""), (4, 0.15, ""), (2, 0.05, ""), (4, 0.02, "0")):
                if rng.random() < chance:
                    args[k] = text
            handle = "%s%d" % (name, self.n)
            self.rec.call("QVL.CreateSwap(%s)" % ", ".join(args), handle)
            self.swaps.append(handle)

    def trade_date(self, rng=None):
        """A trade date argument: inside the life mostly, its edges and outside sometimes."""
        rng = rng or self.rng
        start, maturity = self.start, self.maturity
        life = max((maturity - start).days, 1)
        pick = rng.random()
        if pick < 0.55:
            d = start + datetime.timedelta(rng.randrange(0, life))
        elif pick < 0.75:
            # Around publication dates, accrual starts and the factor rolls.
            month = add_months(start.replace(day=1), rng.randrange(0, life // 28 + 2))
            d = month.replace(day=rng.randrange(7, 16))
        elif pick < 0.88:
            d = rng.choice([start, start + datetime.timedelta(1), start - datetime.timedelta(1),
                            maturity, maturity - datetime.timedelta(1),
                            maturity - datetime.timedelta(3), maturity + datetime.timedelta(1)]
                           + [r + datetime.timedelta(rng.randrange(0, 20))
                              for r in self.roll_months[-2:]])
        elif pick < 0.95:
            return rng.choice([quote("2026-02-30"), quote(""), quote("abc"), "-1", "0",
                               quote("2026-1-20"), quote("20260120"), "TRUE", "",
                               number(serial(start) + 0.75), "3000000"])
        else:
            d = rng.choice([day("2020-01-02"), day("2040-06-01"), day("1999-12-31")])
        return quote(iso(d)) if rng.random() < 0.85 else str(serial(d))

    def event_rate(self, rng=None):
        rng = rng or self.rng
        return rng.choice([200, 200, 0, 1, 75.5, 250, 600, 1500, 4000, -40, -500,
                           round(rng.uniform(-100, 2500), 4)])

    def swap(self):
        if self.rng.random() < 0.02:
            return quote("#Swap_0")
        return self.rng.choice(self.swaps)

    def info(self, swap):
        self.rec.call("QVL.GetSwapInfo(%s)" % swap)

    def valuation(self):
        rng = self.rng
        swap = self.swap()
        kind = rng.choice(["calc", "calc", "spread", "upfront", "payment", "pnl", "cashflow",
                           "total", "failed_then_total"])
        t = self.trade_date()
        if kind == "failed_then_total":
            # A valuation that fails on its trade date after taking a new rate, then a payment
            # at the rate the swap holds: what the failure left behind shows in it.
            bad = quote(iso(rng.choice([self.maturity, self.start - datetime.timedelta(1)])))
            rate = number(self.event_rate())
            self.rec.call(rng.choice([
                "QVL.CalcFromEventRate(%s, %s, %s)" % (swap, bad, rate),
                "QVL.TradePnL(%s, %s, 100, %s, 100, %s)" % (swap, quote(iso(self.start)), bad,
                                                            rate),
                "QVL.TradePnL(%s, %s, 100, %s, 100, %s)" % (swap, bad, t, rate),
                "QVL.SolveFromSpread(%s, %s, 150)" % (swap, bad),
                "QVL.SolveFromUpfront(%s, %s, 2)" % (swap, bad),
                "QVL.CashflowTable(%s, %s, %s)" % (swap, bad, rate)]))
            self.info(swap)
            self.specs(swap)
            kind = "total"
        if kind == "calc":
            answer = self.rec.call("QVL.CalcFromEventRate(%s, %s, %s)" %
                                   (swap, t, number(self.event_rate())))
            if isinstance(answer, list) and len(answer) > 2:
                self.last_upfront[swap] = answer[0][1]
                self.last_spread[swap] = answer[1][1]
        elif kind == "spread":
            choices = [200.720859, 150, 300, 1000, -50, 0, 1e5, -1e4, 5000, 1e-9]
            if isinstance(self.last_spread.get(swap), float):
                choices += [self.last_spread[swap]] * 4
            self.rec.call("QVL.SolveFromSpread(%s, %s, %s)" % (swap, t,
                                                               number(rng.choice(choices))))
        elif kind == "upfront":
            choices = [0.03146156, 1.0, 5.0, -5.0, 30.0, -60.0, 90.0, -200.0, 0]
            if isinstance(self.last_upfront.get(swap), float):
                choices += [self.last_upfront[swap]] * 4
            self.rec.call("QVL.SolveFromUpfront(%s, %s, %s)" % (swap, t,
                                                                number(rng.choice(choices))))
        elif kind == "payment":
            rate = rng.choice([number(self.event_rate()), "0", "0", ""])
            initiation = rng.choice(["1", "0", "TRUE", "FALSE", ""])
            self.rec.call("QVL.TotalPayment(%s, %s, %s, %s, %s)" %
                          (swap, t, number(rng.choice([99.5477, 100, 101.25, 87.0, 100.4523])),
                           initiation, rate))
        elif kind == "pnl":
            t1 = self.trade_date()
            rate = rng.choice([number(self.event_rate()), "200", "0", ""])
            self.rec.call("QVL.TradePnL(%s, %s, %s, %s, %s, %s)" %
                          (swap, t1, number(rng.choice([100.4523, 100, 98.5])), t,
                           number(rng.choice([99.5477, 100, 101.0])), rate))
        elif kind == "cashflow":
            rate = rng.choice([number(self.event_rate()), "", "", quote("x"), "TRUE", "0"])
            self.rec.call("QVL.CashflowTable(%s, %s, %s)" % (swap, t, rate))
        else:
            # The remembered rate read back by a payment at rate 0 after other valuations.
            self.rec.call("QVL.TotalPayment(%s, %s, 99.5477, 0, 0)" % (swap, t))
        self.info(swap)
        if rng.random() < 0.6:
            self.specs(swap)
        if rng.random() < 0.25:
            self.service_calls(swap)

    def specs(self, swap):
        """The service's description of the swap, which shows the trade date it remembers."""
        handle = self.rec.names.get(swap)
        if isinstance(handle, str) and handle.startswith("#"):
            self.rec.request("POST", "/qvl", {"Request": "Specs", "swap": handle})

    def service_calls(self, swap):
        rng = self.rng
        rec = self.rec
        handle = None if swap.startswith('"') else rec.names.get(swap)
        known = isinstance(handle, str) and handle.startswith("#")
        target = {"swap": handle} if known else {}
        if rng.random() < 0.2:
            target = {"Index": rng.choice(["1", "1.0", "7"])}
        day_text = iso(self.start + datetime.timedelta(rng.randrange(-3, 400)))
        request = rng.choice(["specs", "specs", "calc", "spread", "upfront", "price", "pnl",
                              "payment", "series", "health", "bad"])
        if request == "specs":
            document = {"Request": "Specs", **target}
            if rng.random() < 0.3:
                document["Trade Date"] = day_text
            rec.request("POST", "/qvl", document)
        elif request == "calc":
            rec.request("POST", "/qvl", {"Request": "Calculate", **target, "Trade Date": day_text,
                                         "Credit Event Rate": self.event_rate()})
        elif request in QUOTES:
            path, field, values = QUOTES[request]
            rec.request("POST", path, {"Request": "Calculate", **target, "Trade Date": day_text,
                                       field: rng.choice(values)})
        elif request == "pnl":
            document = {"Request": "Calculate", **target, "Trade Date": day_text,
                        "Init Clean Price": 100.4523, "Close Clean Price": 99.5477}
            document[rng.choice(["Initiation Date", "Init Trade Date"])] = iso(self.start)
            if rng.random() < 0.7:
                document["Credit Event Rate"] = self.event_rate()
            rec.request("POST", "/qvl", document)
        elif request == "payment":
            rec.request("POST", "/qvl", {"Request": "Payment", **target, "Trade Date": day_text,
                                         "Clean Price": rng.choice([99.5477, 100.0])})
        elif request == "series":
            rec.request("POST", "/qvl", {"Request": "Series"})
        elif request == "health":
            rec.request("GET", "/health")
        else:
            rec.request("POST", "/qvl", raw=rng.choice(['{"Request": "Calculate", "Trade Date":'
                                                        ' "2026-01-20"}', "{}", "[1]",
                                                        '{"Request": "Specs", "swap": "#x"}']))
        rec.request("POST", "/qvl", {"Request": "Specs", **target})

    def curve_and_dates(self):
        rng = self.rng
        curve = "c%d" % self.n
        d = self.trade_date()
        self.rec.call(rng.choice(["QVL.DiscountFactor", "QVL.ForwardRate1D"]) + "(%s, %s)" %
                      (curve, d))

    def date_functions(self):
        rng = self.rng
        d = self.trade_date()
        e = self.trade_date()
        f = rng.choice(["IsBusinessDay", "RollToFollowingBD", "NextPublicationDate",
                        "PrevPublicationDate", "DayCountACT360", "DayCountACT365",
                        "DateFromTenor"])
        if f == "RollToFollowingBD":
            args = [d, rng.choice(["0", "1", "2", "3", "-2", "10", "", "1.7"])]
        elif f in ("DayCountACT360", "DayCountACT365"):
            args = [d, e]
        elif f == "DateFromTenor":
            args = [d, quote(rng.choice(TENORS))]
        else:
            args = [d]
        self.rec.call("QVL.%s(%s)" % (f, ", ".join(args)))

    def run(self):
        rng = self.rng
        self.curve()
        self.series()
        self.rec.call("QVL.GetSeriesInfo(s%d)" % self.n)
        self.make_swaps()
        for swap in self.swaps:
            self.info(swap)
        for _ in range(rng.randrange(6, 16)):
            pick = rng.random()
            if pick < 0.75:
                self.valuation()
            elif pick < 0.85:
                self.curve_and_dates()
            else:
                self.date_functions()
        self.risk()

    def risk(self):
        """The sensitivities at a rate, at the held one (a missing, blank or text rate) and by
        the service, with the swap shown after each."""
        rng = self.later
        for _ in range(rng.randrange(1, 4)):
            swap = rng.choice(self.swaps)
            t = self.trade_date(rng)
            rate = rng.choice([number(self.event_rate(rng)), "", quote(""), quote("200")])
            self.rec.call("QVL.Risk(%s, %s, %s)" % (swap, t, rate))
            self.info(swap)
            handle = self.rec.names.get(swap)
            if isinstance(handle, str) and handle.startswith("#"):
                t = iso(self.start + datetime.timedelta(rng.randrange(-3, 400)))
                document = {"Request": "Risk", "swap": handle, "Trade Date": t}
                if rng.random() < 0.7:
                    document["Credit Event Rate"] = self.event_rate(rng)
                self.rec.request("POST", "/qvl", document)
                self.specs(swap)


# Requests the service refuses, each with what it lacks; the PnL form after PNL.
REFUSED = ['{"Request": 5}', '{"Request": "Calculate", "Trade Date": 20260120}',
           '{"Request": "Calculate", "Trade Date": "abcdefghij", "Upfront Fee": 1}',
           '{"Request": "Calculate", "Trade Date": "2026-01-20", "Init Clean Price": 99}',
           '{"Request": "Payment", "Trade Date": "2026-01-20"}',
           '{"Request": "Risk", "Trade Date": "2030-12-11"}',
           '{"Request": "Risk", "Index": " 1 ", "Trade Date": "2026-01-20", '
           '"Credit Event Rate": 200}',
           '{"Request": "Risk", "Trade Date": "2026-02-17T00:00"}',
           '{"Request": "Payment", "Trade Date": "2026-01-20", "Clean Price": null}',
           '{"Request": "Calculate", "Trade Date": "2026-01-20", "Clean Price": "98", '
           '"Credit Event Rate": 1}', '{"Request": "Specs", "Index": "2.5"}',
           '{"Request": "Specs", "swap": "#swap_3"}', '{"Request": "Calc"}']
PNL = ('{"Request": "Calculate", "Trade Date": "2026-01-20", "Init Clean Price": 100, '
       '"Close Clean Price": 99, ')
PNL_REFUSED = ['"Initiation Date": "bad", "Init Trade Date": "2025-09-11"}',
               '"Init Trade Date": "bad"}',
               '"Initiation Date": null, "Init Trade Date": "2025-09-11"}',
               '"Credit Event Rate": 200}']

# Curve tables the curve refuses, and some it takes at its edges.
CURVE_FAULTS = [[], [("1M", 0.04), ("3M", 0.04), ("2M", 0.04), ("1Y", 0.04)],
                [("1Y", 0.04), ("12M", 0.04)], [("1M", 0.04), ("11M", 0.04)],
                [("6M", 0.04), ("2Y", 0.04), ("3Y", 0.04)], [("12M", 0.035), ("2Y", 0.033)],
                [("6M", 0.146), ("1Y", -0.5085), ("5Y", -0.12)],
                [("1Y", -0.5), ("20000Y", -1.4678e-05)], [("1M", 0.04), ("1Y", -1.0)],
                [("1M", 100.01), ("1Y", 0.04)], [("1M", 0.04), ("Y", 0.04)],
                [("99999999999Y", 0.04)], [("5D", 0.04), ("1Y", 0.04)], [("1Y", 0.04)],
                [("1M", -0.005), ("1Y", -0.99)], [("1M", 100.0), ("1Y", 0.04)],
                [("6M", 0.036977), ("1Y", 0.034978), ("2Y", 0.032768), ("5Y", 0.033017)],
                [("1Y", 0.035), ("24M", 0.033)], [("1m", 0.04), ("6me", 0.038), (" 1y ", 0.035)],
                [("6M", 0.04), ("1Y", 100.0), ("2Y", 0.04)]]

# Date cells of every kind, rolls and results at the ends of the sheet's dates.
DATE_FORMS = ['DateFromTenor(46043, " 3m ")', 'IsBusinessDay("2026-01-21T00:00:00")',
              'RollToFollowingBD("2026/01/17")', "RollToFollowingBD(46039, TRUE)",
              'RollToFollowingBD(46039, "5")', "RollToFollowingBD(46043, -2.9)",
              "DayCountACT360(46043.75, 46043)", "DayCountACT360(0, 360)",
              'IsBusinessDay("2026-13-01")', 'NextPublicationDate(" 2026-01-21")',
              'DayCountACT360("2026", "2027-01-21")', 'DateFromTenor("2026-01-21")',
              "RollToFollowingBD(46039, 100001)", "RollToFollowingBD(46039, -1e12)",
              'DateFromTenor("9999-12-01", "1M")', 'RollToFollowingBD("9999-12-31", 100000)',
              'RollToFollowingBD("1900-01-02", -1)', 'NextPublicationDate("9999-12-31")',
              "PrevPublicationDate(0)", 'RollToFollowingBD("9999-12-31")',
              'NextPublicationDate("9999-11-30")']


def faults(rec):
    """The faults and edges the random runs hardly reach, on the reference swap."""
    out = rec.out
    out.write("# faults\n")
    for form in DATE_FORMS:
        rec.call("QVL." + form)
    rec.call("QVL.ClearCache()")
    for body in ['{"Request": "Series"}', '{"Request": "Calculate"}']:
        rec.request("POST", "/qvl", raw=body)
    for n, rows in enumerate(CURVE_FAULTS):
        curve = rec.call("QVL.CreateCurve(%s, %s)" % (quote("2026-01-20"),
                                                      rec.csv([("Tenor", "ParRate")] + rows)),
                         "f%d" % n)
        for d in ["2027-01-22", "2028-01-24"] if str(curve).startswith("#") else []:
            rec.call("QVL.DiscountFactor(f%d, %s)" % (n, quote(d)))
    rec.call("QVL.CreateCurve(%s, %s)" % (quote("2026-01-20"), rec.csv(
        [("Tenor", "ParRate")] + REFERENCE_CURVE)), "c")
    series = [("QVL index series", "", "", "", ""),
              ("SeriesIndex", "SeriesName", "StartDate", "MaturityDate", "Coupon")]
    factors = rec.csv([("Date", "1")] + REFERENCE_FACTORS)
    swaps = [("c", "2030-12-11"), ("c", "2030-12-20"), ("f19", "2027-06-11")]
    for n, (curve, maturity) in enumerate(swaps):
        rec.call("QVL.CreateSeries(1, %s, %s)" % (
            rec.csv(series + [("1", "1", "2025-09-11", maturity, "2")]), factors), "s%d" % n)
        rec.call("QVL.CreateSwap(s%d, %s, TRUE, 200, 10000000)" % (n, curve), "r%d" % n)
    # A swap not yet valued shows the trade date asked for.
    rec.request("POST", "/qvl", raw='{"Request": "Specs", "Trade Date": "2026-02-30"}')
    rec.call("QVL.Risk(r2, %s, 200)" % quote("2026-01-20"))
    rec.call("QVL.Risk(r1, %s, 200)" % quote("2030-12-17"))
    for t in [quote(""), "-1", quote("2026-02-30"), quote("2026-1-21"), quote("x"),
              quote("2030-12-11"), quote("2026-01-20")]:
        rec.call("QVL.Risk(r0, %s, 200)" % t)
    rec.call("QVL.Risk(c, %s)" % quote("2026-01-20"))
    rec.call("QVL.CalcFromEventRate(r0, %s, 350)" % quote("2026-01-20"))
    for rate in ["350", "", quote(""), quote("200"), "200"]:
        rec.call("QVL.Risk(r0, %s, %s)" % (quote("2026-01-20"), rate))
    # The bumped curves left the cached one as it was.
    for d in ["2040-06-01", "2026-02-10", "2029-06-01"]:
        rec.call("QVL.DiscountFactor(c, %s)" % quote(d))
    rec.call("QVL.ForwardRate1D(c, %s)" % quote("2026-01-19"))
    for body in REFUSED + [PNL + rest for rest in PNL_REFUSED]:
        rec.request("POST", "/qvl", raw=body)
    rec.request("POST", "/qvl", raw='{"Request": "Risk", "Trade Date": "2026-02-17", '
                '"Credit Event Rate": 200}')
    # The swap's switches, and the messages of the tables.
    for args in ["0", quote("FALSE"), ", TRUE, 5000000", ', "x", "y"']:
        rec.call("QVL.GetSwapInfo(QVL.CreateSwap(s0, c, %s))" % args)
    one = ("1", "n", "2025-09-11", "2030-12-11", "2")
    tables = [(1, [series[0], ("seriesindex",) + series[1][1:], one], factors),
              (1, list(REFERENCE_FACTORS), factors), ("", series + [one], factors),
              (4, series + [one], factors), (4, series + [("4",) + one[1:]], factors),
              (1, series + [one[:3] + ("2030-02-30", "2")], factors),
              (1, series + [one], rec.csv([("Date", "1"), ("2025-09-01", 1), ("2025-09-31", 1)])),
              (1, series + [one], rec.csv([("Date", "1")]))]
    for key, rows, factor_table in tables:
        rec.call("QVL.CreateSeries(%s, %s, %s)" % (key, rec.csv(rows), factor_table))
    for args in ["TRUE, " + rec.csv(REFERENCE_CURVE), quote("2026-02-30") + ", " +
                 rec.csv(REFERENCE_CURVE), quote("2026-01-20"),
                 quote("2026-01-20") + ", " + rec.csv([("1M",), ("0.04",)])]:
        rec.call("QVL.CreateCurve(%s)" % args)
    rec.call("QVL.GetSwapInfo(3)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("qvl_host")
    parser.add_argument("out")
    parser.add_argument("--seed", type=int, default=20260120)
    parser.add_argument("--scenarios", type=int, default=300)
    parser.add_argument("--no-http", action="store_true", help="leave the service out")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    with tempfile.TemporaryDirectory(prefix="qvl-compare-") as folder, \
            open(args.out, "w", encoding="utf-8") as out:
        host = Host(os.path.abspath(args.qvl_host), folder)
        rec = Recorder(host, folder, out)
        try:
            rec.call("QVL.RunTests()")
            rec.call("QVL.Version()")
            if not args.no_http:
                rec.start_service()
            for n in range(1, args.scenarios + 1):
                out.write("# scenario %d\n" % n)
                if n % 60 == 0:
                    rec.call("QVL.ClearCache()")
                    rec.request("GET", "/health")
                Scenario(rng, rec, n).run()
            rec.request("POST", "/qvl", {"Request": "Series"})
            faults(rec)
            rec.stop_service()
        finally:
            host.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())

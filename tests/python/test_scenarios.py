"""The package against qvl-host over the random scenarios of tests/compare/scenarios.py: every
worksheet call that the package can make gives the same figures, or fails as the sheet does,
with the core's message wherever the package read the same arguments."""

import datetime
import io
import os
import pathlib
import random
import re
import sys
import tempfile

import qvl

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "compare"))
import scenarios  # noqa: E402

SCENARIOS = 300
FAILED = object()  # what a name holds when making its object failed on both sides


class Calls(scenarios.Recorder):
    """The scenarios' calls with qvl-host's answers; no service."""

    def __init__(self, host, folder):
        super().__init__(host, folder, io.StringIO())
        self.calls = []

    def call(self, formula, name=None):
        value = super().call(formula, name)
        self.calls.append((formula, name, value))
        return value


class Skip(Exception):
    """A call whose answer depends on what the sheet's handle remembers, or whose arguments
    the package takes in no form."""


ARGUMENT = re.compile(r'\s*("(?:[^"]|"")*"|csv\("[^"]*"\)|[^,]*?)\s*(,|$)')


def arguments(text, objects, folder):
    values, i = [], 0
    while i <= len(text):
        m = ARGUMENT.match(text, i)
        token, i = m.group(1), m.end() + (0 if m.group(2) else 1)
        if token.startswith('"'):
            values.append(token[1:-1].replace('""', '"'))
        elif token.startswith("csv("):
            values.append(os.path.join(folder, token[5:-2]))
        elif token in ("TRUE", "FALSE"):
            values.append(token == "TRUE")
        elif token in objects:
            values.append(objects[token])
        else:
            values.append(float(token) if token else None)
    return values


class Dates:
    """A sheet's date cells as the package's dates; clean while the package reads each as the
    sheet does (a real day)."""

    def __init__(self):
        self.clean = True

    def __call__(self, cell):
        if isinstance(cell, str):
            try:
                datetime.date.fromisoformat(cell)
            except ValueError:
                self.clean = False
            return cell
        if isinstance(cell, float) and not isinstance(cell, bool) and 0 <= cell < 2958466:
            return datetime.date(1899, 12, 30) + datetime.timedelta(int(cell))
        raise Skip()


def grid(record):
    return [[label, value] for label, value in zip(record.labels, record)]


def package_call(function, a, held, d):
    """The package's answer to one worksheet call, as the sheet lays it out."""
    rate = lambda x: x if x is not None else 0.0  # noqa: E731 (a missing number is 0)
    if not function.startswith("Create") and a and isinstance(a[0], str) and "#" in a[0]:
        raise Skip()  # a handle no call made
    if function == "CreateCurve":
        return qvl.Curve.from_frame(a[1], d(a[0]))
    if function == "CreateSeries":
        return qvl.Series.from_tables(a[1], a[2], a[0])
    if function == "CreateSwap":
        terms = dict(zip(("buyer", "event_rate", "notional"), a[2:]))
        return qvl.Swap(a[0], a[1], **{k: v for k, v in terms.items() if v is not None})
    if function in ("DiscountFactor", "ForwardRate1D"):
        curve_read = a[0].discount_factor if function == "DiscountFactor" else a[0].forward_rate_1d
        return curve_read(d(a[1]))
    valuations = {"CalcFromEventRate": "value", "SolveFromSpread": "solve_from_spread",
                  "SolveFromUpfront": "solve_from_upfront"}
    if function in valuations:
        return grid(getattr(a[0], valuations[function])(d(a[1]), rate(a[2])))
    if function == "TradePnL":
        return grid(a[0].pnl(d(a[1]), rate(a[2]), d(a[3]), rate(a[4]), rate(a[5])))
    if function == "TotalPayment" and a[4] not in (None, 0.0, held):
        initiation = True if a[3] is None else bool(a[3])
        return grid(a[0].payment(d(a[1]), rate(a[2]), initiation, a[4]))
    if function == "CashflowTable":
        given = a[2] if isinstance(a[2], (bool, float)) else held
        rows = a[0].cashflows(d(a[1]), float(given))
        return [list(qvl.CashflowRow.labels)] + [list(row) for row in rows]
    days = {"RollToFollowingBD": lambda: qvl.roll_following(
                d(a[0]), a[1] if isinstance(a[1], float) else 0),
            "NextPublicationDate": lambda: qvl.next_publication_date(d(a[0])),
            "PrevPublicationDate": lambda: qvl.previous_publication_date(d(a[0])),
            "DateFromTenor": lambda: qvl.date_from_tenor(d(a[0]), a[1])}
    if function in days:
        return scenarios.serial(days[function]())
    if function == "IsBusinessDay":
        return qvl.is_business_day(d(a[0]))
    if function in ("DayCountACT360", "DayCountACT365"):
        fraction = qvl.year_fraction_act360 if function[-1] == "0" else qvl.year_fraction_act365_25
        return fraction(d(a[0]), d(a[1]))
    raise Skip()


def same(sheet, mine):
    if isinstance(mine, list):
        return len(sheet) == len(mine) and all(map(same, sheet, mine))
    if isinstance(mine, datetime.date):
        return sheet == mine.isoformat()
    if mine is None or mine != mine:
        return sheet in (None, "")
    return sheet == mine


def test_the_package_answers_as_the_sheet():
    rng = random.Random(20260120)
    with tempfile.TemporaryDirectory(prefix="qvl-python-") as folder:
        host = scenarios.Host(os.path.abspath(os.environ["QVL_HOST"]), folder)
        rec = Calls(host, folder)
        try:
            for n in range(1, SCENARIOS + 1):
                scenarios.Scenario(rng, rec, n).run()
        finally:
            host.close()

        objects, held, compared = {}, {}, 0
        for formula, name, answer in rec.calls:
            function, text = re.fullmatch(r"QVL\.(\w+)\((.*)\)", formula).groups()
            a = arguments(text, objects, folder)
            if function == "GetSwapInfo" and isinstance(answer, list):
                held[text] = dict(answer)["Event Rate (bps)"]
            failed = isinstance(answer, str) and not answer.startswith("#")
            try:
                if any(x is FAILED for x in a):
                    raise Skip()
                d = Dates()
                mine = package_call(function, a, held.get(text.split(",")[0]), d)
            except Skip:
                objects[name] = FAILED
                continue
            except ValueError as e:
                assert failed, (formula, answer, e)
                assert not d.clean or str(e) == answer, (formula, answer, e)
                mine = FAILED
            else:
                assert not failed, (formula, answer, mine)
                assert name or same(answer, mine), (formula, answer, mine)
            if name:
                objects[name] = mine
            compared += 1
    assert compared > 3000

"""The reference objects of examples/, made through the package in each way it offers, show every
figure of examples/reference.out digit for digit as the worksheet shows it."""

import datetime
import pathlib
import types

import pandas
import pytest

import qvl

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
T = "2026-01-20"


def shown(value):
    """A value as a sheet cell shows it."""
    if value is None or value != value:
        return ""
    if isinstance(value, datetime.date):
        return value.isoformat()
    if isinstance(value, str):
        return value
    return "0" if value == 0 else "%.15g" % value


def serial(d):
    return (d - datetime.date(1899, 12, 30)).days


def transcript():
    """{formula: its output lines} of reference.out."""
    blocks, lines = {}, None
    for line in (EXAMPLES / "reference.out").read_text(encoding="utf-8").splitlines():
        if line.startswith("> "):
            lines = blocks.setdefault(line[2:].split(" = ")[-1], [])
        elif not line or line.startswith("#"):
            lines = None
        elif lines is not None:
            lines.append(line)
    return blocks


def made_from_csv_paths():
    return (qvl.Curve.from_frame(EXAMPLES / "curve.csv", T),
            qvl.Series.from_tables(EXAMPLES / "series.csv", EXAMPLES / "factors.csv", 1))


def made_from_frames():
    frame = lambda name: pandas.read_csv(EXAMPLES / name)  # noqa: E731
    return (qvl.Curve.from_frame(frame("curve.csv"), datetime.date(2026, 1, 20)),
            qvl.Series.from_tables(frame("series.csv"), frame("factors.csv"), "1"))


def made_by_constructors():
    curve = pandas.read_csv(EXAMPLES / "curve.csv")
    factors = pandas.read_csv(EXAMPLES / "factors.csv", parse_dates=["Date"])
    return (qvl.Curve(T, curve.Tenor, curve.ParRate),
            qvl.Series(1, "1 (Sep 25)", "2025-09-11", "2030-12-11", 2,
                       list(zip(factors.Date.values, factors["1"]))))


@pytest.fixture(scope="module", params=[made_from_csv_paths, made_from_frames,
                                        made_by_constructors])
def ref(request):
    curve, series = request.param()
    return types.SimpleNamespace(curve=curve, series=series, buyer=qvl.Swap(series, curve),
                                 seller=qvl.Swap(series, curve, buyer=False, notional=10000000))


def grid(record):
    return [(label, shown(value)) for label, value in zip(record.labels, record)]


# Each formula of the transcript and the rows the package gives for it.
CALLS = {
    'QVL.DiscountFactor(curve, "2027-01-20")': lambda r: [(r.curve.discount_factor("2027-01-20"),)],
    'QVL.ForwardRate1D(curve, "2027-01-20")': lambda r: [(r.curve.forward_rate_1d("2027-01-20"),)],
    'QVL.IsBusinessDay("2026-01-19")': lambda r: [(str(qvl.is_business_day("2026-01-19")).upper(),)],
    'QVL.RollToFollowingBD("2026-01-17", 2)':
        lambda r: [(serial(qvl.roll_following("2026-01-17", 2)),)],
    'QVL.NextPublicationDate("2026-01-13")':
        lambda r: [(serial(qvl.next_publication_date("2026-01-13")),)],
    'QVL.PrevPublicationDate("2026-01-21")':
        lambda r: [(serial(qvl.previous_publication_date("2026-01-21")),)],
    'QVL.DayCountACT360("2026-01-21", "2027-01-21")':
        lambda r: [(qvl.year_fraction_act360("2026-01-21", "2027-01-21"),)],
    'QVL.DayCountACT365("2026-01-21", "2027-01-21")':
        lambda r: [(qvl.year_fraction_act365_25("2026-01-21", "2027-01-21"),)],
    'QVL.DateFromTenor("2026-01-21", "1Y")':
        lambda r: [(serial(qvl.date_from_tenor("2026-01-21", "1Y")),)],
    'QVL.CalcFromEventRate(buyer, "2026-01-20", 200)': lambda r: grid(r.buyer.value(T, 200)),
    'QVL.CalcFromEventRate(seller, "2026-01-20", 200)': lambda r: grid(r.seller.value(T, 200)),
    'QVL.Risk(buyer, "2026-01-20", 200)': lambda r: grid(r.buyer.risk(T, 200)),
    'QVL.SolveFromSpread(buyer, "2026-01-20", 200.720859)':
        lambda r: grid(r.buyer.solve_from_spread(T, 200.720859)),
    'QVL.SolveFromUpfront(buyer, "2026-01-20", 0.03146156)':
        lambda r: grid(r.buyer.solve_from_upfront(T, 0.03146156)),
    'QVL.TotalPayment(buyer, "2026-01-20", 99.5477, 1, 200)':
        lambda r: grid(r.buyer.payment(T, 99.5477, True, 200)),
    'QVL.TotalPayment(buyer, "2026-01-20", 99.5477, 0, 200)':
        lambda r: grid(r.buyer.payment(T, 99.5477, initiation=False, event_rate=200)),
    'QVL.TradePnL(buyer, "2025-09-11", 100.4523, "2026-01-20", 99.5477, 200)':
        lambda r: grid(r.buyer.pnl("2025-09-11", 100.4523, T, 99.5477, 200)),
    'QVL.CashflowTable(buyer, "2026-01-20", 200)':
        lambda r: [qvl.CashflowRow.labels] + [tuple(map(shown, row))
                                              for row in r.buyer.cashflows(T, 200)],
}

# The figures of the info grids, as the objects' properties give them.
INFO = {
    "QVL.GetSeriesInfo(series)": lambda r: [("Index", r.series.index), ("Name", r.series.name),
                                            ("Start Date", r.series.start_date),
                                            ("Maturity Date", r.series.maturity_date),
                                            ("Coupon (bps)", r.series.coupon_bps)],
    "QVL.GetSwapInfo(buyer)": lambda r: [("Start Date", r.buyer.start_date),
                                         ("Maturity Date", r.buyer.end_date),
                                         ("Coupon (bps)", r.buyer.coupon_bps),
                                         ("Event Rate (bps)", r.buyer.event_rate),
                                         ("Notional", r.buyer.notional),
                                         ("Settlement Delay", r.buyer.settlement_delay),
                                         ("Payment Delay", r.buyer.payment_delay)],
}


def test_every_figure_of_the_transcript(ref):
    blocks = transcript()
    assert qvl.self_check() == blocks["QVL.RunTests()"][0]
    for formula, rows in CALLS.items():
        expected = [line.split() for line in blocks[formula]]
        assert [" ".join(map(shown, row)).split() for row in rows(ref)] == expected, formula
    for formula, pairs in INFO.items():
        lines = [line.split() for line in blocks[formula]]
        for label, value in pairs(ref):
            assert (label + " " + shown(value)).split() in lines, (formula, label)

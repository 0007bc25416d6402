#!/usr/bin/python3
"""Makes qvl-example.xlsx, the example workbook, from the CSV files beside this script.

It lays out the reference curve, series and swaps and every call of reference.qvl as a trader
would in a sheet, then has qvl-host recalculate the workbook and store the values it computes,
so that a viewer that does not recalculate shows the reference figures.

Usage: /usr/bin/python3 examples/make_workbook.py QVL_HOST [OUT]
       (OUT defaults to qvl-example.xlsx beside this script; needs Debian's python3-openpyxl)
"""

import csv
import datetime
import pathlib
import re
import subprocess
import sys
import tempfile

import openpyxl
from openpyxl.styles import Font
from openpyxl.utils import get_column_letter

HERE = pathlib.Path(__file__).resolve().parent
DATE_FORMAT = "yyyy-mm-dd"
BOLD = Font(bold=True)
TITLE = Font(bold=True, size=14)


def day(text):
    return datetime.date.fromisoformat(text)


def typed(field):
    """A CSV field as a trader's sheet holds it: numbers, dates as date cells, other text."""
    if re.fullmatch(r"-?\d+", field):
        return int(field)
    try:
        return float(field)
    except ValueError:
        pass
    if re.fullmatch(r"\d{4}-\d\d-\d\d", field):
        return day(field)
    return field if field else None


def read_csv(name):
    with open(HERE / name, newline="", encoding="utf-8") as f:
        return [[typed(field) for field in row] for row in csv.reader(f)]


class Sheet:
    """A worksheet with the QVL calls laid out on it. Each call's cell (or range) is recorded
    with the line of reference.qvl it reproduces, if any, for the test that compares them."""

    calls = []  # (sheet, top-left cell, rows, columns, formula of reference.qvl or None)

    def __init__(self, book, title, widths):
        self.ws = book.create_sheet(title)
        for column, width in enumerate(widths, start=1):
            self.ws.column_dimensions[get_column_letter(column)].width = width

    def put(self, cell, value, font=None):
        self.ws[cell] = value
        if isinstance(value, datetime.date):
            self.ws[cell].number_format = DATE_FORMAT
        if font:
            self.ws[cell].font = font

    def table(self, top, left, rows):
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if value is not None:
                    self.put(f"{get_column_letter(left + c)}{top + r}", value)

    def call(self, cell, formula, size=(1, 1), reference=None, dated=False):
        """A QVL call, stored as the host stores add-in functions; a grid as an array formula
        over exactly the size of its result."""
        text = "=" + re.sub(r"\bQVL\.", "_xll.QVL.", formula)
        self.put(cell, text)
        rows, columns = size
        if rows * columns > 1:
            top = self.ws[cell]
            last = f"{get_column_letter(top.column + columns - 1)}{top.row + rows - 1}"
            self.ws.formula_attributes[cell] = {"t": "array", "ref": f"{cell}:{last}"}
        if dated:
            self.ws[cell].number_format = DATE_FORMAT
        Sheet.calls.append((self.ws.title, cell, rows, columns, reference))


def start_sheet(book):
    s = Sheet(book, "Start", [28, 90])
    s.put("A1", "QVL example workbook", TITLE)
    lines = [
        "Two swaps on QVL index series 1, a protection buyer and a seller, valued at the trade "
        "date 2026-01-20 with the QVL add-in (qvl.xll).",
        "Curve: the OIS tenors and par rates. Series: the series terms and index factors. "
        "Book: the inputs, the objects and every figure of both swaps.",
        "Cashflows: the buyer's schedule. Dates: the date functions and the discount curve.",
        "Change an input cell (trade date, event rate, quotes, prices) and every QVL cell that "
        "depends on it is recalculated.",
        "",
        "Loading the add-in: unblock qvl.xll after a download (right-click, Properties, "
        "Unblock), then add it in the host's add-ins dialog.",
        "The values saved in this file are the ones the add-in computed, so they show without "
        "it; with it loaded, the host recalculates them on opening.",
        "On Linux, qvl-host --workbook qvl-example.xlsx recalculates it without a spreadsheet.",
    ]
    for row, line in enumerate(lines, start=3):
        s.put(f"A{row}", line)
    s.put("A12", "Self-check", BOLD)
    s.call("B12", "QVL.RunTests()", reference="QVL.RunTests()")
    s.put("A13", "Add-in version", BOLD)
    s.call("B13", "QVL.Version()")


def curve_sheet(book):
    s = Sheet(book, "Curve", [14, 12])
    s.put("A1", "Curve date", BOLD)
    s.put("B1", day("2026-01-20"))
    s.table(3, 1, read_csv("curve.csv"))


def series_sheet(book):
    s = Sheet(book, "Series", [18, 12, 12, 14, 10])
    s.table(1, 1, read_csv("series.csv"))
    s.put("A6", "Index factors", BOLD)
    s.table(7, 1, read_csv("factors.csv"))


# Book's layout: the labelled inputs, the object handles, then one band per figure with the
# buyer's grid in columns A:B and the seller's in D:E.
INPUTS = [
    ("Index", 1),
    ("Trade date", day("2026-01-20")),
    ("Credit event rate (bp)", 200),
    ("Notional", 10000000),
    ("Quoted conventional spread (bp)", 200.720859),
    ("Quoted upfront fee (%)", 0.03146156),
    ("Clean price at close", 99.5477),
    ("Initiation date", day("2025-09-11")),
    ("Clean price at initiation", 100.4523),
]
INDEX, TRADE, RATE, NOTIONAL, SPREAD, UPFRONT, PRICE, INIT_DATE, INIT_PRICE = (
    f"$B${row}" for row in range(4, 4 + len(INPUTS)))
CURVE, SERIES, BUYER, SELLER = "$B$15", "$B$16", "$B$17", "$B$18"


def book_sheet(book):
    s = Sheet(book, "Book", [32, 14, 4, 32, 14])
    s.put("A1", "Book: a protection buyer and a seller on series 1", TITLE)
    s.put("A3", "Inputs", BOLD)
    for row, (label, value) in enumerate(INPUTS, start=4):
        s.put(f"A{row}", label)
        s.put(f"B{row}", value)

    s.put("A14", "Objects", BOLD)
    objects = [
        ("Curve", CURVE, "QVL.CreateCurve(Curve!$B$1,Curve!$A$3:$B$18)",
         'QVL.CreateCurve("2026-01-20", csv("curve.csv"))'),
        ("Series", SERIES, f"QVL.CreateSeries({INDEX},Series!$A$1:$E$4,Series!$A$7:$B$12)",
         'QVL.CreateSeries(1, csv("series.csv"), csv("factors.csv"))'),
        ("Buyer swap", BUYER, f"QVL.CreateSwap({SERIES},{CURVE},TRUE,{RATE},{NOTIONAL})",
         "QVL.CreateSwap(series, curve, TRUE, 200, 10000000)"),
        ("Seller swap", SELLER, f"QVL.CreateSwap({SERIES},{CURVE},FALSE,{RATE},{NOTIONAL})",
         "QVL.CreateSwap(series, curve, FALSE, 200, 10000000)"),
    ]
    for label, cell, formula, reference in objects:
        s.put("A" + cell[3:], label)
        s.call(cell.replace("$", ""), formula, reference=reference)

    s.put("D3", "Series", BOLD)
    s.call("D4", f"QVL.GetSeriesInfo({SERIES})", (5, 2), "QVL.GetSeriesInfo(series)")

    bands = [
        ("Terms", "QVL.GetSwapInfo({swap})", 11, "QVL.GetSwapInfo({name})"),
        ("Valuation at the event rate", f"QVL.CalcFromEventRate({{swap}},{TRADE},{RATE})", 15,
         'QVL.CalcFromEventRate({name}, "2026-01-20", 200)'),
        ("Solved from the quoted spread", f"QVL.SolveFromSpread({{swap}},{TRADE},{SPREAD})", 15,
         'QVL.SolveFromSpread({name}, "2026-01-20", 200.720859)'),
        ("Solved from the quoted upfront fee",
         f"QVL.SolveFromUpfront({{swap}},{TRADE},{UPFRONT})", 15,
         'QVL.SolveFromUpfront({name}, "2026-01-20", 0.03146156)'),
        ("Payment at initiation", f"QVL.TotalPayment({{swap}},{TRADE},{PRICE},TRUE,{RATE})", 4,
         'QVL.TotalPayment({name}, "2026-01-20", 99.5477, 1, 200)'),
        ("Payment at close", f"QVL.TotalPayment({{swap}},{TRADE},{PRICE},FALSE,{RATE})", 4,
         'QVL.TotalPayment({name}, "2026-01-20", 99.5477, 0, 200)'),
        ("Trade PnL",
         f"QVL.TradePnL({{swap}},{INIT_DATE},{INIT_PRICE},{TRADE},{PRICE},{RATE})", 14,
         'QVL.TradePnL({name}, "2025-09-11", 100.4523, "2026-01-20", 99.5477, 200)'),
        ("Risk", f"QVL.Risk({{swap}},{TRADE},{RATE})", 5,
         'QVL.Risk({name}, "2026-01-20", 200)'),
    ]
    s.put("A20", "Buyer", TITLE)
    s.put("D20", "Seller", TITLE)
    row = 22
    for title, formula, rows, reference in bands:
        for column, name, swap in (("A", "buyer", BUYER), ("D", "seller", SELLER)):
            s.put(f"{column}{row}", title, BOLD)
            # reference.qvl has the seller's terms and valuation, and everything of the buyer.
            in_reference = name == "buyer" or title in ("Terms", "Valuation at the event rate")
            s.call(f"{column}{row + 1}", formula.format(swap=swap), (rows, 2),
                   reference.format(name=name) if in_reference else None)
        row += rows + 2


def cashflows_sheet(book):
    s = Sheet(book, "Cashflows", [52, 12, 18, 22, 18, 18, 20, 16])
    s.put("A1", "Cashflows of the buyer swap at Book's trade date and event rate", TITLE)
    s.call("A3", f"QVL.CashflowTable(Book!{BUYER},Book!{TRADE},Book!{RATE})", (65, 8),
           'QVL.CashflowTable(buyer, "2026-01-20", 200)')


CURVE_FUNCTIONS = ("QVL.DiscountFactor", "QVL.ForwardRate1D")


def dates_sheet(book):
    s = Sheet(book, "Dates", [34, 12, 14, 20])
    s.put("A1", "Dates and the discount curve", TITLE)
    for column, header in zip("ABCD", ["", "Date", "Second input", "Result"]):
        s.put(f"{column}3", header, BOLD)
    rows = [
        ("Business day?", "QVL.IsBusinessDay", ["2026-01-19"], False),
        ("Rolled forward by business days", "QVL.RollToFollowingBD", ["2026-01-17", 2], True),
        ("Next publication date", "QVL.NextPublicationDate", ["2026-01-13"], True),
        ("Previous publication date", "QVL.PrevPublicationDate", ["2026-01-21"], True),
        ("Year fraction ACT/360", "QVL.DayCountACT360", ["2026-01-21", "2027-01-21"], False),
        ("Year fraction ACT/365", "QVL.DayCountACT365", ["2026-01-21", "2027-01-21"], False),
        ("Date after a tenor", "QVL.DateFromTenor", ["2026-01-21", "1Y"], True),
        ("Discount factor of Book's curve", "QVL.DiscountFactor", ["2027-01-20"], False),
        ("One-day forward rate of Book's curve", "QVL.ForwardRate1D", ["2027-01-20"], False),
    ]
    for row, (label, function, inputs, dated) in enumerate(rows, start=4):
        s.put(f"A{row}", label)
        cells = [f"Book!{CURVE}"] if function in CURVE_FUNCTIONS else []
        quoted = ["curve"] if cells else []
        for column, value in zip("BC", inputs):
            s.put(f"{column}{row}", typed(str(value)))
            cells.append(f"{column}{row}")
            quoted.append(f'"{value}"' if isinstance(value, str) else str(value))
        s.call(f"D{row}", f"{function}({','.join(cells)})",
               reference=f"{function}({', '.join(quoted)})", dated=dated)


def lay_out(path):
    Sheet.calls.clear()
    book = openpyxl.Workbook()
    book.remove(book.active)
    for make in (start_sheet, curve_sheet, series_sheet, book_sheet, cashflows_sheet,
                 dates_sheet):
        make(book)
    book.save(path)
    return list(Sheet.calls)


def make(host, out):
    """Lays the workbook out and has qvl-host fill in the values; gives the calls laid out."""
    with tempfile.TemporaryDirectory() as folder:
        laid_out = pathlib.Path(folder) / "laid-out.xlsx"
        calls = lay_out(laid_out)
        run = subprocess.run([str(host), "--workbook", str(laid_out), "--out", str(out)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if run.returncode != 0:
            raise RuntimeError(f"qvl-host exited {run.returncode}: {run.stderr}")
    return calls


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    make(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else HERE / "qvl-example.xlsx")

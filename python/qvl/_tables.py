"""Tables as a sheet holds them, for Curve.from_frame and Series.from_tables.

A table is a pandas DataFrame (its column labels are its first row, unless they are the
default 0, 1, 2, ...), the path of a CSV file, or a sequence of rows. Its cells are typed as
text typed into a sheet is: empty is empty, a decimal number is a number, TRUE and FALSE are
logicals, anything else is text; dates become "YYYY-MM-DD" texts. Which rows and columns count
is the core's rule, the same as the worksheet's.
"""

import csv
import datetime
import math
import os
import re

_DECIMAL = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")


def _cell(value):
    if value is None:
        return None
    if isinstance(value, str):
        text = value.strip(" \t")
        if not text:
            return None
        if _DECIMAL.fullmatch(text):
            number = float(text)
            # A number beyond the largest a cell holds stays text, as a sheet keeps it.
            return number if math.isfinite(number) else value
        if text.upper() in ("TRUE", "FALSE"):
            return text.upper() == "TRUE"
        return value
    if isinstance(value, datetime.date) or type(value).__name__ == "datetime64":
        text = str(value)[:10]
        return None if text.startswith("NaT") else text
    if type(value).__name__ in ("bool", "bool_"):
        return bool(value)
    return float(value)


def rows(table):
    """The rows of a table as lists of cells."""
    if isinstance(table, (str, os.PathLike)):
        with open(table, newline="", encoding="utf-8") as f:
            raw = list(csv.reader(f))
    elif hasattr(table, "itertuples"):
        raw = [] if _default_labels(table.columns) else [list(table.columns)]
        raw += [list(row) for row in table.itertuples(index=False, name=None)]
    else:
        raw = [list(row) for row in table]
    return [[_cell(v) for v in row] for row in raw]


def _default_labels(columns):
    return list(columns) == list(range(len(columns)))

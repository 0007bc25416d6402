"""The result records: one immutable type per record of the core, made from its field list.

The core lists each record's fields once (its visit_fields, which the worksheet grids and the
JSON documents walk); the field names here are derived from those labels, so "Upfront Fee (%)"
is upfront_fee and "Current Notional (Trade)" is current_notional_trade.
"""

import re
from collections import namedtuple

from . import _qvl

# Units in parentheses are left out of a name; other words in parentheses are part of it.
_UNIT = re.compile(r"\((%|bps?)\)")


def field_name(label):
    """The snake_case name of a grid label."""
    return re.sub(r"[^0-9a-z]+", "_", _UNIT.sub("", label).lower()).strip("_")


class Record:
    """Fields read by name or position; to_dict, to_series and to_frame convert."""

    __slots__ = ()

    def to_dict(self):
        """{field name: value} in the core's order."""
        return dict(zip(self._fields, self))

    def to_series(self):
        """A pandas Series indexed by field name."""
        import pandas

        return pandas.Series(self.to_dict(), name=type(self).__name__, dtype=object)

    def to_frame(self):
        """A pandas DataFrame: one row for a single record, a row per element when the fields
        are arrays (from the *_many calls)."""
        import numpy
        import pandas

        if numpy.ndim(self[0]) == 0:
            return pandas.DataFrame([self.to_dict()])
        return pandas.DataFrame({k: numpy.ravel(v) for k, v in self.to_dict().items()})


_DOCS = {
    "ValuationResult": "A valuation (Swap.value and the solves), the grid of "
                       "QVL.CalcFromEventRate.",
    "TradePayment": "The cash of one trade (Swap.payment), the grid of QVL.TotalPayment.",
    "PnLResult": "The PnL between two trades (Swap.pnl), the grid of QVL.TradePnL.",
    "RiskResult": "Sensitivities to 1 bp (Swap.risk), the grid of QVL.Risk; a measure whose "
                  "bumped valuation cannot be made is None.",
    "CashflowRow": "One date of a swap's life (Swap.cashflows), a row of QVL.CashflowTable.",
}

_FIELDS = _qvl._fields()


def _make(name):
    labels = tuple(label for label, _ in _FIELDS[name])
    base = namedtuple(name, [field_name(label) for label in labels])
    return type(name, (Record, base), {"__slots__": (), "__module__": "qvl",
                                       "__doc__": _DOCS[name], "labels": labels})


ValuationResult = _make("ValuationResult")
TradePayment = _make("TradePayment")
PnLResult = _make("PnLResult")
RiskResult = _make("RiskResult")
CashflowRow = _make("CashflowRow")
_qvl._set_record_types({cls.__name__: cls for cls in (ValuationResult, TradePayment, PnLResult,
                                                      RiskResult, CashflowRow)})

_STUB_TYPES = {"number": "float", "optional number": "float | None",
               "date": "datetime.date | None", "text": "str"}


def stub():
    """The record types as the package's type stub declares them."""
    text = ""
    for name in ("ValuationResult", "TradePayment", "PnLResult", "RiskResult", "CashflowRow"):
        text += "\nclass %s(Record):\n" % name
        for label, kind in _FIELDS[name]:
            text += "    %s: %s\n" % (field_name(label), _STUB_TYPES[kind])
    return text

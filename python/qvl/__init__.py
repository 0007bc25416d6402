"""QVL swap calculator: curves, series and swaps on the QVL credit index, valued by the same
C++ core as the spreadsheet add-in.

    import qvl
    curve = qvl.Curve.from_frame("examples/curve.csv", "2026-01-20")
    series = qvl.Series.from_tables("examples/series.csv", "examples/factors.csv", 1)
    swap = qvl.Swap(series, curve, buyer=True, event_rate=200, notional=1e7)
    swap.value("2026-01-20", 200).upfront_fee            # 0.03146156

Curves, series and swaps are immutable values and remember nothing between calls. Dates are
taken as datetime.date, numpy.datetime64 or "YYYY-MM-DD" texts and given back as datetime.date
(numpy.datetime64 arrays from the array calls). Errors of the core are ValueError with its
message; SolveError (a ValueError) is a quote no event rate reproduces.
"""

from . import _tables
from ._qvl import (Curve, Series, SolveError, Swap, __version__, date_from_tenor,
                   is_business_day, next_publication_date, previous_publication_date,
                   roll_following, self_check, year_fraction_act360, year_fraction_act365_25)
from ._records import (CashflowRow, PnLResult, Record, RiskResult, TradePayment,
                       ValuationResult)


def _curve_from_frame(cls, table, trade_date):
    """The curve of trade_date from a two-column table (Tenor, ParRate) as QVL.CreateCurve
    reads it: every row whose second cell is a number. table is a DataFrame, a CSV path or a
    sequence of rows."""
    return cls._from_rows(trade_date, _tables.rows(table))


def _series_from_tables(cls, series_table, factor_table, index):
    """The series of index from the series table (columns SeriesIndex, SeriesName, StartDate,
    MaturityDate, Coupon under any title rows) and the factor table (dates in the first column,
    a column of factors per index), as QVL.CreateSeries reads them. Each table is a DataFrame,
    a CSV path or a sequence of rows."""
    return cls._from_rows(index, _tables.rows(series_table), _tables.rows(factor_table))


Curve.from_frame = classmethod(_curve_from_frame)
Series.from_tables = classmethod(_series_from_tables)

__all__ = ["Curve", "Series", "Swap", "SolveError", "Record", "ValuationResult", "TradePayment",
           "PnLResult", "RiskResult", "CashflowRow", "is_business_day", "roll_following",
           "next_publication_date", "previous_publication_date", "date_from_tenor",
           "year_fraction_act360", "year_fraction_act365_25", "self_check", "__version__"]

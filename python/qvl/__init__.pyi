# Type stub of the package qvl. The record types at the end are written by qvl._records.stub()
# from the core's field lists; a test checks that they still match.

import datetime
import os
from typing import Any, ClassVar, Iterable, Literal, Sequence, overload

import numpy
import numpy.typing

__version__: str

DateLike = datetime.date | numpy.datetime64 | str
Dates = DateLike | Sequence[DateLike] | numpy.typing.NDArray[Any]
Numbers = float | numpy.typing.ArrayLike
Errors = Literal["raise", "nan"]
Table = Any  # a pandas.DataFrame, the path of a CSV file or a sequence of rows

class SolveError(ValueError): ...

class Curve:
    def __init__(self, trade_date: DateLike, tenors: Sequence[str],
                 par_rates: Sequence[float]) -> None: ...
    @classmethod
    def from_frame(cls, table: Table | str | os.PathLike[str], trade_date: DateLike) -> Curve: ...
    @property
    def trade_date(self) -> datetime.date: ...
    @property
    def spot_date(self) -> datetime.date: ...
    @property
    def tenors(self) -> list[str]: ...
    @property
    def par_rates(self) -> list[float]: ...
    @overload
    def discount_factor(self, dates: DateLike, *, errors: Errors = ...) -> float: ...
    @overload
    def discount_factor(self, dates: Dates, *, errors: Errors = ...) -> Any: ...
    @overload
    def forward_rate_1d(self, dates: DateLike, *, errors: Errors = ...) -> float: ...
    @overload
    def forward_rate_1d(self, dates: Dates, *, errors: Errors = ...) -> Any: ...

class Series:
    def __init__(self, index: str | float, name: str, start: DateLike, maturity: DateLike,
                 coupon: float, factors: Iterable[tuple[DateLike, float]]) -> None: ...
    @classmethod
    def from_tables(cls, series_table: Table | str | os.PathLike[str],
                    factor_table: Table | str | os.PathLike[str], index: str | float) -> Series: ...
    index: str
    name: str
    coupon_bps: float
    @property
    def start_date(self) -> datetime.date: ...
    @property
    def maturity_date(self) -> datetime.date: ...

class Swap:
    def __init__(self, series: Series, curve: Curve, buyer: bool = True,
                 event_rate: float = 200.0, notional: float = 10000000.0) -> None: ...
    def with_curve(self, curve: Curve) -> Swap: ...
    series: Series
    curve: Curve
    buyer: bool
    event_rate: float
    notional: float
    start_date: datetime.date
    end_date: datetime.date
    coupon_bps: float
    frequency_months: int
    settlement_delay: int
    payment_delay: int
    def value(self, trade_date: DateLike, event_rate: float | None = None) -> ValuationResult: ...
    def solve_from_spread(self, trade_date: DateLike, spread: float) -> ValuationResult: ...
    def solve_from_upfront(self, trade_date: DateLike, upfront_fee: float) -> ValuationResult: ...
    def payment(self, trade_date: DateLike, clean_price: float, initiation: bool = True,
                event_rate: float | None = None) -> TradePayment: ...
    def pnl(self, trade_date_1: DateLike, clean_price_1: float, trade_date_2: DateLike,
            clean_price_2: float, event_rate: float | None = None) -> PnLResult: ...
    def cashflows(self, trade_date: DateLike,
                  event_rate: float | None = None) -> list[CashflowRow]: ...
    def risk(self, trade_date: DateLike, event_rate: float | None = None) -> RiskResult: ...
    # The array calls: each field of the result an array of the broadcast shape.
    def value_many(self, trade_dates: Dates, event_rates: Numbers, *,
                   errors: Errors = ...) -> ValuationResult: ...
    def solve_from_spread_many(self, trade_dates: Dates, spreads: Numbers, *,
                               errors: Errors = ...) -> ValuationResult: ...
    def solve_from_upfront_many(self, trade_dates: Dates, upfront_fees: Numbers, *,
                                errors: Errors = ...) -> ValuationResult: ...
    @overload
    def upfront_fee(self, trade_dates: DateLike, event_rates: float, *,
                    errors: Errors = ...) -> float: ...
    @overload
    def upfront_fee(self, trade_dates: Dates, event_rates: Numbers, *,
                    errors: Errors = ...) -> Any: ...

@overload
def is_business_day(dates: DateLike) -> bool: ...
@overload
def is_business_day(dates: Dates) -> Any: ...
@overload
def roll_following(dates: DateLike, roll_days: float = 0, *,
                   errors: Errors = ...) -> datetime.date: ...
@overload
def roll_following(dates: Dates, roll_days: Numbers = 0, *, errors: Errors = ...) -> Any: ...
@overload
def next_publication_date(dates: DateLike, *, errors: Errors = ...) -> datetime.date: ...
@overload
def next_publication_date(dates: Dates, *, errors: Errors = ...) -> Any: ...
@overload
def previous_publication_date(dates: DateLike, *, errors: Errors = ...) -> datetime.date: ...
@overload
def previous_publication_date(dates: Dates, *, errors: Errors = ...) -> Any: ...
@overload
def date_from_tenor(dates: DateLike, tenors: str, *, errors: Errors = ...) -> datetime.date: ...
@overload
def date_from_tenor(dates: Dates, tenors: str | Sequence[str], *,
                    errors: Errors = ...) -> Any: ...
@overload
def year_fraction_act360(start: DateLike, end: DateLike, *, errors: Errors = ...) -> float: ...
@overload
def year_fraction_act360(start: Dates, end: Dates, *, errors: Errors = ...) -> Any: ...
@overload
def year_fraction_act365_25(start: DateLike, end: DateLike, *,
                            errors: Errors = ...) -> float: ...
@overload
def year_fraction_act365_25(start: Dates, end: Dates, *, errors: Errors = ...) -> Any: ...
def self_check() -> str: ...

class Record(tuple[Any, ...]):
    labels: ClassVar[tuple[str, ...]]
    _fields: ClassVar[tuple[str, ...]]
    def to_dict(self) -> dict[str, Any]: ...
    def to_series(self) -> Any: ...
    def to_frame(self) -> Any: ...

class ValuationResult(Record):
    upfront_fee: float
    conventional_spread: float
    par_spread: float
    credit_event_rate: float
    clean_price: float
    current_notional: float
    upfront_payment: float
    accrued_interest: float
    cash_settlement_amount: float
    index_factor_at_trade: float
    index_factor_at_maturity: float
    trade_date: datetime.date | None
    settlement_date: datetime.date | None
    payment_date: datetime.date | None
    ois_date: datetime.date | None

class TradePayment(Record):
    current_notional: float
    upfront_payment: float
    accrued_interest: float
    total_payment: float

class PnLResult(Record):
    current_notional_trade: float
    upfront_payment_trade: float
    accrued_interest_trade: float
    total_payment_trade: float
    current_notional_close: float
    upfront_payment_close: float
    accrued_interest_close: float
    total_payment_close: float
    fixed_payments: float
    floating_payments: float
    trade_pnl: float
    trade_init_date: datetime.date | None
    trade_close_date: datetime.date | None
    ois_date: datetime.date | None

class RiskResult(Record):
    upfront_payment: float
    event_rate_01: float | None
    spread_01: float | None
    ir_01: float | None
    trade_date: datetime.date | None

class CashflowRow(Record):
    description: str
    date: datetime.date | None
    index_factor: float
    current_notional_amount: float
    accrual_factor: float
    fixed_rate_payment: float
    floating_rate_payment: float
    discount_factor: float

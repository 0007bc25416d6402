"""The package's own behaviour: array calls give bit for bit what scalar calls give, dates in
every accepted form, errors, and the result records."""

import concurrent.futures
import datetime
import pathlib

import numpy
import pandas
import pytest

import qvl

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
SWAP = qvl.Swap(qvl.Series.from_tables(EXAMPLES / "series.csv", EXAMPLES / "factors.csv", 1),
                qvl.Curve.from_frame(EXAMPLES / "curve.csv", "2026-01-20"))
# Trade dates across the swap's life and outside it (a column), against quotes (a row).
DATES = numpy.array([["2025-09-10"], ["2026-01-20"], ["2027-03-11"], ["2030-12-11"]],
                    dtype="datetime64[D]")


def scalar_column(call, shape, *arrays):
    """call over every element, NaN where it raises; the first error raised."""
    values, first = [], None
    for args in numpy.broadcast(*arrays):
        try:
            values.append(call(*(a.item() if hasattr(a, "item") else a for a in args)))
        except ValueError as e:
            values.append(None)
            first = first or e
    return values, first


def same_bits(column, scalars, empty):
    expected = numpy.array([empty if v is None else v for v in scalars], dtype=column.dtype)
    return column.ravel().tobytes() == expected.tobytes()


@pytest.mark.parametrize("many, one, quotes", [
    (SWAP.value_many, SWAP.value, [0.0, 200.0, 1234.5678, -40.0, float("nan")]),
    (SWAP.solve_from_spread_many, SWAP.solve_from_spread, [200.720859, 150.0, 1e5]),
    (SWAP.solve_from_upfront_many, SWAP.solve_from_upfront, [0.03146156, -5.0, 90.0]),
])
def test_array_valuations_equal_scalar_ones(many, one, quotes):
    records, first = scalar_column(one, None, DATES, numpy.array(quotes))
    result = many(DATES, quotes, errors="nan")
    for k, column in enumerate(result):
        empty = numpy.datetime64("NaT") if column.dtype.kind == "M" else numpy.nan
        assert same_bits(column, [r and r[k] for r in records], empty), result._fields[k]
    assert result.upfront_fee.shape == (4, len(quotes))
    with pytest.raises(type(first)) as raised:
        many(DATES, quotes)
    assert str(raised.value) == "position (0, 0): " + str(first)
    if many is SWAP.value_many:
        assert same_bits(SWAP.upfront_fee(DATES, quotes, errors="nan"),
                         [r and r.upfront_fee for r in records], numpy.nan)


def test_array_date_functions_equal_scalar_ones():
    days = numpy.arange("2026-01-01", "2026-03-01", dtype="datetime64[D]")
    cases = [(qvl.is_business_day, (days,)), (qvl.next_publication_date, (days,)),
             (qvl.previous_publication_date, (days,)),
             (qvl.roll_following, (days[:, None], [0, 1, -2, 2.7])),
             (qvl.date_from_tenor, (days[:, None], ["1M", "6ME", "-1Y", "5D"])),
             (qvl.year_fraction_act360, (days, days[::-1])),
             (qvl.year_fraction_act365_25, (days, "2027-01-21")),
             (SWAP.curve.discount_factor, (days,)), (SWAP.curve.forward_rate_1d, (days,))]
    for function, arrays in cases:
        values, first = scalar_column(function, None, *map(numpy.asarray, arrays))
        if first is None:
            result = function(*arrays)
        else:
            result = function(*arrays, errors="nan")
            assert str(first) == "Invalid tenor: 5D"
        empty = numpy.datetime64("NaT") if result.dtype.kind == "M" else numpy.nan
        assert same_bits(result, values, empty), function.__name__
        assert result.shape == numpy.broadcast(*map(numpy.asarray, arrays)).shape


def test_dates_in_every_form_and_out_as_dates():
    day = datetime.date(2026, 1, 20)
    forms = [day, "2026-01-20", numpy.datetime64("2026-01-20"),
             numpy.datetime64("2026-01-20T15:30"), pandas.Timestamp("2026-01-20 09:00"),
             datetime.datetime(2026, 1, 20, 23, 59)]
    assert {SWAP.value(d, 200) for d in forms} == {SWAP.value(day, 200)}
    assert SWAP.value(day).trade_date == day and type(SWAP.value(day).trade_date) is datetime.date
    assert qvl.roll_following("2026-01-17") == datetime.date(2026, 1, 20)
    assert list(qvl.roll_following([day, "2026-01-17", pandas.Timestamp(day)])) == [
        numpy.datetime64(day)] * 3
    with pytest.raises(TypeError):
        qvl.is_business_day(46042)
    for bad, message in [(None, "Invalid date"), (pandas.NaT, "Invalid date"),
                         ("2026-02-30", "Invalid date text: 2026-02-30"),
                         (numpy.datetime64("NaT"), "Invalid date")]:
        with pytest.raises(ValueError, match=message):
            SWAP.value(bad)


def test_errors_carry_the_cores_messages():
    with pytest.raises(ValueError, match="^position 1: Invalid tenor: 3M\0x$"):
        qvl.date_from_tenor("2026-01-20", ["1M", "3M\0x"])
    with pytest.raises(ValueError, match="SeriesIndex '7' not found in series_data"):
        qvl.Series.from_tables(EXAMPLES / "series.csv", EXAMPLES / "factors.csv", " 7 ")
    assert issubclass(qvl.SolveError, ValueError)
    with pytest.raises(qvl.SolveError, match="given an Upfront Fee of 90.000000 %"):
        SWAP.solve_from_upfront("2026-01-20", 90)
    with pytest.raises(ValueError, match="errors must be 'raise' or 'nan'"):
        SWAP.upfront_fee("2026-01-20", [1], errors="ignore")
    with pytest.raises(ValueError, match="shape mismatch"):
        SWAP.value_many(["2026-01-20"] * 2, [1, 2, 3])


def test_records_convert_and_stay_immutable():
    record = SWAP.value("2026-01-20", 200)
    assert record.to_dict()["upfront_fee"] == record.upfront_fee == record[0]
    assert list(record.to_series().index) == list(record._fields)
    assert pandas.DataFrame(SWAP.cashflows("2026-01-20")).shape == (64, 8)
    frame = SWAP.value_many(DATES[1:3, 0], 200).to_frame()
    assert frame.shape == (2, 15) and frame.upfront_fee[0] == record.upfront_fee
    with pytest.raises(AttributeError):
        record.upfront_fee = 0
    stub = (pathlib.Path(qvl.__file__).parent / "__init__.pyi").read_text(encoding="utf-8")
    assert stub.endswith(qvl._records.stub())


def test_threads_value_at_once():
    rates = numpy.linspace(0, 3000, 2001)
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda _: SWAP.upfront_fee("2026-01-20", rates), range(4)))
    assert all(r.tobytes() == results[0].tobytes() for r in results)

#!/usr/bin/env python3
"""The upfront fee and the conventional spread of the reference swap against the credit event
rate, from 0 to 3,000 bp, valued in one call of the qvl package.

    python3 examples/python/upfront_grid.py [--out FOLDER] [--step BP]

writes upfront_grid.csv into FOLDER (the current folder by default) and, when matplotlib is
present, the plot upfront_grid.png beside it. The reference swap is the protection buyer's on
series 1, built from the CSV files of examples/ and valued at the trade date 2026-01-20.
"""

import argparse
import csv
import pathlib

import numpy

import qvl

EXAMPLES = pathlib.Path(__file__).resolve().parents[1]
TRADE_DATE = "2026-01-20"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=pathlib.Path, default=pathlib.Path("."))
    parser.add_argument("--step", type=float, default=10.0, help="event rate step in bp")
    args = parser.parse_args()

    curve = qvl.Curve.from_frame(EXAMPLES / "curve.csv", TRADE_DATE)
    series = qvl.Series.from_tables(EXAMPLES / "series.csv", EXAMPLES / "factors.csv", 1)
    swap = qvl.Swap(series, curve, buyer=True, event_rate=200, notional=1e7)
    rates = numpy.arange(0.0, 3000.0 + args.step / 2, args.step)
    grid = swap.value_many(TRADE_DATE, rates)

    args.out.mkdir(parents=True, exist_ok=True)
    with open(args.out / "upfront_grid.csv", "w", newline="", encoding="utf-8") as f:
        writer = csv.writer(f)
        writer.writerow(["Credit Event Rate (bp)", "Upfront Fee (%)", "Conventional Spread (bp)"])
        for row in zip(rates, grid.upfront_fee, grid.conventional_spread):
            writer.writerow([repr(float(x)) for x in row])
    print("wrote", args.out / "upfront_grid.csv")

    try:
        import matplotlib
    except ImportError:
        return
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, upfront = pyplot.subplots(figsize=(8, 5))
    upfront.plot(rates, grid.upfront_fee, color="tab:blue")
    upfront.set_xlabel("credit event rate (bp)")
    upfront.set_ylabel("upfront fee (%)", color="tab:blue")
    spread = upfront.twinx()
    spread.plot(rates, grid.conventional_spread, color="tab:red")
    spread.set_ylabel("conventional spread (bp)", color="tab:red")
    upfront.set_title("Reference swap, series 1, buyer, at " + TRADE_DATE)
    figure.tight_layout()
    figure.savefig(args.out / "upfront_grid.png", dpi=100)
    print("wrote", args.out / "upfront_grid.png")


if __name__ == "__main__":
    main()

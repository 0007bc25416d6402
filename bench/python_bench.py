#!/usr/bin/env python3
"""The Python package against the core alone, on the reference swap at 2026-01-20:

  - one million credit event rates (0 to 3,000 bp) valued in one Swap.value_many call, against
    the core's own loop over the same rates (core_bench's BM_CoreLoopMillionEventRates); the
    ratio of the two should be within 1.2;
  - one scalar Swap.value call from Python, against the core call alone (BM_CalcFromEventRate).

    python3 bench/python_bench.py BUILD [--repetitions N]

BUILD is a Release build folder (build/release): the package is imported from BUILD/python and
the core's figures come from BUILD/bench/core_bench (five repetitions each). All figures are
medians of CPU time.
"""

import argparse
import json
import pathlib
import statistics
import subprocess
import sys
import time
import timeit

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"
RATES = 1000000
SCALAR_CALLS = 200000


def core_medians(build):
    """{benchmark name: median CPU time in seconds} of the two core benchmarks."""
    out = subprocess.run([str(build / "bench" / "core_bench"),
                          "--benchmark_filter=BM_CoreLoopMillionEventRates|BM_CalcFromEventRate",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True)
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    return {b["run_name"].split("/")[0]: b["cpu_time"] * scale[b["time_unit"]]
            for b in json.loads(out.stdout)["benchmarks"] if b.get("aggregate_name") == "median"}


def median_cpu(call, repetitions, number=1):
    runs = timeit.Timer(call, timer=time.process_time).repeat(repeat=repetitions, number=number)
    return statistics.median(runs) / number


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=pathlib.Path)
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    sys.path.insert(0, str(args.build.resolve() / "python"))
    import numpy

    import qvl

    swap = qvl.Swap(qvl.Series.from_tables(EXAMPLES / "series.csv", EXAMPLES / "factors.csv", 1),
                    qvl.Curve.from_frame(EXAMPLES / "curve.csv", "2026-01-20"))
    rates = numpy.arange(RATES) * (3000.0 / (RATES - 1))
    vectorised = median_cpu(lambda: swap.value_many("2026-01-20", rates), args.repetitions)
    scalar = median_cpu(lambda: swap.value("2026-01-20", 200.0), args.repetitions, SCALAR_CALLS)
    core = core_medians(args.build)
    loop, one = core["BM_CoreLoopMillionEventRates"], core["BM_CalcFromEventRate"]

    print("one million event rates: value_many %.3f s, core loop %.3f s, ratio %.3f"
          % (vectorised, loop, vectorised / loop))
    print("one valuation: Swap.value %.2f us, core %.2f us, Python's share %.2f us (%.2fx)"
          % (scalar * 1e6, one * 1e6, (scalar - one) * 1e6, scalar / one))


if __name__ == "__main__":
    main()

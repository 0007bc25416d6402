"""The example script and the README's example run, and show the package's figures."""

import csv
import importlib.util
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_upfront_grid_writes_the_grid_and_its_plot(tmp_path):
    subprocess.run([sys.executable, str(ROOT / "examples" / "python" / "upfront_grid.py"),
                    "--out", str(tmp_path)], check=True, capture_output=True)
    with open(tmp_path / "upfront_grid.csv", newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["Credit Event Rate (bp)", "Upfront Fee (%)", "Conventional Spread (bp)"]
    assert [float(r[0]) for r in rows[1:]] == [10.0 * k for k in range(301)]
    assert rows[21] == ["200.0", "0.03146156", "200.720859"]
    plotted = importlib.util.find_spec("matplotlib") is not None
    assert (tmp_path / "upfront_grid.png").exists() == plotted


def test_readme_example(capsys, monkeypatch):
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    code = re.search(r"\n## Python\n.*?```python\n(.*?)```", readme, re.S).group(1)
    monkeypatch.chdir(ROOT)
    exec(code, {})
    printed = capsys.readouterr().out
    assert printed.startswith("0.03146156 200.720859 2026-02-11\n")

"""qvl-host --workbook on workbooks another library (openpyxl) writes, on the example workbook,
and LibreOffice Calc opening every workbook qvl-host wrote.

Run by CTest with QVL_HOST (the qvl-host to test) and QVL_WORK_DIR (a folder of the build tree).
"""

import csv
import datetime
import json
import os
import pathlib
import shutil
import subprocess
import sys
import zipfile

import openpyxl
import pytest
from openpyxl.utils.datetime import to_excel
from openpyxl.workbook.defined_name import DefinedName

HOST = os.environ["QVL_HOST"]
WORK = pathlib.Path(os.environ["QVL_WORK_DIR"])
EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
sys.path.insert(0, str(EXAMPLES))
import make_workbook  # noqa: E402

ERRORS = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"}
CSV_FILTER = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"


def host(*args):
    return subprocess.run([HOST, *map(str, args)], capture_output=True, text=True, timeout=120)


def book(*titles):
    wb = openpyxl.Workbook()
    wb.active.title = titles[0]
    for title in titles[1:]:
        wb.create_sheet(title)
    return wb


def array(ws, ref, formula, **attributes):
    ws[ref.split(":")[0]] = formula
    ws.formula_attributes[ref.split(":")[0]] = {"t": "array", "ref": ref, **attributes}


def rewrite(path, parts):
    """The zip at path with the given parts replaced (bytes) or removed (None)."""
    with zipfile.ZipFile(path) as z:
        kept = {n: z.read(n) for n in z.namelist() if n not in parts}
    kept.update({n: data for n, data in parts.items() if data is not None})
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in kept.items():
            z.writestr(name, data)


def table(ws, top, name):
    for r, row in enumerate(make_workbook.read_csv(name), start=top):
        for c, value in enumerate(row, start=1):
            ws.cell(r, c, value)


def curve_table(ws):
    """The reference curve's table in A1:B16, its date in D1."""
    table(ws, 1, "curve.csv")
    ws["D1"] = make_workbook.day("2026-01-20")


def reference_objects(ws):
    """The reference curve, series and buyer swap on one sheet: handles in H1, H2, H3."""
    curve_table(ws)
    table(ws, 20, "series.csv")
    table(ws, 30, "factors.csv")
    ws["H1"] = "=_xll.QVL.CreateCurve(D1,A1:B16)"
    ws["H2"] = "=_xll.QVL.CreateSeries(1,A20:E23,A30:B35)"
    ws["H3"] = "=_xll.QVL.CreateSwap(H2,H1,TRUE,200,10000000)"


# Each builder writes one workbook at the path it is given.
def shared_formulas(path):
    wb = book("Days")
    ws = wb.active
    ws["C1"] = make_workbook.day("2027-01-21")
    for row, date in enumerate(["2026-01-21", "2026-04-21", "2026-07-21"], start=1):
        ws[f"A{row}"] = make_workbook.day(date)
    ws["B1"] = "=_xll.QVL.DayCountACT360(A1,$C$1)"
    ws.formula_attributes["B1"] = {"t": "shared", "ref": "B1:B3", "si": "0"}
    for cell in ("B2", "B3"):
        ws[cell] = "=0"  # made a bare follower below: its text stays empty
        ws[cell]._value, ws.formula_attributes[cell] = "=", {"t": "shared", "si": "0"}
    wb.save(path)


def defined_names(path):
    wb = book("Inputs", "Calc")
    ws = wb["Inputs"]
    curve_table(ws)
    ws["E1"], ws["E2"] = make_workbook.day("2026-01-21"), "1Y"
    wb.defined_names.append(DefinedName("Start", attr_text="Inputs!$E$1"))
    wb.defined_names.append(DefinedName("CurveTable", attr_text="Inputs!$A$1:$B$16"))
    wb.defined_names.append(DefinedName("Tenor", localSheetId=1, attr_text="Inputs!$E$2"))
    wb["Calc"]["A1"] = "=_xll.qvl.datefromtenor(Start,Tenor)"
    wb["Calc"]["A2"] = "=QVL.CreateCurve(Start,CurveTable)"
    wb.save(path)


def quoted_sheet_name(path):
    wb = book("Trader's curve", "Book")
    curve_table(wb["Trader's curve"])
    wb["Book"]["A1"] = "=_xll.QVL.CreateCurve('Trader''s curve'!D1,'Trader''s curve'!A1:B16)"
    wb["Book"]["A2"] = '=_xll.QVL.DiscountFactor(A1,"2027-01-20")'
    wb.save(path)


def dynamic_array(path):
    wb = book("Risk")
    ws = wb.active
    reference_objects(ws)
    array(ws, "J1:K5", '=_xll.QVL.Risk(H3,"2026-01-20",200)', cm="1")
    array(ws, "J7:L12", '=_xll.QVL.Risk(H3,"2026-01-20",200)')  # larger than the result
    wb.save(path)
    # The host marks a spilling formula in metadata.xml, which the cell's cm="1" points into.
    with zipfile.ZipFile(path) as z:
        types = z.read("[Content_Types].xml").decode()
        rels = z.read("xl/_rels/workbook.xml.rels").decode()
    metadata = (
        '<metadata xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
        'xmlns:xda="http://schemas.microsoft.com/office/spreadsheetml/2017/dynamicarray">'
        '<metadataTypes count="1"><metadataType name="XLDAPR" minSupportedVersion="120000" '
        'copy="1" pasteAll="1" pasteValues="1" merge="1" splitFirst="1" rowColShift="1" '
        'clearFormats="1" clearComments="1" assign="1" coerce="1" cellMeta="1"/></metadataTypes>'
        '<futureMetadata name="XLDAPR" count="1"><bk><extLst><ext '
        'uri="{bdbb8cdc-fa1e-496e-a857-3c3f30c029c3}"><xda:dynamicArrayProperties '
        'fDynamic="1" fCollapsed="0"/></ext></extLst></bk></futureMetadata>'
        '<cellMetadata count="1"><bk><rc t="1" v="0"/></bk></cellMetadata></metadata>')
    rewrite(path, {
        "xl/metadata.xml": metadata,
        "[Content_Types].xml": types.replace("</Types>", (
            '<Override PartName="/xl/metadata.xml" ContentType="application/vnd.openxmlformats-'
            'officedocument.spreadsheetml.sheetMetadata+xml"/></Types>')),
        "xl/_rels/workbook.xml.rels": rels.replace("</Relationships>", (
            '<Relationship Id="rIdMeta" Type="http://schemas.openxmlformats.org/officeDocument/'
            '2006/relationships/sheetMetadata" Target="metadata.xml"/></Relationships>')),
    })


def zip_bomb(path):
    """A sheet part that inflates to 257 MiB from about 260 KB."""
    book("Sheet1").save(path)
    rewrite(path, {"xl/worksheets/sheet1.xml": b" " * (257 << 20)})


# (name, builder, exit status, texts its output shows, cached values of the copy --out writes).
# The files qvl-host refuses and the formulas it leaves are tests/cli/workbook_test.cpp's,
# but for a zip bomb.
CASES = [
    ("shared", shared_formulas, 0, ["Days!B3 = QVL.DayCountACT360(A3,$C$1)"],
     {"Days!B1": 365 / 360, "Days!B2": 275 / 360, "Days!B3": 184 / 360}),
    ("names", defined_names, 0, [], {"Calc!A1": 46408, "Calc!A2": "#YC_1"}),
    ("quoted", quoted_sheet_name, 0, [], {"Book!A1": "#YC_1", "Book!A2": 0.9657051100400302}),
    ("dynamic", dynamic_array, 0, [], {"Risk!K2": -4365.03, "Risk!J5": "Trade Date",
                                       "Risk!K12": "#N/A", "Risk!L7": "#N/A",
                                       "Risk!J12": "#N/A"}),
    ("bomb", zip_bomb, 2, ["bomb.xlsx: xl/worksheets/sheet1.xml expands beyond the cap of "
                                 "256 MiB"], None),
]


def figure(value):
    """A value as reference.out shows it: numbers to 15 significant digits."""
    if value is None:
        return ""
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return format(float(value), ".15g")
    return value


def cached(path):
    """Each cell's value as stored, dates as the serial numbers they are."""
    wb = openpyxl.load_workbook(path, data_only=True)
    values = {}
    for ws in wb.worksheets:
        for row in ws.iter_rows():
            for c in row:
                v = c.value
                if isinstance(v, (datetime.datetime, datetime.date)):
                    v = to_excel(v)
                values[f"{ws.title}!{c.coordinate}"] = v
    return values


@pytest.fixture(scope="session")
def runs():
    """Every case and the example workbook through qvl-host, then every copy it wrote through
    one LibreOffice run; gives each name's result, its copy and the CSV folder."""
    folder, profile = WORK / "run", WORK / "libreoffice-profile"
    for fresh in (folder, profile):
        shutil.rmtree(fresh, ignore_errors=True)
    folder.mkdir()
    results = {}
    for name, build, *_ in CASES:
        source, copy = folder / f"{name}.xlsx", folder / f"{name}-out.xlsx"
        build(source)
        results[name] = (host("--workbook", source, "--out", copy), copy)
    made = folder / "example-made.xlsx"
    calls = make_workbook.make(HOST, made)
    copy = folder / "example-out.xlsx"
    results["example"] = (host("--workbook", EXAMPLES / "qvl-example.xlsx", "--out", copy), copy)
    results["example-made"] = (None, made)

    written = [str(copy) for _, copy in results.values() if copy.exists()]
    subprocess.run(["soffice", "--headless", f"-env:UserInstallation={profile.as_uri()}",
                    "--convert-to", CSV_FILTER, "--outdir", str(folder / "csv"), *written],
                   check=True, capture_output=True, timeout=300)
    return results, calls, folder / "csv"


@pytest.mark.parametrize("name, build, status, shown, values", CASES, ids=[c[0] for c in CASES])
def test_documented_answer(runs, name, build, status, shown, values):
    run, copy = runs[0][name]
    output = run.stdout + run.stderr
    assert run.returncode == status, output
    for text in shown:
        assert text in output
    if values is None:
        assert not copy.exists()
        return
    stored = cached(copy)
    for cell, value in values.items():
        assert figure(stored[cell]) == figure(value), cell


def libreoffice_cell(csv_folder, copy, cell):
    sheet, ref = cell.rsplit("!", 1)
    rows = list(csv.reader(open(csv_folder / f"{copy.stem}-{sheet}.csv", encoding="utf-8")))
    c = openpyxl.utils.cell.coordinate_from_string(ref)
    column = openpyxl.utils.cell.column_index_from_string(c[0]) - 1
    return rows[c[1] - 1][column] if c[1] <= len(rows) and column < len(rows[c[1] - 1]) else ""


# The plain single-cell formulas, whose stored values LibreOffice shows.
PLAIN_FORMULAS = {"names": ["Calc!A1", "Calc!A2"], "quoted": ["Book!A1", "Book!A2"],
                  "dynamic": ["Risk!H1", "Risk!H3"]}


@pytest.mark.parametrize("name", ["shared", "names", "quoted", "dynamic", "example",
                                  "example-made"])
def test_libreoffice_keeps_sheets_and_cached_values(runs, name):
    results, calls, csv_folder = runs
    copy = results[name][1]
    wb = openpyxl.load_workbook(copy)
    for title in wb.sheetnames:
        assert (csv_folder / f"{copy.stem}-{title}.csv").exists(), title
    plain = PLAIN_FORMULAS.get(name, [])
    if name.startswith("example"):
        plain = [f"{sheet}!{cell}" for sheet, cell, rows, columns, _ in calls
                 if rows * columns == 1]
    stored = cached(copy)
    for cell in plain:
        shown, value = libreoffice_cell(csv_folder, copy, cell), stored[cell]
        # LibreOffice recalculates a formula cell whose stored value is a boolean or an error
        # whatever the file says, so such a QVL cell shows #NAME? there.
        if isinstance(value, bool) or value in ERRORS:
            continue
        if isinstance(value, (int, float)):
            # Numbers come with 15 significant digits, dates in the cell's date format.
            if "-" in shown[1:]:
                shown = to_excel(datetime.date.fromisoformat(shown))
            assert float(shown) == pytest.approx(value, rel=1e-14), cell
        else:
            assert shown == value, cell


def test_example_shows_the_reference_figures(runs):
    """Each call of reference.qvl has its cell or range in the example workbook, which shows
    there, recalculated by qvl-host, what reference.out shows (the CLI tests pin that file to
    the same script's transcript)."""
    results, calls, _ = runs
    run = host("--json", EXAMPLES / "reference.qvl")
    expected = {}
    for line in run.stdout.splitlines():
        entry = json.loads(line)
        expected[entry["formula"].split(" = ", 1)[-1]] = entry["value"]
    stored = cached(results["example"][1])
    laid_out = {reference: (sheet, cell, rows, columns)
                for sheet, cell, rows, columns, reference in calls if reference}
    assert sorted(laid_out) == sorted(expected)

    for reference, value in expected.items():
        sheet, cell, rows, columns = laid_out[reference]
        grid = value if isinstance(value, list) else [[value]]
        assert (len(grid), len(grid[0])) == (rows, columns), reference
        top = openpyxl.utils.cell.coordinate_from_string(cell)
        left = openpyxl.utils.cell.column_index_from_string(top[0])
        for r, row in enumerate(grid):
            for c, v in enumerate(row):
                ref = f"{sheet}!{openpyxl.utils.get_column_letter(left + c)}{top[1] + r}"
                assert figure(stored[ref]) == figure(v), ref


def test_committed_example_is_what_the_script_makes(runs):
    """Formulas, constants and cached values of examples/qvl-example.xlsx against a fresh run
    of examples/make_workbook.py; regenerate it with that script when this fails."""
    made, committed = runs[0]["example-made"][1], EXAMPLES / "qvl-example.xlsx"
    assert cached(made) == cached(committed)
    made_wb, committed_wb = openpyxl.load_workbook(made), openpyxl.load_workbook(committed)
    assert made_wb.sheetnames == committed_wb.sheetnames
    for a, b in zip(made_wb.worksheets, committed_wb.worksheets):
        assert [[c.value for c in row] for row in a.iter_rows()] == \
            [[c.value for c in row] for row in b.iter_rows()], a.title
        assert a.formula_attributes == b.formula_attributes, a.title
    with zipfile.ZipFile(committed) as z:
        assert "<Application>Microsoft Excel</Application>" in z.read("docProps/app.xml").decode()

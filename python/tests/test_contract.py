"""The wrong arguments every front end refuses (tests/contract/cases.tsv),
through the Python API: each a ValueError whose message holds the library's
words for the rule it breaks."""
import csv
import pathlib

import numpy as np
import pytest

import tessora

ROOT = pathlib.Path(__file__).resolve().parents[2]
PLOTS = np.genfromtxt(ROOT / "examples" / "plots.csv", delimiter=",", skip_header=1)[:, 1:]  # NA -> NaN
TABLES = {"plots": PLOTS, "one": PLOTS[:1], "none": PLOTS[:, :0]}


def read_cases():
    lines = (ROOT / "tests" / "contract" / "cases.tsv").read_text().splitlines()
    rows = list(csv.DictReader((line for line in lines if not line.startswith("#")), delimiter="\t"))
    assert len(rows) >= 12
    return rows


def option_value(text):
    if text in ("true", "false"):
        return text == "true"
    try:
        return int(text)
    except ValueError:
        return text


def call(case, coefficient):
    x = TABLES[case["table"]]
    options = {}
    if case["options"] != "-":
        for item in case["options"].split(","):
            key, value = item.split("=", 1)
            options[key] = option_value(value)
    action, _, argument = case["action"].partition(":")
    if action == "matrix":
        return tessora.matrix(x, coefficient, **options)
    if action == "neighbors":
        return tessora.neighbors(x, coefficient, int(argument), **options)
    if action == "radius":
        return tessora.radius_graph(x, coefficient, float(argument), **options)
    raise AssertionError(f"unknown action {case['action']}")


CASES = read_cases()


@pytest.mark.parametrize("case", CASES, ids=[c["name"] for c in CASES])
def test_python_refuses_with_the_librarys_message(case):
    # A number is tried as text and as an int: both are the same coefficient.
    forms = [case["coefficient"]]
    if case["coefficient"].isdigit():
        forms.append(int(case["coefficient"]))
    for coefficient in forms:
        with pytest.raises(ValueError) as info:
            call(case, coefficient)
        assert case["message"] in str(info.value), (coefficient, str(info.value))


def test_the_tables_are_read_as_the_cases_describe():
    assert PLOTS.shape == (8, 10) and np.isnan(PLOTS).sum() == 10
    assert TABLES["one"].shape == (1, 10) and TABLES["none"].shape == (8, 0)

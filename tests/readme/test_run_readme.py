"""The README runner's own rules: which blocks run, which text is their
expected output, and how outputs are compared."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import run_readme  # noqa: E402


def blocks(tmp_path, text):
    readme = tmp_path / "README.md"
    readme.write_text(text)
    return run_readme.blocks_of(readme)


def test_output_blocks_attach_to_the_block_before_them(tmp_path):
    found = blocks(tmp_path, "```sh\necho hi\n```\n\n```text\nhi\n```\nprose\n```text\nnot output\n```\n")
    assert [b.language for b in found] == ["sh", "text"]
    assert found[0].expected == "hi\n"
    assert found[1].text == "not output\n"


def test_prose_between_keeps_a_text_block_apart(tmp_path):
    found = blocks(tmp_path, "```python\nprint(1)\n```\nIt prints:\n```text\n1\n```\n")
    assert found[0].expected is None


def test_a_not_run_comment_skips_the_next_block_only(tmp_path):
    found = blocks(tmp_path, "<!-- not run: needs a display -->\n```sh\nx\n```\n```sh\ny\n```\n")
    assert found[0].skip == "needs a display"
    assert found[1].skip is None


def test_outputs_compare_line_by_line_with_dots_for_any_lines():
    cases = [
        ("a\nb\n", "a\nb\n", True),
        ("a\nb\n", "a\nb   \n\n", True),   # trailing blanks and newlines
        ("a\nb\n", "a\nc\n", False),
        ("a\n...\nz\n", "a\nb\nc\nz\n", True),
        ("a\n...\nz\n", "a\nz\n", True),
        ("a\n...\n", "a\n", True),
        ("...\nz\n", "a\nb\n", False),
        ("a\n", "a\nb\n", False),
    ]
    for expected, actual, same in cases:
        assert run_readme.matches(expected, actual) == same, (expected, actual)


def test_a_file_comment_ties_a_block_to_a_file(tmp_path):
    found = blocks(tmp_path, "<!-- file: examples/a.cpp -->\n```cpp\nint x;\n```\n<!-- file: b.txt -->\n```text\nout\n```\n")
    assert [(b.same_as, b.expected) for b in found] == [("examples/a.cpp", None), ("b.txt", None)]


def test_the_registry_table_is_read_cell_by_cell(tmp_path):
    readme = tmp_path / "README.md"
    readme.write_text(run_readme.REGISTRY + "\n| No. | a |\n|---|---|\n| 1 | `x` | y |\n| 2 | z | w |\n\nafter\n")
    assert run_readme.registry_table(readme) == [["1", "x", "y"], ["2", "z", "w"]]

# The command line's documents against the program: every option and
# subcommand of --help in the man page and in the README's "Command line"
# section, and the coefficient lists there the registry's own (as
# --list-coefficients prints it).
#   docs_check.py TESSORA SOURCE_DIR
import re, subprocess, sys

T, ROOT = sys.argv[1], sys.argv[2]
failures = []

def check(cond, what):
    if not cond:
        failures.append(what)

def output(*args):
    return subprocess.run([T, *args], capture_output=True, text=True, check=True).stdout

man = open(ROOT + "/cli/tessora.1").read().replace("\\-", "-").replace("\\fB", "").replace("\\fR", "").replace("\\fI", "")
readme = open(ROOT + "/README.md").read()
start = readme.index("\n## Command line\n")
section = readme[start:readme.index("\n## ", start + 1)]

# Every option of both helps, and the subcommand.
for args in [["--help"], ["merge", "--help"]]:
    text = output(*args)
    options = text[text.index("Options:"):]
    names = set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", options.split("\n\n")[0]))
    check(len(names) > 5, "no options found in tessora %s" % " ".join(args))
    for name in sorted(names):
        check(re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(name), man), "man page lacks %s (%s)" % (name, " ".join(args)))
        check(re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(name), section), "README lacks %s (%s)" % (name, " ".join(args)))
check(".B tessora merge" in man and ".SH MERGE" in man, "the man page lacks the merge synopsis and section")
check("tessora merge [OPTIONS] PART..." in section, "README lacks the merge synopsis")

# The registry's lists, as the library writes them.
rows = [line.split("\t") for line in output("--list-coefficients").splitlines()]
header, rows = rows[0], rows[1:]
check(header == ["number", "menu name", "slug", "kind", "diagonal", "scalable", "nearest"], "--list-coefficients header")
col = {name: i for i, name in enumerate(header)}

def numbers(test):
    picked = [int(r[0]) for r in rows if test(r)]
    runs, out = [], []
    for v in picked:
        if runs and v == runs[-1][-1] + 1:
            runs[-1].append(v)
        else:
            runs.append([v])
    for r in runs:
        out += ["%d-%d" % (r[0], r[-1])] if len(r) >= 3 else [str(v) for v in r]
    return ", ".join(out)

similar = numbers(lambda r: r[col["kind"]] == "similarity")
scalable = numbers(lambda r: r[col["scalable"]] == "yes")
count = len(rows)
help_text = output("--help")
for doc, text in [("--help", help_text), ("man page", man), ("README", section)]:
    check(similar in text, "%s lacks the similarities %s" % (doc, similar))
    check(scalable in text, "%s lacks the scalable coefficients %s" % (doc, scalable))
    check("1-%d" % count in text, "%s lacks the menu's range 1-%d" % (doc, count))
    # No other list of coefficient numbers: a stale copy would differ.
    for found in re.findall(r"\(((?:\d+, ){2,}\d+(?:-\d+)?|(?:\d+, )+\d+-\d+)(?: only)?\)", text):
        check(found in (similar, scalable), "%s lists coefficients %s, which is no list of the registry" % (doc, found))
check("\t".join(header) in section, "README lacks the --list-coefficients header")

for f in failures:
    print("FAIL:", f)
print("%d failures" % len(failures))
sys.exit(1 if failures else 0)

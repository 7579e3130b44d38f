# make_table.py ROWS COLS SEED FORM > FILE: a random table with missing
# values whose first row and column are complete (no pair lacks a shared
# variable). FORM: data (title, "R C", rows, -1 missing) or csv/tsv (names,
# NA missing).
import random, sys
rows, cols, seed, form = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rng = random.Random(seed)
def cell(r, c):
    if r > 0 and c > 0 and rng.random() < 0.15:
        return None
    x = rng.random()
    if x < 0.2:
        return "0"
    if x < 0.3:
        return str(rng.randint(1, 9))
    return "%.*f" % (rng.randint(0, 4), rng.lognormvariate(0, 2))
table = [[cell(r, c) for c in range(cols)] for r in range(rows)]
if form == "data":
    print("RANDOM TABLE %d x %d SEED %d" % (rows, cols, seed))
    print(rows, cols)
    for row in table:
        print(" ".join("-1" if v is None else v for v in row))
else:
    sep = "," if form == "csv" else "\t"
    print(sep.join([""] + ["v%d" % c for c in range(cols)]))
    for r, row in enumerate(table):
        print(sep.join(["s%d" % r] + ["NA" if v is None else v for v in row]))

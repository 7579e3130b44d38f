# 500,000 rows of two values: a million values in all; every fifth row has
# its second value missing.
awk 'BEGIN {
  print "A MILLION VALUES"
  print "500000 2"
  for (i = 0; i < 500000; i++) {
    a = i % 10
    if (i % 5 == 4) print a, -1; else print a, a + 0.5
  }
}' > DATA.TXT

# A title line and two data lines of 1,200,000 characters each: 200,000
# values per line, every second value of the second line missing.
awk 'BEGIN {
  t = "A TITLE LINE OF 1200000 CHARACTERS, OF WHICH THE FIRST 100 ARE KEPT: "
  printf "%s", t
  for (i = length(t); i < 1200000; i++) printf "%d", i % 10
  printf "\n2 200000\n"
  for (i = 0; i < 200000; i++) printf "  1.25"
  printf "\n"
  for (i = 0; i < 200000; i++) printf "%s", (i % 2 ? "    -1" : "  2.25")
  printf "\n"
}' > DATA.TXT

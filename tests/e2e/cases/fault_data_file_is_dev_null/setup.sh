# The data file opens but ends at once.
ln -s /dev/null DATA.TXT

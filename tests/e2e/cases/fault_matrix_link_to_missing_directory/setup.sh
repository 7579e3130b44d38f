# MATRIX.TXT cannot be created: its link points into a missing directory.
ln -s NOWHERE/MATRIX.TXT MATRIX.TXT

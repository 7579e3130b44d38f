# Every write to MATRIX.TXT fails as on a full disk.
ln -s /dev/full MATRIX.TXT

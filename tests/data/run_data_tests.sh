#!/bin/sh
# Data tests: the checker on the shipped DATA, then the checker's own tests
# (each breaks a copy of DATA in one way and expects a clear failure).
# Usage: sh tests/data/run_data_tests.sh   (from any directory)
# Needs /usr/bin/python3 with Pillow (Debian: python3-pil).
set -u
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3

echo "== check_data.py on DATA"
if ! "$py" "$here/check_data.py"; then
    echo "0 passed, 1 failed"
    exit 1
fi
echo "== checker tests"
"$py" "$here/test_check_data.py"

#!/bin/sh
# Regenerate every picture into a temporary folder and compare it byte for
# byte with the committed DATA (and the desktop icons with packaging/icons);
# also report committed pictures that the generator no longer makes.
# Usage: sh tests/data/check_reproducible.sh   (from any directory)
# Needs /usr/bin/python3 with Pillow (python3-pil) and fonts-dejavu-core.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

/usr/bin/python3 "$root/art/make_art.py" "$tmp" >/dev/null || { echo "generator failed"; exit 1; }

bad=0
count=0
for f in $(cd "$tmp" && find . -type f | sort); do
    count=$((count + 1))
    if [ ! -f "$root/DATA/$f" ]; then
        echo "not committed: DATA/${f#./}"
        bad=$((bad + 1))
    elif ! cmp -s "$tmp/$f" "$root/DATA/$f"; then
        echo "differs: DATA/${f#./}"
        bad=$((bad + 1))
    fi
done
for f in $(cd "$root/DATA" && find . -type f \( -name '*.png' -o -name '*.bmp' -o -name '*.tga' -o -name '*.ico' \) | sort); do
    if [ ! -f "$tmp/$f" ]; then
        echo "no longer generated: DATA/${f#./}"
        bad=$((bad + 1))
    fi
done
# The desktop icons of the installation come from the same generator.
/usr/bin/python3 "$root/art/make_icons.py" "$tmp/icons" >/dev/null || { echo "icon generator failed"; exit 1; }
for f in $(cd "$tmp/icons" && find . -type f | sort); do
    count=$((count + 1))
    if ! cmp -s "$tmp/icons/$f" "$root/packaging/icons/$f"; then
        echo "differs or not committed: packaging/icons/${f#./}"
        bad=$((bad + 1))
    fi
done
if [ "$bad" -ne 0 ]; then
    echo "$bad of $count generated files do not match DATA: rerun art/make_art.py and commit"
    exit 1
fi
echo "all $count generated files match DATA byte for byte"

#!/usr/bin/env bash
# Fails when a C++ file of the repository (tracked, or new and not ignored) differs from what the
# repository's .clang-format makes of it, and lists those files. Uses Debian's clang-format 14
# (clang-format-14 when installed under that name); other versions format a few constructs
# differently. Fix with: clang-format -i FILE...
# Usage: scripts/check_format.sh [SOURCE_DIR]   (the repository root by default)
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"
tool=""
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null 2>&1; then tool="$candidate"; break; fi
done
if [ -z "$tool" ]; then
  echo "check_format: clang-format is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h')
else
  mapfile -d '' files < <(find framework game platform tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "check_format: no C++ files found under $(pwd)" >&2
  exit 1
fi
# One run over every file; each place that differs is reported as "FILE:LINE:COL: error: ...".
# A file deleted in the work tree but still tracked is not ours to judge.
existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
report=$("$tool" --dry-run --Werror "${existing[@]}" 2>&1) && status=0 || status=$?
mapfile -t bad < <(printf '%s\n' "$report" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ "$status" -ne 0 ] && [ ${#bad[@]} -eq 0 ]; then
  echo "check_format: $tool failed:" >&2
  printf '%s\n' "$report" >&2
  exit 1
fi
if [ ${#bad[@]} -gt 0 ]; then
  echo "check_format: ${#bad[@]} of ${#files[@]} C++ files are not formatted ($("$tool" --version | head -1)):"
  printf '  %s\n' "${bad[@]}"
  echo "fix with: $tool -i ${bad[*]}"
  exit 1
fi
echo "check_format: all ${#files[@]} C++ files formatted ($("$tool" --version | head -1))"

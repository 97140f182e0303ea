#!/usr/bin/env bash
# The include rule of scripts/check_layout.sh over a table of cases: one source file with one
# include, in a small tree of its own, and whether the check must pass or fail. A failing case
# must name the file, the line and the header.
set -uo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check_layout.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# FILE | INCLUDE LINE | pass or fail
cases=(
  'game/battle/unit.cpp|#include "game/screens/states.h"|fail'
  'game/battle/unit.cpp|#include "game/screens/minimap.h"|fail'
  'game/battle/hexmap.h|#include <game/screens/menu.h>|fail'
  'game/battle/sub/part.cpp|#include "game/screens/gameplay_screen.h"|fail'
  'game/battle/player.cpp|#include "game/main.h"|fail'
  'game/battle/player.cpp|#  include "game/startup.h"|fail'
  'game/battle/player.cpp|#include "game/battle/../screens/states.h"|fail'
  'game/battle/player.cpp|#include "../screens/states.h"|fail'
  'game/battle/player.cpp|#include "states.h"|fail'
  'game/battle/player.cpp|#if __has_include("game/screens/states.h")|fail'
  'game/record/orders.cpp|#include "game/screens/states.h"|fail'
  'game/net/session.cpp|#include "game/main.h"|fail'
  'framework/gfx.cpp|#include "game/battle/unit.h"|fail'
  'platform/d3d9/x.cpp|#include "framework/err.h"|fail'
  'platform/window/x.cpp|#include "game/main.h"|fail'
  'game/battle/unit.cpp|#include "game/battle/gameplay.h"|pass'
  'game/battle/unit.cpp|#include "game/record/record.h"|pass'
  'game/battle/unit.cpp|#include "framework/gui/gui.h"|pass'
  'game/battle/unit.cpp|#include "platform/d3d9.h"|pass'
  'game/battle/unit.cpp|#include <vector>|pass'
  'game/battle/unit.cpp|// #include "game/screens/states.h" is what the screen does|pass'
  'game/record/orders.cpp|#include "game/battle/unit.h"|pass'
  'game/screens/menu.cpp|#include "game/screens/states.h"|pass'
  'game/screens/load_screen.cpp|#include "game/record/watch.h"|pass'
  'game/main.cpp|#include "game/screens/states.h"|pass'
  'framework/gui/gui.cpp|#include "platform/d3d9.h"|pass'
  'platform/image/image_file.cpp|#include "platform/win32.h"|pass'
)

failures=0
n=0
for entry in "${cases[@]}"; do
  IFS='|' read -r file include expect <<<"$entry"
  n=$((n + 1))
  tree="$work/$n"
  mkdir -p "$tree/$(dirname "$file")" "$tree/platform"
  printf '#pragma once\n' >"$tree/platform/win32.h"
  printf '#include <cstdint>\n' >>"$tree/platform/win32.h"
  printf '// one include\n%s\n' "$include" >"$tree/$file"
  out=$(bash "$check" "$tree" 2>&1) && status=0 || status=$?
  header=$(printf '%s' "$include" | sed -nE 's/.*["<]([^">]+)[">].*/\1/p')
  if [ "$expect" = fail ]; then
    if [ "$status" -eq 0 ] || ! grep -qF "$file:2: includes \"$header\"" <<<"$out"; then
      echo "FAIL: $file with '$include' should be reported as $file:2 (status $status):"
      printf '%s\n' "$out"
      failures=$((failures + 1))
    fi
  elif [ "$status" -ne 0 ]; then
    echo "FAIL: $file with '$include' should pass (status $status):"
    printf '%s\n' "$out"
    failures=$((failures + 1))
  fi
done
echo "$((n - failures)) of $n cases as expected"
[ "$failures" -eq 0 ]

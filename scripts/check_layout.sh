#!/usr/bin/env bash
# Fails when an #include crosses the folders the wrong way, and names each file, line and include:
# - game/battle/ (the battle model) includes nothing from game/screens/ nor the program's entry at
#   game/ itself (main.h pulls in the states); what the model needs from the battle screen goes
#   through game/battle/gameplay.h. The same holds for game/record/ and game/net/, which drive the
#   model without a screen and which the model calls in turn;
# - platform/ includes nothing from framework/ or game/, framework/ nothing from game/;
# - every project header is named from the repository root ("game/battle/unit.h"), so that the
#   rules above see where it lives (a relative "../screens/states.h" is reported too).
# Usage: scripts/check_layout.sh [SOURCE_DIR]   (the repository root by default)
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"

violations=0
report() {
  echo "$1:$2: $3  ($4)"
  violations=$((violations + 1))
}

# Every include of one folder as "FILE<TAB>LINE<TAB>HEADER<TAB>OPENING QUOTE", __has_include tests
# included.
includes_of() {
  [ -d "$1" ] || return 0
  find "$1" \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
    { xargs -0 -r grep -nHE '^[[:space:]]*#[[:space:]]*(include|if|elif).*["<][^">]+[">]' || true; } |
    sed -nE 's/^([^:]+):([0-9]+):.*include[[:space:](]*(["<])([^">]+)[">].*/\1\t\2\t\4\t\3/p'
}

checked=0
while IFS=$'\t' read -r file line header quote; do
  checked=$((checked + 1))
  case "$file" in
  game/battle/* | game/record/* | game/net/*)
    case "$header" in
    game/screens/* | game/*/../*) report "$file" "$line" "includes \"$header\"" "the battle model, records and network play include no screen" ;;
    game/*/*) ;;
    game/*) report "$file" "$line" "includes \"$header\"" "the battle model, records and network play include no screen; the program's entry is above them" ;;
    esac ;;
  framework/*)
    case "$header" in
    game/*) report "$file" "$line" "includes \"$header\"" "the framework includes nothing of the game" ;;
    esac ;;
  platform/*)
    case "$header" in
    game/* | framework/*) report "$file" "$line" "includes \"$header\"" "the platform layer includes only itself" ;;
    esac ;;
  esac
  # Quoted headers of the project are named from the root; system headers (<...>) are not ours.
  case "$header" in
  game/* | framework/* | platform/* | tests/* | bench/*) ;;
  *)
    if [ "$quote" = '"' ]; then
      report "$file" "$line" "includes \"$header\"" "project headers are named from the repository root"
    fi ;;
  esac
done < <(for dir in game framework platform; do includes_of "$dir"; done)

if [ "$checked" -eq 0 ]; then
  echo "check_layout: no includes found under $(pwd)" >&2
  exit 1
fi
if [ "$violations" -gt 0 ]; then
  echo "check_layout: $violations include(s) cross the folders the wrong way"
  exit 1
fi
echo "check_layout: $checked includes of game/, framework/ and platform/ keep to their folders"

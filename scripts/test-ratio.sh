#!/usr/bin/env bash
# The size of the tests beside the size of the program: non-blank lines of tests/ (the builders in
# tests/support left out) over non-blank lines of src/. Prints both counts and the ratio, and fails when
# the ratio is above the budget.
#
#   scripts/test-ratio.sh [BUDGET]      BUDGET: the largest ratio allowed (default 0.40)
set -euo pipefail
cd "$(dirname "$0")/.."
budget=${1:-0.40}

lines() { # non-blank lines of the files found under $1 with the extensions given, less those under $2
    find "$1" -type f \( "${@:3}" \) ${2:+-not -path "$2/*"} -print0 | xargs -0 cat | grep -c '[^[:space:]]'
}
tests=$(lines tests tests/support -name '*.cpp' -o -name '*.h' -o -name '*.py' -o -name '*.sh')
code=$(lines src "" -name '*.cpp' -o -name '*.h')
ratio=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", t / c }')
echo "tests: $tests lines; src: $code lines; ratio $ratio (budget $budget)"
awk -v r="$ratio" -v b="$budget" 'BEGIN { exit !(r <= b) }' || {
    echo "The tests are larger than the budget: make them leaner before adding more." >&2
    exit 1
}

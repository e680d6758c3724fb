#!/usr/bin/env bash
# Removing one entry from a 1 GiB archive beside a plain copy of it. The remove rewrites the whole archive
# into a new file, flushes it to disk and renames it over the old one; cp only copies, so it is also
# timed with the copy flushed (sync FILE), and onto an existing copy and flushed: the fair comparison for
# a file that replaces another and must survive a crash (goal: remove at most 1.2 times that).
#
#   bench/remove_vs_cp.sh [KELVOT_CLI] [WORK_FOLDER]
#
# Defaults: build/bin/kelvot-cli and a fresh folder under $TMPDIR (or /tmp), removed at the end. Needs
# 3 GiB free there. Runs every measure five times and prints the median.
set -euo pipefail
cd "$(dirname "$0")/.."

cli=$(realpath "${1:-build/bin/kelvot-cli}")
work=${2:-$(mktemp -d "${TMPDIR:-/tmp}/kelvot_remove_bench_XXXXXX")}
[[ -n ${2:-} ]] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work/files"

# 256 files of 4 MiB, packed into one archive of 1 GiB and a few KB.
if [[ ! -f $work/BASE.DAT ]]; then
    head -c $((4 << 20)) /dev/urandom > "$work/files/seed.bin"
    for i in $(seq -w 0 255); do
        # Each file differs from the others in its first bytes; the rest is the same random block.
        { printf 'entry %s' "$i"; tail -c +10 "$work/files/seed.bin"; } > "$work/files/E$i.MIP"
    done
    rm "$work/files/seed.bin"
    "$cli" create "$work/files" BASE.DAT > /dev/null
    mv "$work/files/BASE.DAT" "$work/BASE.DAT"
fi
ls -l "$work/BASE.DAT"

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure() { # name, setup command, timed command
    local name=$1 setup=$2 timed=$3 start end
    for _ in 1 2 3 4 5; do
        eval "$setup"
        sync
        start=$(now)
        eval "$timed"
        end=$(now)
        echo $(((end - start) / 1000000))
    done | median | { read -r ms; echo "$name: $ms ms"; echo "$ms" > "$work/$name.ms"; }
}

# The first entry goes, so every byte behind it moves.
measure remove 'cp "$work/BASE.DAT" "$work/EDIT.DAT"' '"$cli" remove "$work/EDIT.DAT" E000.MIP > /dev/null'
measure cp 'rm -f "$work/COPY.DAT"' 'cp "$work/BASE.DAT" "$work/COPY.DAT"'
measure cp_sync 'rm -f "$work/COPY.DAT"' 'cp "$work/BASE.DAT" "$work/COPY.DAT" && sync "$work/COPY.DAT"'
measure cp_onto 'cp "$work/BASE.DAT" "$work/COPY.DAT"' 'cp "$work/BASE.DAT" "$work/COPY.DAT" && sync "$work/COPY.DAT"'

remove=$(cat "$work/remove.ms") cp=$(cat "$work/cp.ms") cp_sync=$(cat "$work/cp_sync.ms")
cp_onto=$(cat "$work/cp_onto.ms")
awk -v r="$remove" -v c="$cp" -v s="$cp_sync" -v o="$cp_onto" 'BEGIN {
    printf "remove / cp: %.2f\nremove / (cp + sync): %.2f\n", r / (c ? c : 1), r / (s ? s : 1)
    printf "remove / (cp onto a copy + sync): %.2f\n", r / (o ? o : 1) }'

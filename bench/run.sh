#!/usr/bin/env bash
# Kelvot beside the tools people would use instead, timed as whole programs, the window with its largest
# archive, and the in-process benchmarks; prints the results as Markdown tables.
#
#   bench/run.sh [RUNS]      RUNS: how many times each program runs (default 5); the median is shown
#
# Builds what it needs (Release, in build-perf), writes the test data with build-perf/bench/make_bench_data
# into a fresh folder under $TMPDIR (or /tmp; about 15 GiB at the peak, removed at the end) and times:
#   create       kelvot-cli create         tar -cf of the same files (and tar -cf, then sync of the tar)
#   extract      kelvot-cli extract (all)  tar -xf of a tar of the same files
#   remove, add  kelvot-cli remove of the first entry, add of a file whose name is taken (both rewrite
#                the whole archive, flushed to disk before it replaces the old one)
#                                          cp of the archive (and cp, then sync of the copy; and cp onto a
#                                          copy of the archive, then sync)
#   list         kelvot-cli list           tar -tf
#   export       kelvot-cli export --format bmp of 1,000 pictures
#                                          one mogrify writing the same BMP files (BMP3, masks too, the same
#                                          bit depths) from the same pixels: TGA files with the colour table
#                                          and indices where our files have a colour table, else PPM files
#   export png   kelvot-cli export --format png of the same pictures
#                                          mogrify writing PNG files from the same TGA and PPM files (no
#                                          masks: the PNG files carry the transparency)
#   import       kelvot-cli import of a 512 x 512 picture into BIG.DAT with it added (a copy of the 1 GiB
#                archive, flushed)         cp onto a copy of the archive, then sync
#   window       a new window process opening WIN.DAT (32,767 entries, about 2 GiB) once per run, its
#                peak memory, and the filter changing in one window
# The runs of a comparison take turns, so a busy moment of the machine falls on all of them; pending
# writes are flushed (sync) before each run and are not charged to it. MOGRIFY names another ImageMagick
# mogrify (default: Debian's, /usr/bin/mogrify, when present).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build="build-perf"

scripts/install-deps.sh
# -O2, as the programs built by scripts/run.sh and test.sh (RelWithDebInfo) are.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DKELVOT_WERROR=ON > /dev/null
cmake --build "$build" --target kelvot-cli make_bench_data decode_bench open_window_bench \
    window_steps_window_bench > /dev/null

cli=$(realpath "$build/bin/kelvot-cli")
if [[ -x /usr/bin/mogrify ]]; then mogrify=${MOGRIFY:-/usr/bin/mogrify}; else mogrify=${MOGRIFY:-mogrify}; fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvot_bench_XXXXXX")
trap 'chmod -R u+w "$work" 2> /dev/null; rm -rf "$work"' EXIT
# The window programs keep their settings (recent archives) here, not in the user's.
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# --- in-process benchmarks, first: they need none of the data below ------------------------------------

echo "In-process benchmarks ..." >&2
gbench() { # program, then its options; CSV lines of the medians: name,iterations,real_time,cpu_time,...
    if ((runs > 1)); then
        "$@" --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true --benchmark_format=csv \
            2> /dev/null | grep '_median"'
    else # one run has no aggregates: its lines stand for the medians
        "$@" --benchmark_format=csv 2> /dev/null | grep '^"' | sed -E 's/^"([^"]*)"/"\1_median"/'
    fi
}
decode=$(gbench "$build/bench/decode_bench")
steps=$(gbench "$build/bench/window_steps_window_bench")

# --- whole programs ------------------------------------------------------------------------------------

echo "Writing the test data into $work ..." >&2
"$build/bench/make_bench_data" "$work"
for set in many pics big; do
    tar -cf "$work/$set.tar" -C "$work/$set" .
done
mkdir "$work/out"

declare -A samples

# Runs every variant `runs` times, taking turns: setup_<name> untimed, then cmd_<name> timed. Pending
# writes are flushed first. r counts the runs, so every run can write to names of its own.
run_group() {
    local v t0 t1
    samples=()
    for ((r = 0; r < runs; r++)); do
        for v in "$@"; do
            "setup_$v"
            sync
            t0=${EPOCHREALTIME/./} # microseconds, read without starting a process
            "cmd_$v" > /dev/null
            t1=${EPOCHREALTIME/./}
            samples[$v]+="$((t1 - t0)) "
        done
    done
}
median() { # of the numbers on standard input, rounded
    awk NF | sort -g |
        awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.0f", m }'
}
median_ms() { # of the samples of variant $1, in milliseconds
    tr ' ' '\n' <<< "${samples[$1]}" | awk 'NF { print $1 / 1000 }' | median
}

rows=()
# row WHAT OURS THEIRS-LABEL THEIRS GOAL: ratio = ours / theirs (times)
row() {
    local ratio
    ratio=$(awk -v a="$2" -v b="$4" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    rows+=("| $1 | $2 | $3 | $4 | $ratio | $5 |")
}
out() { echo "$work/out/$1$r"; } # a name of this run
# ext4 makes files slowly for a while after many small ones were deleted, whoever makes them next; so
# the many small files written below stay until the end. Large outputs go at once: that costs little.
forget() { rm -rf "$work"/out/big*; }

echo "Timing the programs ..." >&2
setup_list() { :; }
setup_tar_t() { :; }
cmd_list() { "$cli" list "$work/MANY.DAT"; }
cmd_tar_t() { tar -tf "$work/many.tar"; }
run_group list tar_t
row "list MANY.DAT (32,767 entries)" "$(median_ms list)" "tar -tf" "$(median_ms tar_t)" "<= 1.0"

# create writes the archive into the folder it packs; it is moved out at once (a rename), so the folder
# holds the same files for every run.
for set in many pics big; do
    prefix=$set
    setup_create() { forget; }
    setup_tar_c() { forget; }
    setup_tar_c_sync() { forget; }
    cmd_create() { "$cli" create "$work/$set" "C$r.DAT" && mv "$work/$set/C$r.DAT" "$(out "$prefix"C)"; }
    cmd_tar_c() { tar -cf "$(out "$prefix"T)" -C "$work/$set" .; }
    cmd_tar_c_sync() { tar -cf "$(out "$prefix"S)" -C "$work/$set" . && sync "$(out "$prefix"S)"; }
    run_group create tar_c tar_c_sync
    forget
    label="create: $set/ ($(find "$work/$set" -type f | wc -l) files, $(du -sm "$work/$set" | cut -f1) MiB)"
    row "$label" "$(median_ms create)" "tar -cf" "$(median_ms tar_c)" "<= 1.0"
    row "$label" "$(median_ms create)" "tar -cf, sync" "$(median_ms tar_c_sync)" ""
done

for set in many pics big; do
    prefix=$set
    setup_extract() { forget; }
    setup_tar_x() { forget; mkdir "$(out "$prefix"Y)"; }
    cmd_extract() { "$cli" extract "$work/${set^^}.DAT" "$(out "$prefix"X)"; }
    cmd_tar_x() { tar -xf "$work/$set.tar" -C "$(out "$prefix"Y)"; }
    run_group extract tar_x
    forget
    row "extract all: ${set^^}.DAT" "$(median_ms extract)" "tar -xf" "$(median_ms tar_x)" "<= 1.0"
done

# remove and add rewrite the 1 GiB archive, each run on a fresh copy; cp copies it to a new name, and
# onto a fresh copy of it: replacing a file also frees the old one's blocks and cached pages, as the
# rename over the old archive does.
setup_remove() { forget; cp "$work/BIG.DAT" "$(out bigE)"; }
setup_add() { setup_remove; }
setup_cp() { forget; }
setup_cp_sync() { forget; }
setup_cp_onto() { forget; cp "$work/BIG.DAT" "$(out bigQ)"; }
cmd_remove() { "$cli" remove "$(out bigE)" B000.OTH; }
cmd_add() { "$cli" add "$(out bigE)" "$work/big/B128.OTH"; }
cmd_cp() { cp "$work/BIG.DAT" "$(out bigP)"; }
cmd_cp_sync() { cmd_cp && sync "$(out bigP)"; }
cmd_cp_onto() { cp "$work/BIG.DAT" "$(out bigQ)" && sync "$(out bigQ)"; }
run_group remove add cp cp_sync cp_onto
forget
for edit in remove add; do
    if [[ $edit == remove ]]; then label="remove the first entry of BIG.DAT"; else
        label="add a file whose name BIG.DAT holds (a rebuild)"
    fi
    goal=""
    if [[ $edit == remove ]]; then goal="<= 1.5"; fi
    row "$label" "$(median_ms $edit)" "cp" "$(median_ms cp)" "$goal"
    row "$label" "$(median_ms $edit)" "cp, sync" "$(median_ms cp_sync)" ""
    row "$label" "$(median_ms $edit)" "cp onto a copy, sync" "$(median_ms cp_onto)" ""
done

# export: 1,000 pictures and their masks; ImageMagick reads the same pixels, and writes the same bit
# depths uncompressed. same_bmp counts the files of folder $2 whose size, bit count and compression are
# those of the file of that name in folder $1.
setup_export() { :; }
setup_mogrify() { mkdir -p "$(out m)"; }
cmd_export() { "$cli" export "$work/PICS1K.DAT" "$(out e)" --format bmp; }
cmd_mogrify() { "$mogrify" -path "$(out m)" -format bmp -define bmp:format=bmp3 -compress none "$work"/magick/*; }
same_bmp() {
    perl -e 'my ($ours, $theirs) = @ARGV; my ($n, $same) = (0, 0);
        sub head { open(my $f, "<:raw", $_[0]) or return ""; read($f, my $h, 34); join(",", unpack("x2 V x22 v V", $h)) }
        for my $p (glob("$ours/*")) { (my $q = $p) =~ s/^\Q$ours\E/$theirs/; $n++; $same++ if head($p) eq head($q) }
        print "$same of $n"' "$1" "$2"
}
run_group export mogrify
files=$(find "$work/out/e0" -type f | wc -l)
row "export --format bmp: PICS1K.DAT ($files files)" "$(median_ms export)" \
    "ImageMagick: mogrify (same size, bit depth and compression: $(same_bmp "$work/out/e0" "$work/out/m0"))" \
    "$(median_ms mogrify)" "<= 0.5"

setup_export_png() { :; }
setup_mogrify_png() { mkdir -p "$(out mp)"; }
cmd_export_png() { "$cli" export "$work/PICS1K.DAT" "$(out ep)" --format png; }
cmd_mogrify_png() { "$mogrify" -path "$(out mp)" -format png "$work"/magick/P?????.*; }
run_group export_png mogrify_png
row "export --format png: PICS1K.DAT (1,000 files)" "$(median_ms export_png)" "ImageMagick: mogrify" \
    "$(median_ms mogrify_png)" "<= 0.5"

# import rewrites the 1 GiB archive, with the picture added to it, as every edit does.
cp "$work/BIG.DAT" "$work/BIGPIC.DAT"
"$cli" add "$work/BIGPIC.DAT" "$work/pic/PIC.MIP" > /dev/null
setup_import() { forget; cp "$work/BIGPIC.DAT" "$(out bigI)"; }
setup_cp_onto_pic() { forget; cp "$work/BIGPIC.DAT" "$(out bigQ)"; }
cmd_import() { "$cli" import "$(out bigI)" PIC.MIP "$work/pic/PIC.png"; }
cmd_cp_onto_pic() { cp "$work/BIGPIC.DAT" "$(out bigQ)" && sync "$(out bigQ)"; }
run_group import cp_onto_pic
forget
row "import a 512 x 512 picture into BIG.DAT" "$(median_ms import)" "cp onto a copy, sync" \
    "$(median_ms cp_onto_pic)" "<= 1.5"
# The window: a new process per run opens WIN.DAT once and reports the time of the open (the list filled
# and painted) and its peak memory.
echo "Timing the window ..." >&2
open_once() { "$build/bench/open_window_bench" --open-once "$work/WIN.DAT" 2> /dev/null; }
declare -A opened
for ((r = 0; r < runs; r++)); do
    cat "$work/WIN.DAT" > /dev/null
    opened[warm]+="$(open_once)"$'\n'
done
field() { awk -v k="$2" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }' <<< "${opened[$1]}"; }
filter=$(gbench "$build/bench/open_window_bench" "$work/WIN.DAT")
win_gib=$(stat -c %s "$work/WIN.DAT" | awk '{ printf "%.2f", $1 / 2^30 }')
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- report --------------------------------------------------------------------------------------------

disk=$(findmnt -n -o SOURCE,FSTYPE -T "${TMPDIR:-/tmp}" | tr -s ' ')
device=$(lsblk -no PKNAME,NAME "$(findmnt -n -o SOURCE -T "${TMPDIR:-/tmp}")" 2> /dev/null | head -1 | awk '{print $1}')
rotational=$(cat "/sys/block/${device:-none}/queue/rotational" 2> /dev/null || echo "?")
echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), \
$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) memory; disk $disk \
(rotational: $rotational); load average $load_before before, $load_after after the program runs."
echo "Median of $runs runs each; times in ms; ratio = ours / theirs (lower is better for us)."
echo
echo "| measure | kelvot-cli | theirs | theirs (ms) | ratio | goal |"
echo "|---|---:|---|---:|---:|---|"
printf '%s\n' "${rows[@]}"

echo
echo "Decoding a 512 x 512 picture in the process, in pixels per second, beside memcpy of as many bytes as"
echo "the decoder writes (4-bit rows 128 KiB, 8-bit 256 KiB, 24-bit 768 KiB) into a buffer allocated once;"
echo "goal: ratio >= 0.25."
echo
echo "| decoder | writes (KiB) | Mpx/s | memcpy Mpx/s | ratio |"
echo "|---|---:|---:|---:|---:|"
# Google Benchmark's CSV: items_per_second is the 7th column, the counter output_bytes the 11th.
declare -A copy
while IFS=, read -r name _ _ _ _ _ items _ _ _ bytes; do
    if [[ $name =~ CopyBench ]]; then copy[$(printf '%.0f' "$bytes")]=$items; fi
done <<< "$decode"
kinds=(MIP SRB PBF)
while IFS=, read -r name _ _ _ _ _ items _ _ _ bytes; do
    [[ $name =~ Decode(Picture|Mask)Bench/kind:([0-9])/code:([0-9]) ]] || continue
    what=${BASH_REMATCH[1]} kind=${kinds[${BASH_REMATCH[2]}]} code=${BASH_REMATCH[3]}
    bytes=$(printf '%.0f' "$bytes")
    awk -v w="${what,,} $kind code $code" -v n="$bytes" -v a="$items" -v b="${copy[$bytes]:-0}" \
        'BEGIN { printf "| %s | %d | %.0f | %.0f | %.2f |\n", w, n / 1024, a / 1e6, b / 1e6, (b > 0 ? a / b : 0) }'
done <<< "$decode"

echo
echo "The window (offscreen): a new process per run opens WIN.DAT ($win_gib GiB, 32,767 entries) and lists"
echo "it; the filter change and the steps are timed in one process. Peak memory: the whole process's"
echo "ru_maxrss, in MB of 10^6 bytes."
echo
echo "| measure | result | goal |"
echo "|---|---:|---|"
echo "| open WIN.DAT and list it, painted (the file in the page cache) | $(field warm open_ms | median) ms | < 100 ms |"
peak=$(field warm peak_kib | median | awk '{ printf "%.0f", $1 * 1024 / 1e6 }')
before=$(field warm peak_before_kib | median | awk '{ printf "%.0f", $1 * 1024 / 1e6 }')
echo "| peak memory of the window process with WIN.DAT open ($before MB before the open) | $peak MB | < 100 MB |"
wtime() { grep "\"$1" <<< "$2" | head -1 | cut -d, -f3,5 | awk -F, '{ f = $2 ~ /ns/ ? 1e-6 : $2 ~ /us/ ? 1e-3 : 1; printf "%.2f", $1 * f }'; }
echo "| change the filter on WIN.DAT (all files <-> all image files), painted | $(wtime WindowChangesFilter "$filter") ms | < 50 ms |"
echo "| one step in the enlarged view, painted | $(wtime EnlargedViewStep "$steps") ms | < 20 ms |"
echo "| select all 1,000 pictures and save them as BMP | $(wtime SelectAllAndExportBmp "$steps") ms | |"

#!/usr/bin/env bash
# Kelvot beside the tools people would use instead, timed as whole programs, the window with its largest
# archive, and the in-process benchmarks; prints the results as Markdown tables.
#
#   bench/run.sh [RUNS]      RUNS: how many times each program runs (default 5); the median is shown
#
# Builds what it needs (Release, in build-perf), writes the test data with build-perf/bench/make_bench_data
# into a fresh folder under $TMPDIR (or /tmp; about 18 GiB at the peak with 5 runs, removed at the end)
# and times:
#   list         kelvot-cli list           tar -tf (warm and cold)
#   create       kelvot-cli create         tar -cf of the same files (and tar -cf, then sync of the tar)
#   extract      kelvot-cli extract (all)  tar -xf of a tar of the same files (warm and cold)
#   remove, add  kelvot-cli remove of the first entry, add of a file whose name is taken (both rewrite
#                the whole 1 GiB archive, flushed to disk before it replaces the old one)
#                                          cp onto a copy of the archive, then sync (and plain cp)
#   export       kelvot-cli export --format bmp of 1,000 pictures
#                                          one mogrify writing the same BMP files (BMP3, masks too, the same
#                                          bit depths) from the same pixels: TGA files with the colour table
#                                          and indices where our files have a colour table, else PPM files
#   export png   kelvot-cli export --format png of the same pictures
#                                          mogrify writing PNG files from the same TGA and PPM files (no
#                                          masks: the PNG files carry the transparency)
#   mount        every entry of MANY.DAT read through kelvot-cli mount with tar (tar -cf - | cat, and
#                tar -cf /dev/null, which reads no file's bytes)
#                                          kelvot-cli extract of MANY.DAT
#                cp -r of png/ of PICS1K.DAT mounted
#                                          kelvot-cli export --format png of PICS1K.DAT
#   import       kelvot-cli import of a 512 x 512 picture into BIG.DAT with it added (a copy of the 1 GiB
#                archive, flushed)         cp onto a copy of the archive, then sync
#   window       a new window process opening WIN.DAT (32,767 entries, about 2 GiB) once per run (warm and
#                cold), its peak memory, and the filter changing in one window; a keystroke in the name
#                filter; the thumbnail view of 10,000 pictures (first screen, whole set, cache peak)
# Warm: the files read are in the page cache. Cold: the page cache is dropped before each run (as root;
# elsewhere those rows are left out). The runs of a comparison take turns, so a busy moment of the machine
# falls on all of them; pending writes are flushed (sync) before each run and are not charged to it.
# MOGRIFY names another ImageMagick mogrify (default: Debian's, /usr/bin/mogrify, when present).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build="build-perf"

scripts/install-deps.sh
# -O2, as the programs built by scripts/run.sh and test.sh (RelWithDebInfo) are.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DKELVOT_WERROR=ON > /dev/null
cmake --build "$build" --target kelvot-cli make_bench_data decode_bench open_window_bench \
    window_steps_window_bench name_filter_window_bench thumbnails_window_bench > /dev/null

cli=$(realpath "$build/bin/kelvot-cli")
if [[ -x /usr/bin/mogrify ]]; then mogrify=${MOGRIFY:-/usr/bin/mogrify}; else mogrify=${MOGRIFY:-mogrify}; fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvot_bench_XXXXXX")
trap 'fusermount3 -u "$work/mnt" 2> /dev/null; chmod -R u+w "$work" 2> /dev/null; rm -rf "$work"' EXIT
# The window programs keep their settings (recent archives) here, not in the user's.
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

drop_cache() { sync && echo 3 > /proc/sys/vm/drop_caches; }
cold=0
if [[ $(id -u) -eq 0 ]] && drop_cache 2> /dev/null; then
    cold=1
else
    echo "Note: the page cache cannot be dropped here (that needs root), so the cold rows are left out." >&2
fi
with_cold() { # variants: the names given, and their cold variants when there are any
    local v
    variants=("$@")
    if ((cold)); then for v in "$@"; do variants+=("${v}_cold"); done; fi
}

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
names=$(gbench "$build/bench/name_filter_window_bench")
thumbs=$(gbench "$build/bench/thumbnails_window_bench")

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
# row_warm_cold WHAT OURS THEIRS-LABEL THEIRS GOAL: the rows of variants OURS and THEIRS, warm and cold
row_warm_cold() {
    row "$1 (warm)" "$(median_ms "$2")" "$3" "$(median_ms "$4")" "$5"
    if ((cold)); then row "$1 (cold)" "$(median_ms "$2_cold")" "$3" "$(median_ms "$4_cold")" "$5"; fi
}
out() { echo "$work/out/$1$r"; } # a name of this run
# ext4 makes files slowly for a while after many small ones were deleted, whoever makes them next; so
# the many small files written below stay until the end. Large outputs go at once: that costs little.
forget() { rm -rf "$work"/out/big*; }
# The programs and the files named in the page cache, as after a first run.
warm() { "$cli" --version > /dev/null && tar --version > /dev/null && cat "$@" > /dev/null; }
warm_folder() { find "$1" -type f -exec cat {} + > /dev/null; }
commas() { sed -E ':a; s/([0-9])([0-9]{3})($|,)/\1,\2\3/; ta' <<< "$1"; }
data_mib() { # the bytes of the files in folder $1 (not the blocks they take), in MiB
    find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.1f", s / 1048576 }'
}

echo "Timing the programs ..." >&2
setup_list() { warm "$work/MANY.DAT"; }
setup_tar_t() { warm "$work/many.tar"; }
setup_list_cold() { drop_cache; }
setup_tar_t_cold() { drop_cache; }
cmd_list() { "$cli" list "$work/MANY.DAT"; }
cmd_tar_t() { tar -tf "$work/many.tar"; }
cmd_list_cold() { cmd_list; }
cmd_tar_t_cold() { cmd_tar_t; }
with_cold list tar_t
run_group "${variants[@]}"
row_warm_cold "list MANY.DAT, 32,767 entries" list "tar -tf: walks 32,767 headers spread over the file" \
    tar_t "<= 1.0"

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
    warm_folder "$work/$set"
    run_group create tar_c tar_c_sync
    forget
    label="create: $set/ ($(commas "$(find "$work/$set" -type f | wc -l)") files, $(data_mib "$work/$set") MiB)"
    row "$label" "$(median_ms create)" "tar -cf" "$(median_ms tar_c)" "<= 1.0"
    row "$label" "$(median_ms create)" "tar -cf, sync" "$(median_ms tar_c_sync)" ""
done

for set in many pics big; do
    prefix=$set
    setup_extract() { forget; warm "$work/${set^^}.DAT"; }
    setup_tar_x() { forget; mkdir "$(out "$prefix"Y)"; warm "$work/$set.tar"; }
    setup_extract_cold() { forget; drop_cache; }
    setup_tar_x_cold() { forget; mkdir "$(out "$prefix"Z)"; drop_cache; }
    cmd_extract() { "$cli" extract "$work/${set^^}.DAT" "$(out "$prefix"X)"; }
    cmd_tar_x() { tar -xf "$work/$set.tar" -C "$(out "$prefix"Y)"; }
    cmd_extract_cold() { "$cli" extract "$work/${set^^}.DAT" "$(out "$prefix"W)"; }
    cmd_tar_x_cold() { tar -xf "$work/$set.tar" -C "$(out "$prefix"Z)"; }
    with_cold extract tar_x
    run_group "${variants[@]}"
    forget
    row_warm_cold "extract all: ${set^^}.DAT, $(data_mib "$work/$set") MiB" extract "tar -xf" tar_x "<= 1.0"
done

# remove and add rewrite the 1 GiB archive, each run on a fresh copy. The durable comparison is cp onto a
# fresh copy of the archive, then sync: replacing a file also frees the old one's blocks and cached pages,
# as the rename over the old archive does.
setup_remove() { forget; cp "$work/BIG.DAT" "$(out bigE)"; }
setup_add() { setup_remove; }
setup_cp() { forget; }
setup_cp_onto() { forget; cp "$work/BIG.DAT" "$(out bigQ)"; }
cmd_remove() { "$cli" remove "$(out bigE)" B000.OTH; }
cmd_add() { "$cli" add "$(out bigE)" "$work/big/B128.OTH"; }
cmd_cp() { cp "$work/BIG.DAT" "$(out bigP)"; }
cmd_cp_onto() { cp "$work/BIG.DAT" "$(out bigQ)" && sync "$(out bigQ)"; }
warm "$work/BIG.DAT" "$work/big/B128.OTH"
run_group remove add cp cp_onto
forget
row "remove the first entry of BIG.DAT" "$(median_ms remove)" "cp onto a copy, sync" "$(median_ms cp_onto)" \
    "<= 1.2"
row "remove the first entry of BIG.DAT" "$(median_ms remove)" "cp (left unflushed)" "$(median_ms cp)" ""
row "add a file whose name BIG.DAT holds (a rebuild)" "$(median_ms add)" "cp onto a copy, sync" \
    "$(median_ms cp_onto)" ""

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
warm "$work/PICS1K.DAT" "$work"/magick/*
run_group export mogrify
files=$(find "$work/out/e0" -type f | wc -l)
row "export --format bmp: PICS1K.DAT ($(commas "$files") files)" "$(median_ms export)" \
    "ImageMagick: mogrify (same size, bit depth and compression: $(same_bmp "$work/out/e0" "$work/out/m0"))" \
    "$(median_ms mogrify)" "<= 0.5"

setup_export_png() { :; }
setup_mogrify_png() { mkdir -p "$(out mp)"; }
cmd_export_png() { "$cli" export "$work/PICS1K.DAT" "$(out ep)" --format png; }
cmd_mogrify_png() { "$mogrify" -path "$(out mp)" -format png "$work"/magick/P?????.*; }
run_group export_png mogrify_png
row "export --format png: PICS1K.DAT (1,000 files)" "$(median_ms export_png)" "ImageMagick: mogrify" \
    "$(median_ms mogrify_png)" "<= 0.5"

# mount: each run mounts afresh, so none of the files is in the kernel's cache of the mount yet; the
# archive itself is (warm). GNU tar reads no file's bytes when its output is /dev/null, so the row that
# reads them pipes the tar through cat.
if [[ -e /dev/fuse ]] && command -v fusermount3 > /dev/null; then
    mnt="$work/mnt"
    mkdir -p "$mnt"
    unmount() { if mountpoint -q "$mnt"; then fusermount3 -u "$mnt"; fi; }
    mount_fresh() { unmount && "$cli" mount "$work/$1" "$mnt"; }
    setup_extract_all() { unmount; warm "$work/MANY.DAT"; }
    setup_tar_mount() { mount_fresh MANY.DAT; }
    setup_tar_mount_null() { mount_fresh MANY.DAT; }
    cmd_extract_all() { "$cli" extract "$work/MANY.DAT" "$(out manyM)"; }
    cmd_tar_mount() { tar -cf - -C "$mnt" . | cat > /dev/null; }
    cmd_tar_mount_null() { tar -cf /dev/null -C "$mnt" .; }
    run_group extract_all tar_mount tar_mount_null
    unmount
    row "read all of MANY.DAT through kelvot-cli mount: tar -cf - | cat" "$(median_ms tar_mount)" \
        "kelvot-cli extract (all)" "$(median_ms extract_all)" "<= 2.0"
    row "the same, tar -cf /dev/null (reads no file's bytes)" "$(median_ms tar_mount_null)" \
        "kelvot-cli extract (all)" "$(median_ms extract_all)" ""
    setup_export_png_m() { unmount; }
    setup_cp_png() { mount_fresh PICS1K.DAT; }
    cmd_export_png_m() { "$cli" export "$work/PICS1K.DAT" "$(out epm)" --format png; }
    cmd_cp_png() { cp -r "$mnt/png/" "$(out cpm)"; }
    run_group export_png_m cp_png
    unmount
    row "cp -r png/ of PICS1K.DAT mounted (1,000 files)" "$(median_ms cp_png)" \
        "kelvot-cli export --format png" "$(median_ms export_png_m)" "<= 1.5"
else
    echo "Note: no FUSE here (/dev/fuse or fusermount3 missing), so the mount rows are left out." >&2
fi

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
# and painted) and its peak memory; warm and cold runs take turns.
echo "Timing the window ..." >&2
open_once() { "$build/bench/open_window_bench" --open-once "$work/WIN.DAT" 2> /dev/null; }
declare -A opened
for ((r = 0; r < runs; r++)); do
    warm "$work/WIN.DAT" "$build/bench/open_window_bench"
    opened[warm]+="$(open_once)"$'\n'
    if ((cold)); then
        drop_cache
        opened[cold]+="$(open_once)"$'\n'
    fi
done
field() { awk -v k="$2" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }' <<< "${opened[$1]}"; }
filter=$(gbench "$build/bench/open_window_bench" "$work/WIN.DAT")
win_gib=$(stat -c %s "$work/WIN.DAT" | awk '{ printf "%.2f", $1 / 2^30 }')
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- report --------------------------------------------------------------------------------------------

disk=$(findmnt -n -o SOURCE,FSTYPE -T "$work" | tr -s ' ')
device=$(lsblk -no PKNAME,NAME "$(findmnt -n -o SOURCE -T "$work")" 2> /dev/null | head -1 | awk '{print $1}')
rotational=$(cat "/sys/block/${device:-none}/queue/rotational" 2> /dev/null || echo "?")
echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), \
$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) memory; disk $disk \
(rotational: $rotational); load average $load_before before, $load_after after the program runs."
echo "Median of $runs runs each; times in ms; ratio = ours / theirs (lower is better for us). Warm: the files"
echo "read are in the page cache; cold: the page cache is dropped before each run."
if ((!cold)); then echo "The page cache could not be dropped (that needs root): no cold rows."; fi
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
echo "| open WIN.DAT and list it, painted (warm) | $(field warm open_ms | median) ms | < 100 ms |"
if ((cold)); then
    echo "| open WIN.DAT and list it, painted (cold) | $(field cold open_ms | median) ms | < 300 ms |"
fi
peak=$(field warm peak_kib | median | awk '{ printf "%.0f", $1 * 1024 / 1e6 }')
before=$(field warm peak_before_kib | median | awk '{ printf "%.0f", $1 * 1024 / 1e6 }')
echo "| peak memory of the window process with WIN.DAT open ($before MB before the open) | $peak MB | < 100 MB |"
wtime() { grep "\"$1" <<< "$2" | head -1 | cut -d, -f3,5 | awk -F, '{ f = $2 ~ /ns/ ? 1e-6 : $2 ~ /us/ ? 1e-3 : 1; printf "%.2f", $1 * f }'; }
echo "| change the filter on WIN.DAT (all files <-> all image files), painted | $(wtime WindowChangesFilter "$filter") ms | < 50 ms |"
echo "| one step in the enlarged view, painted | $(wtime EnlargedViewStep "$steps") ms | < 20 ms |"
echo "| select all 1,000 pictures and save them as BMP | $(wtime SelectAllAndExportBmp "$steps") ms | |"
echo "| a keystroke in the name filter, 32,767 entries listed, painted | $(wtime NameFilterKeystroke/1 "$names") ms | < 16 ms |"
echo "| thumbnails of 10,000 pictures: the first screen painted after switching the view on | $(wtime FirstScreen "$thumbs") ms | < 150 ms |"
one=$(wtime SameSetDecodedInOneThread "$thumbs")
echo "| thumbnails of 10,000 pictures: all decoded (the same pictures decoded whole in one thread: $one ms) | $(wtime WholeSet "$thumbs") ms | <= $(awk -v t="$one" 'BEGIN { printf "%.0f", 2 * t }') ms |"
echo "| thumbnail cache at its peak | $(grep '"WholeSet' <<< "$thumbs" | head -1 | cut -d, -f8 | tr -dc '0-9') MiB | bounded: 96 MiB |"

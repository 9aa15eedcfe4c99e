#!/usr/bin/env bash
# Builds the benchmarks in release mode, writes the large synthetic data once (bench/data/),
# runs every benchmark and prints one table: figure, target, measured, pass/fail.
#
#   bench/run.sh [--runs N]     N runs of the benchmarks that measure once per run (default 5)
#
# Benchmarks that repeat internally (start-up, lists, search, pages) already print medians of
# 5 or more runs and run once; the others run N times and the median of their figures is shown.
# Raw output goes to build-release/bench-logs/. Exit status: 0 when every figure passes.
set -u -o pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build="$root/build-release"
data="$here/data"
logs="$build/bench-logs"
runs=5
if [ "${1:-}" = "--runs" ] && [ -n "${2:-}" ]; then
    runs=$2
fi
if [ "$runs" -lt 5 ]; then
    echo "run.sh: at least 5 runs" >&2
    exit 2
fi

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
started=$(date +%s)

say() { echo "run.sh: $*" >&2; }

# --- build -------------------------------------------------------------------------------------
say "building (release) in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    generator=()
    command -v ninja > /dev/null && generator=(-G Ninja)
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release > /dev/null || exit 1
fi
targets=(ramuxctl ramux-server demo_db bench_startup bench_lists bench_search bench_pages bench_reading bench_server bench_sync
         bench_sync_gui bench_responsiveness bench_fulltext
         bench_publish bench_nginx bench_reader bench_answers bench_sheet)
cmake --build "$build" -j2 --target "${targets[@]}" > "$build/bench-build.log" 2>&1 || {
    tail -n 30 "$build/bench-build.log" >&2
    exit 1
}
built=$(date +%s)
say "built in $((built - started)) s"

# --- data --------------------------------------------------------------------------------------
mkdir -p "$data" "$logs"
client="$data/synth.rxd"
content="$data/content.sqlite"
if [ ! -f "$client" ]; then
    say "writing $client"
    "$build/bin/ramuxctl" synth "$client.tmp" > /dev/null && mv "$client.tmp" "$client" || exit 1
fi
if [ ! -f "$content" ]; then
    say "writing $content"
    "$build/bin/ramuxctl" synth "$content.tmp" --content > /dev/null && mv "$content.tmp" "$content" || exit 1
fi

# --- helpers -----------------------------------------------------------------------------------
rows=()   # "figure|target|measured|PASS/FAIL"
failed=0

# The number after a pattern (an extended regex) on the first matching line of a file.
pick() {
    sed -nE "s/.*$2[^0-9-]*(-?[0-9]+(\.[0-9]+)?).*/\1/p" "$1" | head -n 1
}
median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print ""; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# row FIGURE TARGET-TEXT VALUE OP LIMIT UNIT: OP is le, lt or ge.
row() {
    local figure=$1 target=$2 value=$3 op=$4 limit=$5 unit=$6 verdict
    if [ -z "$value" ]; then
        verdict=FAIL
        value="no figure"
    elif awk -v v="$value" -v l="$limit" -v op="$op" 'BEGIN { exit !((op == "le" && v <= l) || (op == "lt" && v < l) || (op == "ge" && v >= l)) }'; then
        verdict=PASS
        value="$value $unit"
    else
        verdict=FAIL
        value="$value $unit"
    fi
    [ "$verdict" = PASS ] || failed=$((failed + 1))
    rows+=("$figure|$target|$value|$verdict")
}
# Runs a benchmark once into its log; a failing benchmark is reported, the others still run.
bench() {
    local name=$1 log=$2
    shift 2
    say "$name ${*}"
    if ! timeout 300 "$build/bench/$name" "$@" > "$log" 2> "$log.err"; then
        say "$name failed (see $log.err)"
    fi
}

# --- start-up: 5 window starts and 5 open+read runs inside -------------------------------------
bench bench_startup "$logs/startup.txt" "$client"
startup_ms=$(pick "$logs/startup.txt" "start-up to window shown with lists: median")
read_ms=$(pick "$logs/startup.txt" "open \+ read list columns only: *median")
ratio=$(pick "$logs/startup.txt" "^ratio:")
rss=$(pick "$logs/startup.txt" "peak resident memory after start-up:")
row "start-up to window with lists (median of 5)" "<= 1500 ms" "$startup_ms" le 1500 ms
row "start-up / (open + read list columns: ${read_ms:-?} ms)" "<= 2.0x" "$ratio" le 2.0 x
row "peak RSS after start-up" "<= 200 MB" "$rss" le 200 MB

# --- group tree growth: medians of 7 builds each --------------------------------------------
bench bench_lists "$logs/lists.txt"
g1500=$(pick "$logs/lists.txt" "groups +1500: .*with widget")
g6000=$(pick "$logs/lists.txt" "groups +6000: .*with widget")
growth=""
if [ -n "$g1500" ] && [ -n "$g6000" ]; then
    # Linear: 4x the groups may cost at most 1.5x the time per group.
    growth=$(awk -v a="$g1500" -v b="$g6000" 'BEGIN { printf "%.2f", (b / 6000) / (a / 1500) }')
fi
row "group tree: per-group time 6,000 vs 1,500 (${g1500:-?} / ${g6000:-?} ms)" "<= 1.5x (linear)" "$growth" le 1.5 x

# --- search keystroke: median of 30 per case, worst case shown --------------------------------
bench bench_search "$logs/search.txt"
search=$(sed -nE 's/.*whole key incl. opening: median ([0-9.]+) ms.*/\1/p' "$logs/search.txt" | sort -g | tail -n 1)
row "search keystroke, worst of 4 cases (median of 30)" "<= 5 ms" "$search" le 5 ms

# --- pages: medians of 50 (group page 12) -----------------------------------------------------
bench bench_pages "$logs/pages.txt" --db "$client" --runs 50
row "product page composition (median of 50)" "<= 2 ms" \
    "$(pick "$logs/pages.txt" "compose product page \(8 sections ...\) +median")" le 2 ms
row "ITEM: click to painted (median of 50)" "<= 50 ms" \
    "$(pick "$logs/pages.txt" "ITEM: click to painted product view +median")" le 50 ms
row "group page, 2,000 products (median of 12)" "<= 30 ms" \
    "$(pick "$logs/pages.txt" "compose group page \(2,000 products\) +median")" le 30 ms

# --- reading: back/forward and zoom on the demo reference, medians of 50 ----------------------
bench bench_reading "$logs/reading.txt" --db "$build/bin/ramux.rxd" --runs 50
row "back/forward to painted, two product pages (median of 50)" "<= 30 ms" \
    "$(pick "$logs/reading.txt" "forward, two product pages, painted +median")" le 30 ms
row "zoom step, longest demo page, painted (median of 50)" "<= 50 ms" \
    "$(pick "$logs/reading.txt" "zoom step on the longest page, painted +median")" le 50 ms

# --- the product panel: a calculation, the click with the panel, dose vs page, medians inside ---
bench bench_answers "$logs/answers.txt" --db "$client" --runs 50
row "calculation, weight typed to painted result (median of 50)" "<= 30 ms" \
    "$(pick "$logs/answers.txt" "calculation, weight typed to painted result +median")" le 30 ms
row "product click: panel filled minus no panel (medians of 50)" "<= 10 ms" \
    "$(pick "$logs/answers.txt" "panel adds to the click: median")" le 10 ms
row "ramuxctl dose / ramuxctl page, same product (medians of 10)" "<= 2.0x" \
    "$(pick "$logs/answers.txt" "dose vs page process time:")" le 2.0 x

# --- the treatment sheet: a line added, ten lines recomputed, the PDF, medians inside -----------
bench bench_sheet "$logs/sheet.txt" --db "$client" --runs 50
row "sheet: line added to painted (median of 50)" "<= 30 ms" \
    "$(pick "$logs/sheet.txt" "line added to painted \\(tenth line\\) +median")" le 30 ms
row "sheet: weight changed, 10 lines to painted (median of 50)" "<= 30 ms" \
    "$(pick "$logs/sheet.txt" "weight changed, ten lines recomputed, painted +median")" le 30 ms
row "sheet: PDF of 10 lines (median of 10)" "<= 1000 ms" \
    "$(pick "$logs/sheet.txt" "PDF of ten lines +median")" le 1000 ms

# --- the forgiving search and the text index: medians inside, the build once -------------------
bench bench_fulltext "$logs/fulltext.txt" "$client"
row "text index build, 10,000 products" "<= 15 s" "$(pick "$logs/fulltext.txt" "^index build: [0-9]+ of [0-9]+ products in")" le 15 s
row "text index growth / packed text size" "<= 60 %" "$(pick "$logs/fulltext.txt" "^index growth: .* packed text =")" le 60 "%"
row "text query of 1-3 words, ranked, 200 fragments, worst median" "<= 20 ms" \
    "$(pick "$logs/fulltext.txt" "^text query with 200 fragments, worst median:")" le 20 ms
row "names with every reading, worst median" "<= 10 ms" "$(pick "$logs/fulltext.txt" "^names with every reading, worst median:")" le 10 ms
row "results page composed and painted, worst median" "<= 50 ms" "$(pick "$logs/fulltext.txt" "^results page composed and painted, worst median:")" le 50 ms
for case in "every text rewritten" "one text rewritten" "texts unchanged"; do
    row "sync page of 200 products, $case: index overhead" "<= 30 %" \
        "$(pick "$logs/fulltext.txt" "^sync page of 200 products, $case: .* overhead")" le 30 "%"
done

# --- the benchmarks that measure once per run ---------------------------------------------------
: > "$logs/server.txt"; : > "$logs/sync.txt"; : > "$logs/syncgui.txt"; : > "$logs/resp.txt"
for i in $(seq 1 "$runs"); do
    bench bench_server "$logs/server.$i.txt" --content "$content" --clients 8 --seconds 4 --requests 1500
    cat "$logs/server.$i.txt" >> "$logs/server.txt"
    bench bench_sync "$logs/sync.$i.txt" --content "$content"
    cat "$logs/sync.$i.txt" >> "$logs/sync.txt"
    bench bench_sync_gui "$logs/syncgui.$i.txt" --content "$content"
    cat "$logs/syncgui.$i.txt" >> "$logs/syncgui.txt"
    bench bench_responsiveness "$logs/resp.$i.txt"
    # The worst greeting scenario of the run.
    sed -nE 's/^greeting.*longest gap +([0-9]+) ms.*/\1/p' "$logs/resp.$i.txt" | sort -g | tail -n 1 >> "$logs/resp.txt"
done

# The sync-shaped mix is the figure; each run also prints an items-only line.
pps=$(sed -nE 's/^bench_server sync-mix: .* = ([0-9.]+) pages\/s.*/\1/p' "$logs/server.txt" | median)
p99=$(sed -nE 's/^bench_server sync-mix: .*pages\/s, p50 [0-9.]+ ms, p99 ([0-9.]+) ms.*/\1/p' "$logs/server.txt" | median)
row "server get_table pages/s, 8 clients (median of $runs)" ">= 300/s" "$pps" ge 300 "pages/s"
row "server get_table p99 latency (median of $runs)" "< 100 ms" "$p99" lt 100 ms

sync_s=$(sed -nE 's/^initial sync over loopback: ([0-9.]+) s wall.*/\1/p' "$logs/sync.txt" | median)
apply=$(sed -nE 's/^apply side alone: .* ([0-9.]+) rows\/s applied,.*/\1/p' "$logs/sync.txt" | median)
parsed=$(sed -nE 's/^apply side alone: .* ([0-9.]+) rows\/s with parsing.*/\1/p' "$logs/sync.txt" | median)
row "initial sync, 10,000 products (median of $runs)" "<= 20 s" "$sync_s" le 20 s
structured=$(sed -nE 's/^structured tables: [^+]*\+([0-9.-]+) %.*/\1/p' "$logs/sync.txt" | median)
row "initial sync: structured tables' extra time (median of $runs)" "<= 20 %" "$structured" le 20 "%"
row "apply, rows into the file (median of $runs)" ">= 10000 rows/s" "$apply" ge 10000 "rows/s"
row "apply incl. parsing the answers (median of $runs)" ">= 10000 rows/s" "$parsed" ge 10000 "rows/s"

stall=$(sed -nE 's/.*longest event-loop pause ([0-9]+) ms.*/\1/p' "$logs/syncgui.txt" | median)
greet=$(median < "$logs/resp.txt")
row "longest event-loop stall during sync (median of $runs)" "<= 100 ms" "$stall" le 100 ms
row "longest event-loop stall, greeting request (median of $runs)" "<= 100 ms" "$greet" le 100 ms

# --- publishing: 3 rounds inside; nginx in front of one server (a figure to watch) ----------
bench bench_publish "$logs/publish.txt" --content "$content" --changed 500
row "publish of 500 changed products (median of 3)" "<= 5000 ms" \
    "$(pick "$logs/publish.txt" "publish median")" le 5000 ms
row "publish dry run, 500 changed products (median of 3)" "<= 2000 ms" \
    "$(pick "$logs/publish.txt" "dry run median")" le 2000 ms
if command -v nginx > /dev/null || [ -x /usr/sbin/nginx ]; then
    bench bench_nginx "$logs/nginx.txt" --content "$content" --seconds 4
    row "nginx (warm cache) / one server, pages/s at 64 clients (watch)" "reported" \
        "$(pick "$logs/nginx.txt" "at 64 clients")" ge 0 x
fi

# --- the web reader: one client for the page times, then 64 straight and through nginx --------
bench bench_reader "$logs/reader.txt" --content "$content" --seconds 4
row "web reader: product page, one client (median of 200)" "<= 3 ms" \
    "$(pick "$logs/reader.txt" "product page, one client: median")" le 3 ms
row "web reader: results page, worst median" "<= 30 ms" \
    "$(pick "$logs/reader.txt" "results page, worst median:")" le 30 ms
row "web reader: 64 clients direct, pages/s (watch)" "reported" \
    "$(pick "$logs/reader.txt" "64 clients, direct:")" ge 0 "/s"
row "web reader: 64 clients through nginx, pages/s (watch)" "reported" \
    "$(pick "$logs/reader.txt" "64 clients, through nginx:")" ge 0 "/s"

# --- the table -----------------------------------------------------------------------------
finished=$(date +%s)
printf '\n%-66s  %-16s  %-20s  %s\n' "figure" "target" "measured" "result"
printf '%s\n' "$(printf '%.0s-' $(seq 1 112))"
for r in "${rows[@]}"; do
    IFS='|' read -r figure target value verdict <<< "$r"
    printf '%-66s  %-16s  %-20s  %s\n' "$figure" "$target" "$value" "$verdict"
done
printf '\nbuild %d s, benchmarks %d s; %d of %d figures missed; logs in %s\n' \
    "$((built - started))" "$((finished - built))" "$failed" "${#rows[@]}" "$logs"
[ "$failed" -eq 0 ]

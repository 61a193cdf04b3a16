#!/usr/bin/env bash
# Runs the benchmarks of a Release build: bench.sh <build dir>.
# Writes every repetition as JSON to <build dir>/bench.json and ends with a table of medians,
# program against the straightforward baseline. Extra arguments go to the benchmark program
# (for example --benchmark_filter=cycle).
set -euo pipefail

build_dir=${1:?usage: bench.sh <build dir> [benchmark options...]}
shift
program="$build_dir/bin/percolation_bench"
if [[ ! -x $program ]]; then
    echo "bench: $program is missing; build with PERCOLATION_BUILD_BENCHMARKS=ON" >&2
    exit 1
fi

QT_QPA_PLATFORM=offscreen "$program" \
    --benchmark_out="$build_dir/bench.json" \
    --benchmark_out_format=json \
    --benchmark_display_aggregates_only=true \
    "$@"
echo "bench: raw results in $build_dir/bench.json"

# The statistics engine against the straightforward Newman–Ziff sweep.
stats_program="$build_dir/bin/percolation_stats_bench"
if [[ -x $stats_program ]]; then
    "$stats_program" \
        --benchmark_out="$build_dir/stats_bench.json" \
        --benchmark_out_format=json \
        --benchmark_display_aggregates_only=true \
        "$@"
    echo "bench: raw statistics results in $build_dir/stats_bench.json"
fi

# The explorer's redraw from its history against the picture worked out from scratch.
explorer_program="$build_dir/bin/percolation_explorer_bench"
if [[ -x $explorer_program ]]; then
    "$explorer_program" \
        --benchmark_out="$build_dir/explorer_bench.json" \
        --benchmark_out_format=json \
        --benchmark_display_aggregates_only=true \
        "$@"
    echo "bench: raw explorer results in $build_dir/explorer_bench.json"
fi

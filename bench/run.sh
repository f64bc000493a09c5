#!/usr/bin/env bash
# Tabrivo's benchmarks: one entry point.  See bench/README.md.
#
#   bench/run.sh [--quick]
#
# Builds tabrivo-convert and the gumbo baseline (Release, -DTABRIVO_BENCH=ON)
# into build-bench/, prepares the data sets, then measures throughput on one
# core against a bare gumbo parse, tabletojson and pandas, the -j 2 speed-up,
# and peak memory on a large generated file.  --quick does 3 timed rounds
# instead of 7.  The report goes to stdout and build-bench/bench-results.md.
#
# Environment: TABRIVO_CORPUS (default ../shared/corpus/public beside the
# repository), BENCH_BUILD_DIR (default build-bench), BENCH_RUNS (overrides
# the number of timed rounds).
set -euo pipefail

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BENCH="$REPO/bench"
BUILD="${BENCH_BUILD_DIR:-$REPO/build-bench}"
case "$BUILD" in /*) ;; *) BUILD="$REPO/$BUILD" ;; esac
CORPUS="${TABRIVO_CORPUS:-$REPO/../shared/corpus/public}"
PG_DOCS=/usr/share/doc/postgresql-doc-15/html
RUNS=7
for arg in "$@"; do
    case "$arg" in
        --quick) RUNS=3 ;;
        -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "run.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done
RUNS="${BENCH_RUNS:-$RUNS}"

say() { printf '\n== %s\n' "$*" >&2; }
is_root() { [ "$(id -u)" -eq 0 ]; }
APT_UPDATED=0
apt_install() {  # apt_install PACKAGE...: as root only; returns non-zero on failure
    is_root || return 1
    if [ "$APT_UPDATED" -eq 0 ]; then
        apt-get update -qq >&2 || true
        APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$@" >&2
}

# --- tools ---------------------------------------------------------------------
for tool in cmake ninja taskset; do
    command -v "$tool" >/dev/null || { echo "run.sh: '$tool' is needed" >&2; exit 1; }
done
if [ ! -x /usr/bin/time ]; then
    say "installing GNU time (for peak memory)"
    apt_install time || { echo "run.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
fi

# --- build ---------------------------------------------------------------------
say "building into $BUILD"
cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRIVO_BENCH=ON \
      -DTABRIVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target tabrivo-convert gumbo-parse-baseline >&2
# shellcheck source=/dev/null
. "$BUILD/bench-programs.sh"  # CONVERT=... GUMBO=..., written by bench/CMakeLists.txt

# --- data ----------------------------------------------------------------------
DATA="$BUILD/bench-data"
mkdir -p "$DATA"
SETS=()
if [ -d "$CORPUS" ]; then
    find "$(cd "$CORPUS" && pwd)" -type f \( -name '*.html' -o -name '*.htm' \) | LC_ALL=C sort \
        > "$DATA/corpus.list"
    SETS+=(--set "corpus=$DATA/corpus.list")
else
    say "no corpus at $CORPUS (set TABRIVO_CORPUS): skipping that set"
fi
if [ ! -d "$PG_DOCS" ]; then
    say "installing postgresql-doc-15"
    apt_install postgresql-doc-15 ||
        say "could not install postgresql-doc-15 (needs root and Debian's packages): skipping that set"
fi
if [ -d "$PG_DOCS" ]; then
    find "$PG_DOCS" -type f -name '*.html' | LC_ALL=C sort > "$DATA/postgres.list"
    SETS+=(--set "postgres-doc=$DATA/postgres.list")
fi
if [ -d "$CORPUS" ] && [ -d "$PG_DOCS" ]; then
    # The speed goals are set on the two sets together as well.
    cat "$DATA/corpus.list" "$DATA/postgres.list" > "$DATA/both.list"
    SETS+=(--set "both=$DATA/both.list")
fi
[ ${#SETS[@]} -gt 0 ] || { echo "run.sh: no data set to measure" >&2; exit 1; }

LARGE="$DATA/large-50mb.html"
if [ ! -s "$LARGE" ] || [ "$BENCH/gen_large_table.py" -nt "$LARGE" ]; then
    say "generating $LARGE"
    /usr/bin/python3 "$BENCH/gen_large_table.py" "$LARGE" --mb 50
fi

# --- competitors ---------------------------------------------------------------
EXTRA=()
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    say "node/npm missing: skipping tabletojson (apt-get install nodejs npm)"
    EXTRA+=(--no-tabletojson)
elif [ ! -d "$BENCH/node/node_modules/tabletojson" ]; then
    say "installing tabletojson (npm ci in bench/node)"
    (cd "$BENCH/node" && npm ci --no-audit --no-fund >&2) ||
        { say "npm ci failed: skipping tabletojson"; EXTRA+=(--no-tabletojson); }
fi
if ! /usr/bin/python3 -c 'import pandas, lxml' 2>/dev/null; then
    say "installing python3-pandas and python3-lxml"
    apt_install python3-pandas python3-lxml ||
        { say "pandas with lxml unavailable: skipping pandas"; EXTRA+=(--no-pandas); }
fi

# --- what this machine is --------------------------------------------------------
version_of() { "$@" 2>/dev/null | head -n 1 || echo "n/a"; }
CPU="$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)"
HEADER="## Results of bench/run.sh ($(date -u '+%Y-%m-%d %H:%M UTC'), $RUNS timed rounds)

- machine: $CPU, $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB, $(uname -sr)
- tabrivo: $(git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$REPO" diff --quiet 2>/dev/null || echo ' + local changes'), $(version_of "$CONVERT" --version), $(version_of c++ --version)
- gumbo $(pkg-config --modversion gumbo); node $(version_of node --version), tabletojson $(node -p "require('$BENCH/node/node_modules/tabletojson/package.json').version" 2>/dev/null || echo n/a); $(/usr/bin/python3 -c 'import sys, pandas, lxml.etree as e; print("python", sys.version.split()[0] + ", pandas", pandas.__version__ + ", lxml", e.__version__)' 2>/dev/null || echo 'pandas n/a')"

say "measuring ($RUNS timed rounds after a warm-up)"
/usr/bin/python3 "$BENCH/measure.py" --convert "$CONVERT" --gumbo "$GUMBO" "${SETS[@]}" \
    --large "$LARGE" --runs "$RUNS" ${EXTRA[@]+"${EXTRA[@]}"} \
    --report "$BUILD/bench-results.md" --header "$HEADER"

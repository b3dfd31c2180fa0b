#!/usr/bin/env bash
# make bench: times dupra against cp -a and rsync -a, and relka against mv,
# on data made here; then dupra's peak memory and its system calls per file.
# It prints figures only: no case passes or fails on speed.
#
# BUILD    build directory (default build, as make uses)
# RUNS     runs per case, the median is shown (default 5; 3 for the 1 GiB
#          file)
# SCRATCH  where the data is made, on an ordinary disk (default /var/tmp);
#          moves to another file system go to /dev/shm
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${BUILD:-build}
case $build in /*) ;; *) build=$top/$build ;; esac
runs=${RUNS:-5}
largeruns=$((runs < 3 ? runs : 3)) # each run writes 1 GiB: three will do
renameruns=11 # a rename takes a few milliseconds: more runs steady it

# An operand that begins with '/' would be read as an option cluster, so
# every command line of ours puts "--" before its absolute paths.
dupra=$build/dupra
relka=$build/relka
scratch=$(mktemp -d "${SCRATCH:-/var/tmp}/dupra-bench.XXXXXX")
shm=""

cleanup() {
  rm -rf "$scratch"
  if [ -n "$shm" ]; then rm -rf "$shm"; fi
}
trap cleanup EXIT

say() { printf '%s\n' "$*" >&2; }
die() { say "bench: $*"; exit 1; }

# ---- tools -----------------------------------------------------------------

install_missing() {
  local need=()
  command -v rsync >/dev/null || need+=(rsync)
  [ -x /usr/bin/time ] || need+=(time)
  [ ${#need[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    say "installing ${need[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null 2>&1 ||
      { apt-get update -qq >/dev/null 2>&1 &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null 2>&1; } ||
      say "could not install ${need[*]}: those figures are left out"
  else
    say "missing ${need[*]}: those figures are left out"
  fi
}

build_programs() {
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >"$scratch/build.log" 2>&1 ||
      { cat "$scratch/build.log" >&2; die "configure failed"; }
  fi
  cmake --build "$build" --target dupra relka -j2 >"$scratch/build.log" 2>&1 ||
    { cat "$scratch/build.log" >&2; die "build failed"; }
  buildtype=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
  [ "$buildtype" = Release ] || say "warning: $build is a '$buildtype' build, not Release"
}

# ---- data ------------------------------------------------------------------

# make_small DIR NDIRS: NDIRS directories of 100 files of 1 KiB each.
make_small() {
  local dir=$1 ndirs=$2 d f
  local line=0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcde
  local content=""
  for f in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16; do content+=$line$'\n'; done
  mkdir -p "$dir"
  for ((d = 0; d < ndirs; d++)); do
    mkdir "$dir/d$d"
    for ((f = 0; f < 100; f++)); do
      printf '%s' "$content" >"$dir/d$d/f$f.txt"
    done
  done
}

make_data() {
  # Sources take 2 GiB, a destination up to 1 GiB more.
  local free
  free=$(df --output=avail -B 1G "$scratch" | sed -n 2p)
  [ "$free" -ge 4 ] || die "$scratch has $free GiB free; 4 GiB are needed (set SCRATCH)"
  say "making data in $scratch"
  make_small "$scratch/small20k" 200
  make_small "$scratch/small2k" 20
  mkdir "$scratch/large" "$scratch/medium"
  head -c 1G /dev/urandom >"$scratch/large/one.bin"
  local i
  for ((i = 0; i < 200; i++)); do
    head -c 4M /dev/urandom >"$scratch/medium/f$i.bin"
  done
  sync
}

# ---- timing ----------------------------------------------------------------

# timed CMD...: runs it with no input and sets elapsed (microseconds).  The
# clock is read without a subshell, whose fork would weigh on short runs.
elapsed=0
timed() {
  local t0 t1
  t0=${EPOCHREALTIME//[.,]/}
  "$@" </dev/null >"$scratch/out.log" 2>&1 ||
    { cat "$scratch/out.log" >&2; die "failed: $*"; }
  t1=${EPOCHREALTIME//[.,]/}
  elapsed=$((t1 - t0))
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

# copy_case SRC N: runs each copier N times into a fresh destination, the
# order turning round from run to run.  Sets median_<tool>.
copy_case() {
  local src=$1 n=$2 dst=$scratch/dst tools=(dupra cp rsync) run i tool
  command -v rsync >/dev/null || tools=(dupra cp)
  declare -A times=()
  for ((run = 0; run < n; run++)); do
    for ((i = 0; i < ${#tools[@]}; i++)); do
      tool=${tools[(run + i) % ${#tools[@]}]}
      rm -rf "$dst"
      sync
      case $tool in
        dupra) timed "$dupra" -y -- "$src" "$dst" ;;
        cp) timed cp -a "$src" "$dst" ;;
        rsync) timed rsync -a "$src/" "$dst/" ;;
      esac
      times[$tool]+="$elapsed "
    done
  done
  rm -rf "$dst"
  median_dupra=$(median ${times[dupra]})
  median_cp=$(median ${times[cp]})
  median_rsync=$(median ${times[rsync]:-0})
}

# The 20,000-file tree moved to another file system; rebuilt before each
# run.  The new tree is not synced: removing files whose blocks are already
# on the disk costs the disk (journal, discard) far more than either tool,
# and would drown the difference between them in its noise.
move_case() {
  local src=$scratch/movesrc dst=$shm/dst run i tool
  local tools=(relka mv)
  declare -A times=()
  for ((run = 0; run < runs; run++)); do
    for ((i = 0; i < 2; i++)); do
      tool=${tools[(run + i) % 2]}
      rm -rf "$src" "$dst"
      sync
      make_small "$src" 200
      case $tool in
        relka) timed "$relka" -y -- "$src" "$dst" ;;
        mv) timed mv "$src" "$dst" ;;
      esac
      [ ! -e "$src" ] || die "$tool left the source behind"
      times[$tool]+="$elapsed "
    done
  done
  rm -rf "$src" "$dst"
  median_relka=$(median ${times[relka]})
  median_mv=$(median ${times[mv]})
}

# One rename of a directory within a file system, back and forth.
rename_case() {
  local a=$scratch/small20k b=$scratch/renamed run tool
  declare -A times=()
  for ((run = 0; run < renameruns; run++)); do
    for tool in relka mv; do
      case $tool in
        relka) timed "$relka" -y -- "$a" "$b" ;;
        mv) timed mv "$a" "$b" ;;
      esac
      times[$tool]+="$elapsed "
      local t=$a; a=$b; b=$t
    done
  done
  [ -d "$scratch/small20k" ] || mv "$scratch/renamed" "$scratch/small20k"
  median_relka=$(median ${times[relka]})
  median_mv=$(median ${times[mv]})
}

# Peak resident memory in KiB of one copy into a fresh destination.
peak_kib() {
  local dst=$scratch/dst
  rm -rf "$dst"
  /usr/bin/time -f %M -o "$scratch/rss" "$@" "$dst" </dev/null >/dev/null 2>&1 ||
    die "failed: $*"
  rm -rf "$dst"
  tail -n 1 "$scratch/rss"
}

# strace_counts OUT CMD...: call counts of one copy into a fresh destination,
# as "name calls" lines.
strace_counts() {
  local out=$1 dst=$scratch/dst
  shift
  rm -rf "$dst"
  strace -f -c -o "$scratch/strace.txt" "$@" "$dst" </dev/null >/dev/null 2>&1 ||
    die "failed under strace: $*"
  rm -rf "$dst"
  # Rows: % time, seconds, usecs/call, calls, [errors,] name.
  awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { print $NF, $4 }' "$scratch/strace.txt" >"$out"
}

# ---- report ----------------------------------------------------------------

secs() { awk -v u="$1" 'BEGIN { printf "%.3f s", u / 1e6 }'; }
msecs() { awk -v u="$1" 'BEGIN { printf "%.1f ms", u / 1e3 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

copy_row() {
  local name=$1
  if command -v rsync >/dev/null; then
    printf '%-32s %10s %10s %10s %9s %9s\n' "$name" "$(secs "$median_dupra")" \
      "$(secs "$median_cp")" "$(secs "$median_rsync")" \
      "$(ratio "$median_dupra" "$median_cp")" "$(ratio "$median_dupra" "$median_rsync")"
  else
    printf '%-32s %10s %10s %10s %9s %9s\n' "$name" "$(secs "$median_dupra")" \
      "$(secs "$median_cp")" "-" "$(ratio "$median_dupra" "$median_cp")" "-"
  fi
}

move_row() {
  local name=$1 unit=$2
  printf '%-42s %10s %10s %9s\n' "$name" "$($unit "$median_relka")" "$($unit "$median_mv")" \
    "$(ratio "$median_relka" "$median_mv")"
}

fstype() { df --output=fstype "$1" | sed -n 2p; }

rsync_version() {
  if command -v rsync >/dev/null; then
    rsync --version | awk 'NR == 1 { print "rsync " $3 }'
  else
    echo "no rsync"
  fi
}

print_header() {
  echo "== dupra / relka benchmark"
  echo "date      $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "machine   $(uname -sr), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "build     $build ($buildtype)"
  echo "scratch   $(fstype "$scratch"); moves to /dev/shm ($(fstype /dev/shm))"
  echo "tools     $(cp --version | sed -n 1p); $(rsync_version)"
  echo "runs      median of $runs ($largeruns for 1 GiB), tools taking turns; page cache warm;"
  echo "          sync between runs"
  echo
}

copy_section() {
  echo "-- copy: median wall time"
  printf '%-32s %10s %10s %10s %9s %9s\n' case dupra "cp -a" "rsync -a" dupra/cp dupra/rs
  say "copy: 20,000 small files"
  copy_case "$scratch/small20k" "$runs"
  copy_row "20,000 files of 1 KiB, 200 dirs"
  say "copy: one 1 GiB file"
  copy_case "$scratch/large" "$largeruns"
  copy_row "one file of 1 GiB"
  say "copy: 200 files of 4 MiB"
  copy_case "$scratch/medium" "$runs"
  copy_row "200 files of 4 MiB"
  echo
}

move_section() {
  echo "-- move: median wall time"
  printf '%-42s %10s %10s %9s\n' case relka mv relka/mv
  if [ "$(stat -c %d "$scratch")" != "$(stat -c %d /dev/shm)" ] && [ -w /dev/shm ]; then
    shm=$(mktemp -d /dev/shm/dupra-bench.XXXXXX)
    say "move: 20,000 small files to /dev/shm"
    move_case
    move_row "20,000 files to another file system" secs
  else
    echo "20,000 files to another file system: skipped, /dev/shm is not another writable file system"
  fi
  say "move: one rename"
  rename_case
  move_row "one rename within a file system ($renameruns runs)" msecs
  echo
}

memory_section() {
  echo "-- peak memory (max RSS)"
  if [ ! -x /usr/bin/time ]; then
    echo "skipped: /usr/bin/time is missing"
    echo
    return
  fi
  say "memory"
  printf '%-30s %10s %10s\n' case dupra "cp -a"
  printf '%-30s %10s %10s\n' "2,000 files, 20 dirs" \
    "$(peak_kib "$dupra" -y -- "$scratch/small2k") KiB" "$(peak_kib cp -a "$scratch/small2k") KiB"
  printf '%-30s %10s %10s\n' "20,000 files, 200 dirs" \
    "$(peak_kib "$dupra" -y -- "$scratch/small20k") KiB" "$(peak_kib cp -a "$scratch/small20k") KiB"
  echo
}

syscall_section() {
  echo "-- system calls per copied file (strace -c -f, 2,000 files of 1 KiB in 20 dirs)"
  if ! command -v strace >/dev/null; then
    echo "skipped: strace is missing"
    echo
    return
  fi
  say "system calls"
  strace_counts "$scratch/calls.dupra" "$dupra" -y -- "$scratch/small2k"
  strace_counts "$scratch/calls.cp" cp -a "$scratch/small2k"
  printf '%-20s %10s %10s\n' call dupra "cp -a"
  # Every call either tool makes, dupra's most frequent first.
  awk -v n=2000 '
    FNR == NR { d[$1] = $2; names[$1] = 1; next }
    { c[$1] = $2; names[$1] = 1 }
    END {
      for (k in names) { td += d[k]; tc += c[k]
        printf "%-20s %10.2f %10.2f\n", k, d[k] / n, c[k] / n | "sort -k2,2nr -k3,3nr" }
      close("sort -k2,2nr -k3,3nr")
      printf "%-20s %10.2f %10.2f\n", "total", td / n, tc / n
    }' "$scratch/calls.dupra" "$scratch/calls.cp" | awk '$2 >= 0.01 || $3 >= 0.01'
  echo
}

main() {
  install_missing
  build_programs
  make_data
  print_header
  copy_section
  move_section
  memory_section
  syscall_section
  echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
}

main "$@"

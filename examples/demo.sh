#!/usr/bin/env bash
# make demo: copies the sample tree with dupra and with cp -r, and shows
# side by side what each copy kept of the source's times and read-only bits.
#
# BUILD names the build directory (default build, as make uses).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${BUILD:-build}
case $build in /*) ;; *) build=$top/$build ;; esac

tmp=$(mktemp -d "${TMPDIR:-/tmp}/dupra-demo.XXXXXX")

cleanup() {
  # The read-only directories must be writable again to be removed.
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

build_tools() {
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >"$tmp/build.log" 2>&1 ||
      { cat "$tmp/build.log"; return 1; }
  fi
  cmake --build "$build" --target dupra showtimes -j2 >"$tmp/build.log" 2>&1 ||
    { cat "$tmp/build.log"; return 1; }
}

# Git keeps neither times nor read-only bits, so the sample gets them here:
# creation in 2001, last write in 2003, last access in 2005, all different,
# down to the nanosecond (the creation time keeps 100 ns units).
stamp_source() {
  "$build/examples/showtimes" stamp "$tmp/source" <<'EOF'
# item               created                      accessed                       written                        read-only
.                    2001-01-15T09:00:00.1000000  2005-05-20T18:30:00.100000001  2003-03-10T12:00:00.100000002
readme.txt           2001-02-14T10:11:12.2345678  2005-06-01T08:00:00.234567891  2003-04-01T07:30:45.987654321
.hidden              2001-03-03T03:03:03.3000000  2005-07-07T07:07:07.300000007  2003-05-05T05:05:05.300000005
locked.txt           2001-04-01T12:00:00.4444444  2005-08-08T08:08:08.444444448  2003-06-06T06:06:06.444444446  ro
notes                2001-05-05T05:05:05.5000000  2005-09-09T09:09:09.500000009  2003-07-07T07:07:07.500000007
notes/todo.txt       2001-06-06T06:06:06.6666666  2005-10-10T10:10:10.666666660  2003-08-08T08:08:08.666666668
notes/2004           2001-07-07T07:07:07.7000000  2005-11-11T11:11:11.700000001  2003-09-09T09:09:09.700000009
notes/2004/march.txt 2001-08-08T08:08:08.8888888  2005-12-12T12:12:12.888888882  2003-10-10T10:10:10.888888880
archive              2001-09-09T09:09:09.9000000  2005-01-02T03:04:05.900000005  2003-11-11T11:11:11.900000001  ro
archive/old.txt      2001-10-10T10:10:10.1234567  2005-02-03T04:05:06.123456789  2003-12-12T12:12:12.123456780  ro
EOF
}

main() {
  build_tools
  cp -r "$here/sample" "$tmp/source"
  stamp_source
  cd "$tmp"
  echo "\$ dupra -v source dupra-copy"
  "$build/dupra" -v source dupra-copy </dev/null
  echo "\$ cp -r source cp-copy"
  cp -r source cp-copy
  # cp reads the files without O_NOATIME, which moves the source's access
  # times; stamp it again so that the table shows the source as it was.
  stamp_source
  echo
  "$build/examples/showtimes" source=source dupra=dupra-copy "cp -r=cp-copy"
}

main "$@"

#!/usr/bin/env bash
# Runs the tests of the Windows build under Wine: the unit tests as a
# Windows program, then the end-to-end tests, a Linux program that starts
# the .exe files under Wine.  Usage: tests/wine/run.sh WINBUILD HOSTBUILD
set -euo pipefail
winbuild=$(cd "$1" && pwd)
hostbuild=$(cd "$2" && pwd)

wine=$(command -v wine)
# A fresh prefix for each run, so that nothing from an earlier one counts.
export WINEPREFIX="$winbuild/wineprefix"
export WINEDEBUG=-all
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"

# One wineserver for the whole run: each program start is then far quicker.
wineserver -p
trap 'wineserver -k || true' EXIT
echo "Making the Wine prefix $WINEPREFIX"
wineboot --init >/dev/null 2>&1

echo "Unit tests (unittests.exe)"
"$wine" "$winbuild/tests/unittests.exe"

# Reading a file through Wine moves its access time (Linux's relatime),
# which the tests would take for the programs' doing.  Windows volumes keep
# access times as set by default (NTFS's last-access updates are off), so
# the scratch directories live on a file system mounted noatime, when one
# can be mounted (as root); elsewhere the access-time checks tell.
scratchfs="$winbuild/scratch"
mkdir -p "$scratchfs"
if mountpoint -q "$scratchfs" || mount -t tmpfs -o noatime,size=1g,mode=1777 tmpfs "$scratchfs"; then
    trap 'umount -l "$scratchfs" || true; wineserver -k || true' EXIT
    export TMPDIR="$scratchfs" # after the unit tests: Wine's tmpfile() follows it
else
    echo "note: no noatime file system for the scratch directories:" \
        "access times are not compared" >&2
    export E2E_ATIMES_MOVE=1
fi

echo "End-to-end tests against the .exe files"
cd "$hostbuild"
# A failed test is run once more: under load a program can lose its
# connection to the wineserver ("wine client error: recvmsg"), which is
# Wine's fault, not the program's.  A test that fails twice fails the run.
E2E_RUNNER="$wine" E2E_EXE_DIR="$winbuild" ctest --output-on-failure -j2 -R '^e2e\.' \
    --repeat until-pass:2

#!/bin/bash
# The systemd unit passes systemd-analyze verify and rates 2.0 or lower in its security review.
# The copy checked starts the build's own program, so that verify finds what ExecStart names.
# Usage: check_unit.sh UNIT_FILE PROGRAM
set -u
unit=$1
program=$2
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
instance="$work/tazo@mill1.service"
sed "s|^ExecStart=/usr/bin/tazo-service |ExecStart=$program |" "$unit" >"$instance"
grep -q "^ExecStart=$program " "$instance" || { echo "no ExecStart to rewrite in $unit"; exit 1; }

# The manual page the unit names comes with the package, not with the build: not looked up.
if ! said=$(systemd-analyze verify --man=no "$instance" 2>&1) || grep -q "tazo@" <<<"$said"; then
  echo "systemd-analyze verify:"; echo "$said"; exit 1
fi
if ! systemd-analyze security --offline=true --threshold=20 "$instance"; then
  echo "the unit rates above 2.0"; exit 1
fi
echo "verified; rated 2.0 or lower"

#!/usr/bin/env bash
# Every command-line program reports the build's one version: check_versions.sh VERSION PROGRAM...
set -u
version=$1
shift
status=0
for program in "$@"; do
  name=$(basename "$program")
  output=$("$program" --version 2>&1)
  code=$?
  if [ "$code" -ne 0 ] || [ "$output" != "$name $version" ]; then
    echo "$name --version: status $code, printed \"$output\", expected \"$name $version\"" >&2
    status=1
  fi
done
exit $status

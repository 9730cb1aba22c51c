#!/usr/bin/env bash
# mivola's command line: --help and --version answer on standard output with
# status 0; anything but one folder gives a usage text on standard error and 2.
# Usage: command-line-test.sh MIVOLA VERSION
set -uo pipefail
mivola=$1
version=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

out=$("$mivola" --help 2>"$tmp/err"); code=$?
[ $code -eq 0 ] && [[ $out == usage:* ]] && [ ! -s "$tmp/err" ] || fail "--help: $code '$out'"
out=$("$mivola" --version 2>"$tmp/err"); code=$?
[ $code -eq 0 ] && [ "$out" = "mivola $version" ] || fail "--version: $code '$out'"

touch "$tmp/file"
mkdir "$tmp/a" "$tmp/b"
# Each of these must be refused before any window opens.
for args in "--bogus" "-x" "$tmp/a $tmp/b" "$tmp/file" "$tmp/missing" "--help-me"; do
  # shellcheck disable=SC2086
  out=$(timeout 10 "$mivola" $args 2>"$tmp/err"); code=$?
  [ $code -eq 2 ] || fail "'$args' gave status $code"
  [ -z "$out" ] || fail "'$args' wrote to standard output: $out"
  grep -q '^usage: mivola' "$tmp/err" || fail "'$args' gave no usage text"
done
exit $((failures > 0))

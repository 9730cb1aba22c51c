#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the tree: programs with their
# manual pages, the demo disk, the icon in every theme size, the desktop entry
# and the AppStream metainfo (validated by their own tools).
# Usage: install-test.sh BUILD_DIR PREFIX
set -uo pipefail
build=$1
prefix=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Width and height of a PNG file from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { tail -20 "$prefix.log"; echo "FAIL: install"; exit 1; }
share=$prefix/share
app=org.mivola.Mivola

for program in mivola mivola-capture mivola-3ds mivola-make mivola-check; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program missing"
done
for program in "$prefix"/bin/*; do
  page=$share/man/man1/$(basename "$program").1.gz
  if [ ! -f "$page" ]; then fail "no manual page for $(basename "$program")"; continue; fi
  gzip -t "$page" || fail "$page is not gzip"
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
  fi
done

# The demo disk is complete: the program's own loaders find no problem in it.
demo=$share/mivola/demo
[ -f "$demo/art.xml" ] || fail "demo/art.xml missing"
if [ -x "$prefix/bin/mivola-check" ]; then
  "$prefix/bin/mivola-check" "$demo" --quiet >"$prefix.check" 2>&1 || { cat "$prefix.check"; fail "mivola-check on the demo"; }
fi

for size in 16 22 24 32 48 64 128 256; do
  icon=$share/icons/hicolor/${size}x${size}/apps/$app.png
  if [ -f "$icon" ]; then
    [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "$icon is $(png_size "$icon")"
  else
    fail "icon ${size}x${size} missing"
  fi
done

desktop=$share/applications/$app.desktop
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
  # The entry starts the installed demo disk and names the installed icon.
  grep -qx "Exec=mivola $demo" "$desktop" || fail "Exec line: $(grep ^Exec= "$desktop")"
  grep -qx "Icon=$app" "$desktop" || fail "Icon line: $(grep ^Icon= "$desktop")"
else
  fail "desktop entry missing"
fi

metainfo=$share/metainfo/$app.metainfo.xml
if [ -f "$metainfo" ]; then
  # Strict: any error, warning or info fails, except one. The <developer> element
  # is AppStream 1.0's; Debian 12's validator (AppStream 0.16) calls it unknown.
  report=$(appstreamcli validate --strict --no-net "$metainfo" 2>&1) ||
    { echo "$report" | grep -E '^[EWI]: ' | grep -vq ': unknown-tag developer$' &&
        { echo "$report"; fail "appstreamcli validate --strict $metainfo"; }; }
  grep -q '<developer id="org.mivola">' "$metainfo" || fail "metainfo names no developer id"
  grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "metainfo names no licence"
  grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" || fail "metainfo names another desktop entry"
else
  fail "metainfo missing"
fi

# The screenshot is a rendered interface frame, not a blank picture.
shot=$share/mivola/screenshots/interface.png
if [ -f "$shot" ]; then
  [ "$(png_size "$shot")" = 1280x720 ] || fail "screenshot is $(png_size "$shot")"
  [ "$(stat -c %s "$shot")" -gt 100000 ] || fail "screenshot of $(stat -c %s "$shot") bytes looks empty"
else
  fail "screenshot missing"
fi

[ -f "$share/doc/mivola/copyright" ] || fail "copyright missing"
exit $((failures > 0))

#!/usr/bin/env bash
# Renders the pictures of docs/disk-format.md: a disk made from the test content's
# songs, shown once whole and once per layer type with an interface.xml that holds
# only the background and that type, each frame captured headless by mivola-capture.
#   tools/make/doc-pictures.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: doc-pictures.sh BUILD_DIR}
out=$(cd "$(dirname "$0")/../.." && pwd)/docs/disk-format
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tools/make/mivola-make" "$work/disk" "$build"/content/test/songs/* --title "Harbour Lights" \
  --author "the docs" > /dev/null
cp "$work/disk/interface.xml" "$work/full.xml"

# capture NAME CROP: the interface 3 s after Space skipped the intro, cropped.
capture() {
  rm -rf "$work/frames"
  "$build/tools/capture/mivola-capture" --content "$work/disk" --fps 4 --windowed --max-seconds 12 \
    --event "8 key space down" --event "8.5 key space up" --frame-at 11 --frame-dir "$work/frames" > /dev/null
  convert "$work/frames/at-11.png" -crop "$2" +repage "$out/$1.png"
}

# layer_file TYPE-ELEMENTS: interface.xml with the background and the given elements.
layers() {
  cat > "$work/disk/interface.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<bits><interface><layers>
  <element type="layer" x="0" y="0"><image path="interface/background.png"/></element>
  $1
</layers></interface></bits>
XML
}

cp "$work/full.xml" "$work/disk/interface.xml"
capture interface 1280x720+0+0
convert "$out/interface.png" -resize 50% "$out/interface.png"

layers '<element type="layer" x="36" y="96"><image path="interface/panel_left.png"/></element>
  <element type="layer" react="opacity" x="76" y="120"><image path="interface/orb_pink.png" blend="add"/></element>
  <element type="layer" react="opacity" x="76" y="272"><image path="interface/orb_cyan.png" blend="add"/></element>'
capture layer 240x420+16+80

layers '<element type="ampcontrol" x="1112" y="590"><image path="interface/button_prev.png"/><control direction="-1"/></element>
  <element type="ampcontrol" x="1174" y="590"><image path="interface/button_next.png"/><control direction="1"/></element>'
capture ampcontrol 160x84+1092+570

layers '<element type="vu" x="968" y="626"><image path="interface/vu_block.png"/></element>'
capture vu 160x160+970+476

layers '<element type="layer" x="40" y="620"><image path="interface/scroller_panel.png"/></element>
  <element type="tinyscroll" x="60" y="630"><font path="fonts/DejaVuSans.ttf" name="DejaVu Sans" size="16"/>
  <text>A tiny scroller: one line of text, 100 pixels a second, through a 200-pixel window.</text></element>'
capture tinyscroll 280x60+20+610

layers '<element type="monitor" x="0" y="0"><monitor path="scene/carousel.3ds"/>
  <dummytexture id="0" file="screen0.png"/><dummytexture id="1" file="screen1.png"/>
  <dummytexture id="2" file="screen2.png"/><dummytexture id="3" file="screen3.png"/></element>'
capture monitor 420x460+444+190

echo "pictures written to $out"

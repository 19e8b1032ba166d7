#!/usr/bin/env bash
# Builds the Debian package from the build tree as scripts/package does, unpacks
# it into a temporary folder and checks what a desktop install relies on: the
# files, the menu entry, the software centre data, the package's dependencies,
# and that the unpacked program runs its self-check.
# Usage: CheckPackage.sh <build dir> <source dir> <appstream id> <version>
set -euo pipefail
build_dir=$1
source_dir=$2
appstream_id=$3
version=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cpack --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  exit 1
}
shopt -s nullglob
debs=("$work"/out/*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "expected one .deb, found ${#debs[@]}" >&2
  cat "$work/cpack.log" >&2
  exit 1
fi
deb=${debs[0]}
root="$work/root"
dpkg-deb -x "$deb" "$root"

# The files.
share="$root/usr/share"
desktop="$share/applications/kestrion.desktop"
metainfo="$share/metainfo/$appstream_id.metainfo.xml"
for f in "$root/usr/bin/kestrion" "$desktop" "$metainfo" "$share/icons/hicolor/scalable/apps/kestrion.svg"; do
  [ -f "$f" ] || fail "missing ${f#"$root"}"
done
[ -x "$root/usr/bin/kestrion" ] || fail "usr/bin/kestrion is not executable"
for size in 16 24 32 48 64 128 256 512; do
  png="$share/icons/hicolor/${size}x${size}/apps/kestrion.png"
  if [ ! -f "$png" ]; then
    fail "missing icon ${png#"$root"}"
  elif ! file -b "$png" | grep -q "^PNG image data, $size x $size,"; then
    fail "${png#"$root"} is not a ${size}x${size} PNG: $(file -b "$png")"
  fi
done

# Dependencies found by dpkg-shlibdeps (the Qt libraries are never named by hand)
# and those the program needs without linking them.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6core6 libqt6widgets6 libqt6webenginewidgets6 libqt6keychain1 libc6 git qt6-qpa-plugins; do
  grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"

# The menu entry and the software centre data, alone and as installed together.
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the newest release in the metainfo is '$newest', the program is $version"
for shot in "$source_dir"/docs/*.png; do
  grep -q "/$(basename "$shot")</image>" "$metainfo" || fail "screenshot docs/$(basename "$shot") is not listed"
done

# The unpacked program runs without a display.
if ! env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kestrion" --kestrion-self-check >"$work/self-check.log" 2>&1; then
  cat "$work/self-check.log" >&2
  fail "the unpacked program's self-check"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package $(basename "$deb") checked"

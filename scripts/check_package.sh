#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package of a configured and built tree and checks it:
#   scripts/check_package.sh BUILD_DIR
# The package is unpacked into a scratch folder (dpkg -x); every file it must
# hold is looked for, the desktop entry and the AppStream metadata are
# validated, lintian must find no error, and the unpacked doroziri-cli must
# run on an unpacked example as the built one does, its PNG module included.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
source_dir=$(pwd)

fail() {
  echo "package check: $*" >&2
  exit 1
}

rm -f "$build"/doroziri_*.deb
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack -G DEB failed"
debs=("$build"/doroziri_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one doroziri_*.deb in the build folder"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
[[ $(basename "$deb") == "doroziri_${version}_${arch}.deb" ]] || fail "unexpected name $(basename "$deb")"
grep -q "project(doroziri VERSION $version " CMakeLists.txt || fail "package version $version is not the project's"

# Depends from dpkg-shlibdeps: the C++ runtime and Qt's widgets at least.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libqt6gui6; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch"
doc=usr/share/doc/doroziri
for file in usr/bin/doroziri usr/bin/doroziri-cli usr/lib/doroziri/doroziri_png.so \
            usr/share/applications/doroziri.desktop usr/share/mime/packages/doroziri.xml \
            usr/share/icons/hicolor/scalable/apps/doroziri.svg \
            usr/share/metainfo/org.doroziri.Doroziri.metainfo.xml \
            usr/share/man/man1/doroziri.1.gz usr/share/man/man1/doroziri-cli.1.gz \
            $doc/README.md $doc/copyright $doc/changelog.gz \
            $doc/examples/mirror200.srf $doc/examples/profile500.srf $doc/examples/parabolise200.srf; do
  [[ -s $scratch/$file ]] || fail "missing or empty in the package: $file"
done
[[ -x $scratch/usr/bin/doroziri && -x $scratch/usr/bin/doroziri-cli ]] || fail "programs not executable"

desktop-file-validate "$scratch/usr/share/applications/doroziri.desktop" || fail "desktop entry does not validate"
appstreamcli validate --no-net "$scratch/usr/share/metainfo/org.doroziri.Doroziri.metainfo.xml" >/dev/null ||
  fail "AppStream metadata does not validate"

# The unpacked tool: its version, the text export as the built tool writes
# it, and the plot through the module it finds next to itself.
cli=$scratch/usr/bin/doroziri-cli
example=$scratch/$doc/examples/mirror200.srf
[[ $("$cli" --version | head -1) == "doroziri-cli $version" ]] || fail "doroziri-cli --version is not $version"
"$cli" "$example" >"$scratch/unpacked.txt" || fail "unpacked doroziri-cli failed on the example"
"$build/cli/doroziri-cli" "$source_dir/examples/mirror200.srf" >"$scratch/built.txt"
cmp -s "$scratch/unpacked.txt" "$scratch/built.txt" || fail "unpacked doroziri-cli writes another text export"
[[ $(wc -l <"$scratch/unpacked.txt") -gt 40 ]] || fail "text export too short"
QT_QPA_PLATFORM=offscreen "$cli" --png "$scratch/plot.png" "$example" || fail "unpacked doroziri-cli --png failed"
file "$scratch/plot.png" | grep -q "PNG image data, 641 x 341" || fail "no 641 x 341 PNG from the unpacked tool"

# lintian: warnings are shown, errors fail.
lintian_out=$(lintian "$deb" 2>&1 | grep -v "running with root privileges" || true)
[[ -z $lintian_out ]] || echo "$lintian_out"
if grep -q "^E:" <<<"$lintian_out"; then fail "lintian found errors"; fi

echo "package check: $(basename "$deb") is complete (Depends: $depends)"

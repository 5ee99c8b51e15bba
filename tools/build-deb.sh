#!/usr/bin/env bash
# Builds the Debian package (Release, prefix /usr) with cpack and checks it:
# its control data and contents, that apt can resolve its dependencies, that
# the unpacked files pass the desktop validators and that the unpacked binary
# runs. With --fresh it also installs the package with apt into a fresh
# Debian 12 (bookworm) tree made by mmdebstrap and starts it there (needs root
# and the network; a few minutes).
#
#   tools/build-deb.sh [--fresh]        prints the path of the .deb last
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh run >&2
tools/install-deps.sh package >&2

build=build/deb
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DONDREL_BUILD_TESTS=OFF -DONDREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" >&2
rm -f "$build"/ondrel_*.deb
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$(pwd)/$build"/ondrel_*.deb)

fail() { echo "build-deb: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== control" >&2
dpkg-deb -I "$deb" >&2
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libcurl4 libc6; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
# Every dependency (each alternative) exists in the configured archive.
tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/ //g' | sort -u | while read -r package; do
    [ -n "$package" ] || continue
    candidate=$(apt-cache policy "$package" | awk '/Candidate:/ {print $2}')
    [ -n "$candidate" ] && [ "$candidate" != "(none)" ] || fail "no candidate for $package"
done
apt-get install --simulate "$deb" 2>/dev/null | grep -q '^Inst ondrel ' || fail "apt cannot install $deb"

echo "== contents" >&2
dpkg-deb -c "$deb" | awk '{print $6}' | tee "$work/contents" >&2
for path in usr/bin/ondrel usr/share/applications/org.ondrel.Ondrel.desktop \
    usr/share/metainfo/org.ondrel.Ondrel.metainfo.xml usr/share/icons/hicolor/scalable/apps/org.ondrel.Ondrel.svg \
    usr/share/icons/hicolor/48x48/apps/org.ondrel.Ondrel.png usr/share/man/man1/ondrel.1.gz \
    usr/share/bash-completion/completions/ondrel usr/share/zsh/vendor-completions/_ondrel \
    usr/share/fish/vendor_completions.d/ondrel.fish usr/share/doc/ondrel/json-output.schema.json; do
    grep -qx "./$path" "$work/contents" || fail "missing $path"
done

echo "== unpacked" >&2
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/org.ondrel.Ondrel.desktop" >&2
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.ondrel.Ondrel.metainfo.xml" >&2
man -l "$work/root/usr/share/man/man1/ondrel.1.gz" >/dev/null
! ldd "$work/root/usr/bin/ondrel" | grep 'not found' || fail "unresolved libraries"
"$work/root/usr/bin/ondrel" --version >&2
probe=$(ONDREL_WIFI_SIMULATION=resources/scenarios/demo.json XDG_DATA_HOME="$work/data" \
    "$work/root/usr/bin/ondrel" --probe --json 2>/dev/null)
grep -q '"format": "ondrel-probe/1"' <<<"$probe" || fail "the unpacked program does not probe"

if [ "${1:-}" = --fresh ]; then
    echo "== fresh Debian 12" >&2
    command -v mmdebstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq mmdebstrap >&2
    fresh="$work/bookworm"
    mmdebstrap --variant=apt --include=ca-certificates bookworm "$fresh" >&2
    cp "$deb" resources/scenarios/demo.json "$fresh/tmp/"
    chroot "$fresh" sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/ondrel_*.deb' >&2
    chroot "$fresh" sh -c 'ondrel --version && man -w ondrel 2>/dev/null; ls /usr/share/applications' >&2
    # It starts: the main window rendered off screen from the installed binary.
    chroot "$fresh" env ONDREL_WIFI_SIMULATION=/tmp/demo.json XDG_DATA_HOME=/tmp/data XDG_CONFIG_HOME=/tmp/config \
        ondrel --lang en --shot /tmp/main.png >&2
    [ -s "$fresh/tmp/main.png" ] || fail "no window rendered in the fresh system"
    cp "$fresh/tmp/main.png" "$build/fresh-main.png"
fi
echo "$deb"

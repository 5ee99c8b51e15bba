#!/usr/bin/env bash
# Installs the Debian packages Ondrel needs that are missing. Quick when
# everything is there already. Usage: tools/install-deps.sh [run|test|package|fuzz]
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    libcurl4-openssl-dev ca-certificates libicu-dev
    # The kernel's radio figures: nl80211 over generic netlink.
    libnl-3-dev libnl-genl-3-dev
    # Renders the application icon's PNG sizes from its SVG.
    librsvg2-bin
    # Fonts that show Japanese, Chinese, Korean, Arabic, Hebrew, Thai and Devanagari.
    fonts-noto-core fonts-noto-cjk fonts-noto-ui-core fonts-dejavu-core
)
if [ "${1:-run}" = test ]; then
    packages+=(python3 python3-dbusmock python3-dbus dbus-daemon curl iperf3 network-manager)
    # The validators of the installed files and of the JSON output.
    packages+=(desktop-file-utils appstream man-db python3-jsonschema)
    # The Wi-Fi lab (tests/lab): Debian's kernel under QEMU with simulated radios, the access
    # points, the client's stack and the tools the lab reads the stack with.
    packages+=(qemu-system-x86 linux-image-amd64 busybox-static cpio kmod xz-utils wireless-regdb)
    packages+=(hostapd wpasupplicant iw iwd iproute2 udev)
    # The desktop tier: an X server with a window manager, the accessibility
    # bus and its Python bindings, XTEST keys, and a Qt platform theme that
    # sets the desktop's font and keyboard scheme.
    packages+=(xvfb openbox at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-gi xdotool qt6ct)
fi
if [ "${1:-run}" = package ]; then
    # cpack's Debian generator: dpkg-shlibdeps (dpkg-dev) and file; the checks of tools/build-deb.sh.
    packages+=(dpkg-dev file desktop-file-utils appstream man-db)
fi
if [ "${1:-run}" = fuzz ]; then
    packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

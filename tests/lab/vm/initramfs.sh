#!/bin/sh
# Builds the lab VM's initramfs: busybox-static and the modules that mount the
# host's root over virtio-9p under a writable overlay.
#   initramfs.sh KERNEL_VERSION OUTPUT
set -eu
version=$1
output=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/bin" "$work/modules" "$work/proc" "$work/sys" "$work/dev" "$work/lower" "$work/rw" "$work/root"
cp /bin/busybox "$work/bin/busybox"
ln -s busybox "$work/bin/sh"
cp "$here/init" "$work/init"
chmod 755 "$work/init"

# Each module once, in the order modprobe would load them.
: > "$work/modules/order"
for module in virtio_pci 9pnet_virtio 9p overlay; do
    modprobe -S "$version" --show-depends "$module" | awk '$1 == "insmod" {print $2}'
done | awk '!seen[$0]++' | while read -r path; do
    name=$(basename "$path")
    case "$name" in
        *.ko.xz) xz -dc "$path" > "$work/modules/${name%.xz}"; name=${name%.xz} ;;
        *.ko.zst) zstd -qdc "$path" > "$work/modules/${name%.zst}"; name=${name%.zst} ;;
        *) cp "$path" "$work/modules/$name" ;;
    esac
    echo "$name" >> "$work/modules/order"
done

(cd "$work" && find . | cpio -o -H newc --quiet) | gzip -1 > "$output.tmp"
mv "$output.tmp" "$output"

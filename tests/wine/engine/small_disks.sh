#!/bin/sh
# Mounts two small real filesystems for the save tests, or removes them:
#   small_disks.sh setup DIR    DIR/full: 256 KiB, holding backup.bin (100 KiB)
#                               DIR/readonly: read-only, holding backup.bin
#   small_disks.sh cleanup DIR
# Each folder that is ready holds a file "ready". Mounting needs root; without
# it the folders stay unprepared and the tests that need them are skipped.
set -u
action=$1
dir=$2

release() {
    for name in full readonly; do
        if mountpoint -q "$dir/$name" 2>/dev/null; then umount "$dir/$name"; fi
    done
    rm -rf "$dir"
}

case "$action" in
setup)
    release
    mkdir -p "$dir/full" "$dir/readonly"
    for name in full readonly; do
        if ! mount -t tmpfs -o size=256k,mode=0777 tmpfs "$dir/$name" 2>/dev/null; then
            echo "small_disks: cannot mount a small filesystem at $dir/$name (needs root)"
            continue
        fi
        head -c 102400 /dev/urandom >"$dir/$name/backup.bin"
        touch "$dir/$name/ready"
    done
    if mountpoint -q "$dir/readonly"; then mount -o remount,ro "$dir/readonly"; fi
    echo "small_disks: ready in $dir"
    ;;
cleanup)
    release
    ;;
*)
    echo "usage: $0 setup|cleanup DIR" >&2
    exit 2
    ;;
esac
exit 0

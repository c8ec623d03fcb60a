#!/usr/bin/env bash
# Makes samples/sample-disk.img.xz: an MBR disk with an NTFS and a FAT32 partition holding a
# few folders and files, some deleted through the real drivers (ntfs-3g, mtools). Also writes
# samples/sample-disk.manifest: one line per file, "sha256  deleted|live  partition  path".
# Run as root (loop devices, FUSE). Deterministic content; the tools' own ids and times vary.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
export FIXTURE_WORK="$work"
trap 'bash "$here/../tests/fixtures/lib.sh" cleanup "$work" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
. "$here/../tests/fixtures/lib.sh"
need sfdisk mkntfs ntfs-3g mkfs.fat mcopy mdel mdeltree mmd xz python3
img="$work/sample-disk.img"
truncate -s $((120 * 1024 * 1024)) "$img"
# NTFS 40 MiB at 2048, FAT32 72 MiB (512-byte clusters give more than 65525 of them).
sfdisk -q "$img" <<'TABLE'
label: dos
unit: sectors
start=2048, size=81920, type=7
start=83968, size=147456, type=c
TABLE

content() { # PATH SIZE SEED [MAGIC]
    random_file "$1" "$2" "$3"
    if [ -n "${4:-}" ]; then printf "$4" | dd of="$1" conv=notrunc status=none; fi
}
stamp="2026-03-14 09:26:53"
manifest="$work/manifest"
: > "$manifest"
record() { # PARTITION ROOT RELPATH STATE
    printf '%s  %s  %s  %s\n' "$(sha256sum "$2/$3" | cut -d' ' -f1)" "$4" "$1" "$3" >> "$manifest"
}

# --- NTFS, filled and pruned through ntfs-3g
dev=$(loop_attach "$img" $((2048 * 512)) $((81920 * 512)))
mkntfs -q -F -Q -s 512 -H 255 -S 63 -p 2048 -L SAMPLE-NTFS "$dev"
mnt="$work/ntfs"
mount_fs ntfs "$dev" "$mnt"
mkdir -p "$mnt/Documents" "$mnt/Pictures/Holiday" "$mnt/Old Projects"
printf 'Velmora sample disk.\nThe files in red were deleted; tick them and press Save.\n' > "$mnt/readme.txt"
printf 'Quarterly report\n================\nAll figures are made up.\n' > "$mnt/Documents/report.txt"
content "$mnt/Documents/notes.txt" 30000 11
content "$mnt/Documents/old-draft.txt" 9000 12
content "$mnt/Pictures/photo1.jpg" 200000 13 '\xff\xd8\xff\xe0\x00\x10JFIF\x00'
content "$mnt/Pictures/Holiday/beach.png" 150000 14 '\x89PNG\r\n\x1a\n'
content "$mnt/Old Projects/plan.txt" 5000 15
content "$mnt/Old Projects/budget.csv" 70000 16
find "$mnt" -exec touch -h -d "$stamp" {} +
for f in readme.txt Documents/report.txt Documents/notes.txt Pictures/photo1.jpg Pictures/Holiday/beach.png; do
    record NTFS "$mnt" "$f" live
done
for f in Documents/old-draft.txt "Old Projects/plan.txt" "Old Projects/budget.csv"; do
    record NTFS "$mnt" "$f" deleted
done
rm "$mnt/Documents/old-draft.txt"
rm -r "$mnt/Old Projects"
unmount_fs "$mnt"
loop_detach "$dev"

# --- FAT32, filled and pruned through mtools
fat="$work/fat.vol"
truncate -s $((147456 * 512)) "$fat"
mkfs.fat -F 32 -s 1 -h 83968 -n SAMPLE-FAT "$fat" >/dev/null
src="$work/fatsrc"
mkdir -p "$src/Music" "$src/Backup" "$src/Temp"
content "$src/Music/song.mp3" 250000 21 'ID3\x03\x00'
content "$src/Backup/data.bin" 120000 22
content "$src/Backup/old.bin" 64000 23
content "$src/Temp/cache1.tmp" 8000 24
content "$src/Temp/cache2.tmp" 12000 25
printf 'FAT32 side of the sample disk.\n' > "$src/hello.txt"
find "$src" -exec touch -h -d "$stamp" {} +
export MTOOLS_SKIP_CHECK=1
mmd -i "$fat" ::/Music ::/Backup ::/Temp
for f in hello.txt Music/song.mp3 Backup/data.bin Backup/old.bin Temp/cache1.tmp Temp/cache2.tmp; do
    mcopy -m -i "$fat" "$src/$f" "::/$f"
done
for f in hello.txt Music/song.mp3 Backup/data.bin; do record FAT32 "$src" "$f" live; done
for f in Backup/old.bin Temp/cache1.tmp Temp/cache2.tmp; do record FAT32 "$src" "$f" deleted; done
mdel -i "$fat" ::/Backup/old.bin
mdeltree -i "$fat" ::/Temp
place_volume "$fat" "$img" 83968

xz -9 -T1 -c "$img" > "$here/sample-disk.img.xz"
cp "$manifest" "$here/sample-disk.manifest"
ls -l "$here/sample-disk.img.xz"

#!/bin/bash
# A prefix whose Program Files folder is moved through the registry:
#  - to a small tmpfs mounted in C:, where a run without a display, which
#    cannot show its confirmation, changes nothing and is an error, and where
#    the disk fills up while the new library is written: the old library
#    stays as it was and no temporary file is left behind;
#  - to a folder so deep that the library's path no longer fits in MAX_PATH:
#    an error, and the library there is not touched.
# A run on the small disk with room to spare shows the disk itself works.
# The disk is mounted before the session starts, whose server (in a
# namespace of its own) sees only the mounts made before it, and it is a
# folder of C:, as a drive letter made after the start would not be seen.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/own_prefix.sh"
mount_point="$work/small-disk"
cleanup_steps=('mountpoint -q "$mount_point" && umount "$mount_point"')
trap own_prefix_cleanup EXIT

mkdir -p "$mount_point"
mount -t tmpfs -o size=1m zmk-installer-test "$mount_point" || { echo "cannot mount a tmpfs"; exit 1; }
make_own_prefix || exit 1
ln -s "$mount_point" "$prefix/drive_c/small-disk"
set_program_files() {
  own_wine wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /t REG_SZ /d "$1" /f >/dev/null 2>&1
}
set_program_files 'C:\small-disk\Apps'
folder="$mount_point/Apps/Quenford/Borvanect"
mkdir -p "$folder"

cp "$fixture" "$folder/ZELMORK.dll"
expect_run_without_display "a confirmation that cannot be shown is no confirmation: an error" 1
expect_same "library not confirmed is untouched" "$fixture" "$folder/ZELMORK.dll"
expect_only_library "nothing beside the library not confirmed" "$folder"
expect_run "library on a disk with room is replaced" 0 "Install Patch ?" "Install Patch Success."
expect_same "library on the small disk is the embedded one" "$library" "$folder/ZELMORK.dll"

cp "$fixture" "$folder/ZELMORK.dll"
# Leave less room than the new library needs, but some.
free=$(df --output=avail -B1 "$mount_point" | tail -1)
head -c $((free - 8192)) /dev/zero >"$mount_point/filler"
echo "room left on the small disk: $(df --output=avail -B1 "$mount_point" | tail -1) bytes for a $(stat -c %s "$library")-byte library"
expect_run "write that fills the disk is an error" 1 "Install Patch ?" "Install Patch Error."
expect_same "library on the full disk is untouched" "$fixture" "$folder/ZELMORK.dll"
expect_only_library "no temporary file left on the full disk" "$folder"
rm -f "$mount_point/filler"

deep="$(printf 'd%.0s' $(seq 120))"
set_program_files "C:\\$deep\\$deep"
folder="$prefix/drive_c/$deep/$deep/Quenford/Borvanect"
mkdir -p "$folder"
cp "$fixture" "$folder/ZELMORK.dll"
expect_run "path longer than MAX_PATH is an error" 1 "Install Patch ?" "Install Patch Error."
expect_same "library under the long path is untouched" "$fixture" "$folder/ZELMORK.dll"
expect_only_library "nothing created under the long path" "$folder"

echo "$failures failed"
[ "$failures" -eq 0 ]

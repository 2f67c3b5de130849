#!/bin/bash
# As an ordinary user (nobody), whose file modes Wine does respect: a read-only
# library and a library in a folder the user may not write to are both left
# as they were, with nothing beside them. A writable one is replaced, which
# shows the prefix itself works.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/own_prefix.sh"
cleanup_steps=()
trap own_prefix_cleanup EXIT
session_user=nobody

make_own_prefix || exit 1
folder="$prefix/drive_c/Program Files/Quenford/Borvanect"
target="$folder/ZELMORK.dll"
place_library() {
  chmod 755 "$folder" 2>/dev/null || true
  rm -rf "$prefix/drive_c/Program Files/Quenford"
  own_wine mkdir -p "$folder"
  own_wine cp "$fixture" "$target"
}

place_library
chmod 444 "$target"
expect_run "read-only library is refused" 1 "Install Patch ?" "Install Patch Error."
expect_same "read-only library is untouched" "$fixture" "$target"
expect_only_library "nothing beside the read-only library" "$folder"

place_library
chmod 555 "$folder"
expect_run "library in a folder without write permission is refused" 1 "Install Patch ?" "Install Patch Error."
expect_same "library in the closed folder is untouched" "$fixture" "$target"
expect_only_library "nothing created in the closed folder" "$folder"

place_library
expect_run "writable library is replaced" 0 "Install Patch ?" "Install Patch Success."
expect_same "replaced library is the embedded one" "$library" "$target"
expect_only_library "nothing beside the replaced library" "$folder"

echo "$failures failed"
[ "$failures" -eq 0 ]

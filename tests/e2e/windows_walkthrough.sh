#!/usr/bin/env bash
# The Windows package's walk-through under Wine, as its README.txt tells it: the zip unpacked into
# a fresh folder of the Wine prefix, a game of three containers (one under a name that is not
# ASCII) exported, one texture edited, all built back with their originals' headers.
# Usage: tests/e2e/windows_walkthrough.sh ZIP   (WINEPREFIX set and its wineserver running, as
#   scripts/build-windows does)
set -euo pipefail
zip=$(realpath "$1")
samples=$(cd "$(dirname "$0")/../../samples" && pwd)
started=$(date +%s%N)
dir=$(mktemp -d "${WINEPREFIX:?}/drive_c/walk.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"
unzip -q "$zip"
# Wine reads Unix file names in the locale's encoding, and ours are UTF-8 whatever the caller's is.
run() { LC_ALL=C.UTF-8 wine sodrel-convert.exe "$@" </dev/null; }
fail() { echo "windows walk-through: $*" >&2; exit 1; }

# Each container its own: a random header, the sample's DXT1 header and random blocks (any bytes
# are DXT1 blocks), so that a header or texture put into the wrong container shows. No block byte
# is 1, so that the edit's bytes all differ.
make_container() {
  mkdir -p "$(dirname "$1")"
  { head -c 64 /dev/urandom; head -c 128 "$samples/sample.dds"
    head -c 8192 /dev/urandom | tr '\001' '\000'; } >"$1"
}
edited=game/Ausrüstung/Rüstung.bin
for c in game/terrain/rock.bin game/terrain/grass.bin "$edited"; do make_container "$c"; done

run export -r -o work game
for c in game/terrain/rock.bin game/terrain/grass.bin "$edited"; do
  cmp <(tail -c +65 "$c") "work/${c#game/}.dds"
done
# Four bytes of the edited texture's first blocks, past its 128-byte DDS header.
printf '\001\001\001\001' | dd of="work/Ausrüstung/Rüstung.bin.dds" bs=1 seek=200 conv=notrunc \
  status=none
run build -r --originals game -o mod work

cmp mod/terrain/rock.bin game/terrain/rock.bin
cmp mod/terrain/grass.bin game/terrain/grass.bin
built=mod/Ausrüstung/Rüstung.bin
cmp "$built" <(head -c 64 "$edited"; cat "work/Ausrüstung/Rüstung.bin.dds")
# The first difference is the edit's first byte, 64 + 200 + 1 as cmp counts.
[ "$({ cmp -l "$built" "$edited" || true; } | awk 'NR == 1 { print $1 }')" = 265 ] ||
  fail "$built differs elsewhere than where edited"
[ "$(run info 'mod\terrain\*.bin' | grep -c '^  texture: *DXT1')" -eq 2 ] ||
  fail "info 'mod\\terrain\\*.bin' shows other than two textures"
echo "windows walk-through: passed in $((($(date +%s%N) - started) / 1000000)) ms"

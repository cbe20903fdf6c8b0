#!/usr/bin/env bash
# Writes the browser tests' CDs with the tool:
#   locked/   password and licence, a few folders, a picture, a text file
#             and a file of several read chunks
#   damaged/  the plain CD with the viewer file's catalogue size past its end
#   holes/    the plain CD with one data file missing and one cut short
#   sealed/   no password, no licence, export forbidden
#   cyrillic/ names and password in windows-1251
#   japanese/ names in shift_jis
#   sample/   the bundled sample CD with the page on it
#   sources/  what locked/ holds, to compare exports with
#
#   bash web/tests/make_fixtures.sh KELVORA OUT_DIR
set -euo pipefail
kelvora=$1 out=$2
rm -rf "$out"
mkdir -p "$out/sources/Docs/Letters" "$out/sources/Pictures" "$out/sources/Empty"
src=$out/sources
printf 'Dear reader,\r\nthis CD opens in a browser.\r\n' > "$src/Docs/Letters/hello.txt"
printf 'Second letter\n' > "$src/Docs/Letters/again.txt"
printf 'Notes at the top\n' > "$src/notes.txt"
# A picture the browser can show (a 2 x 2 PNG).
printf '\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x00\x02\x00\x00\x00\x02\x08\x02\x00\x00\x00\xfd\xd4\x9as\x00\x00\x00\x16IDATx\x9cc\xf8\xcf\xc0\xf0\x9f\x81\x81\x81\xe1?\x03\x03\x03\x00/\xf0\x05\xfb\x9c\xbaR\xc7\x00\x00\x00\x00IEND\xaeB`\x82' > "$src/Pictures/dot.png"
# Several chunks of the page's reads (4 MiB each), not a multiple of one.
head -c 9437283 /dev/urandom > "$src/Pictures/large.bin"
printf 'These terms apply.\r\nRead them well.\r\n' > "$out/licence.txt"
# Start-screen pictures: a gradient background and a logo whose magenta
# corners are drawn transparent (24-bit BMP, as the Windows viewer loads).
python3 - "$out" <<'PY'
import struct, sys
def bmp(path, w, h, pixel):
    row = (w * 3 + 3) & ~3
    data = b"".join(b"".join(bytes(pixel(x, y)[::-1]) for x in range(w)).ljust(row, b"\0")
                    for y in reversed(range(h)))
    head = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    open(path, "wb").write(head + info + data)
bmp(sys.argv[1] + "/background.bmp", 64, 40, lambda x, y: (16 + x * 2, 32 + y * 3, 96 + x))
def logo(x, y):
    if (x < 20 or x > 139) and (y < 12 or y > 47):
        return (255, 0, 255)
    return (230, 160, 40) if 8 < y < 52 else (40, 40, 40)
bmp(sys.argv[1] + "/logo.bmp", 160, 60, logo)
PY

"$kelvora" build "$src" -o "$out/locked" --password 'Harbour-Light' \
  --licence "$out/licence.txt" --text $'Welcome to the CD\r\nSecond line\r\n' \
  --text-pos top --shadow '#202020' --back-colour '#102040' \
  --background "$out/background.bmp" --logo "$out/logo.bmp" --logo-pos bottom \
  --logo-key '#FF00FF' >/dev/null 2>&1

mkdir -p "$out/plain-src/Folder"
printf 'one\n' > "$out/plain-src/Folder/one.txt"
printf 'two\n' > "$out/plain-src/Folder/two.txt"
printf 'three\n' > "$out/plain-src/three.txt"
"$kelvora" build "$out/plain-src" -o "$out/holes" --max-data-file 1 >/dev/null 2>&1
"$kelvora" build "$out/plain-src" -o "$out/sealed" --no-export >/dev/null 2>&1
cp -r "$out/holes" "$out/damaged"

# damaged/: CatalogueSize (trailer +4) far past the end of the file.
viewer=$(ls "$out/damaged"/*.exe)
size=$(stat -c %s "$viewer")
printf '\xff\xff\xff\x0f' | dd of="$viewer" bs=1 seek=$((size - 36)) conv=notrunc status=none

# holes/: the data file of one.txt removed, that of two.txt cut short.
rm "$out/holes/KELVORA2.DAT"
truncate -s 2 "$out/holes/KELVORA3.DAT"

# cyrillic/: names and password in windows-1251.
mkdir -p "$out/cyrillic-src/Документы"
printf 'privet\n' > "$out/cyrillic-src/Документы/Привет.txt"
"$kelvora" build "$out/cyrillic-src" -o "$out/cyrillic" --codepage windows-1251 \
  --password 'Пароль-1' >/dev/null 2>&1

# japanese/: names in shift_jis, one with the byte 0x5C inside a character.
mkdir -p "$out/japanese-src/資料"
printf 'hyou\n' > "$out/japanese-src/資料/表.txt"
"$kelvora" build "$out/japanese-src" -o "$out/japanese" --codepage shift_jis >/dev/null 2>&1

# sample/: the bundled sample CD, carrying the page as the build puts it.
if [ -n "${KELVORA_WEB_PAGE:-}" ]; then
  sample=$(dirname "$0")/../../examples/sample-cd
  "$kelvora" build "$sample/files" -o "$out/sample" --password-file "$sample/password.txt" \
    --licence "$sample/licence.txt" --text-file "$sample/screen.txt" --text-pos centred \
    --web "$KELVORA_WEB_PAGE" >/dev/null 2>&1
fi

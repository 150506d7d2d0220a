#!/usr/bin/env bash
# scripts/screenshots.sh [BUILD_DIR]: pictures of the desktop program for the README. Builds
# Lym.exe and its test driver in a configured Windows build (default build-win32), runs the
# driver's test with --screenshots under Wine in a virtual X server, and turns the BMP pictures into
# docs/lym-main.png, docs/lym-compress-job.png and docs/lym-compression-options.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win32}
cmake --build "$build" --target lym_desktop lym_desktop_driver -j2

pictures=$(mktemp -d)
files="$build/wine-prefix/drive_c/Music"
trap 'rm -rf "$pictures" "$files"' EXIT
# The job window shows the files' folder: one on the Wine prefix's drive C: reads better there than
# the build folder (on drive Z:, Wine's view of the whole file system).
sh "$build/tests/windows/desktop/desktop_gui.sh" 'C:\Music' --screenshots "$pictures"

# BMP (24 bits, bottom-up rows) to PNG (8-bit RGB), with the standard library only.
python3 - "$pictures" docs <<'PYTHON'
import pathlib, struct, sys, zlib

def png_chunk(kind, body):
    return (struct.pack('>I', len(body)) + kind + body
            + struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF))

def bmp_to_png(bmp, png):
    data = bmp.read_bytes()
    if data[:2] != b'BM':
        sys.exit(f'{bmp}: not a BMP file')
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
    if bits != 24 or width <= 0 or height == 0:
        sys.exit(f'{bmp}: not a 24-bit picture')
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = height - 1 - y if height > 0 else y  # positive heights store the bottom row first
        bgr = data[offset + source * stride:offset + source * stride + width * 3]
        rgb = bytearray(bgr)
        rgb[0::3], rgb[2::3] = bgr[2::3], bgr[0::3]
        rows.append(b'\0' + bytes(rgb))  # filter type 0 per row
    header = struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0)
    png.write_bytes(b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', header)
                    + png_chunk(b'IDAT', zlib.compress(b''.join(rows), 9))
                    + png_chunk(b'IEND', b''))

pictures, docs = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
for name in ('lym-main', 'lym-compress-job', 'lym-compression-options'):
    bmp_to_png(pictures / f'{name}.bmp', docs / f'{name}.png')
    print(f'docs/{name}.png')
PYTHON

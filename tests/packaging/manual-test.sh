#!/usr/bin/env bash
# The user manual: the PDF the Windows build rendered is a PDF whose every
# page renders and carries text, and which has every chapter of its source;
# and the renderer builds a manual whose screenshot is missing, leaving out
# just that picture.
#   manual-test.sh MANUAL.pdf SOURCE.md RENDERER WORKDIR
set -uo pipefail
pdf=${1:?manual PDF}
source_md=${2:?manual source}
render=${3:?renderer}
work=${4:?work folder}
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# -- the rendered manual --------------------------------------------------
if [ ! -f "$pdf" ]; then
    fail "no manual at $pdf (the Windows build renders it; is weasyprint installed?)"
else
    pages=$(pdfinfo "$pdf" 2>/dev/null | sed -n 's/^Pages: *//p')
    if [ -z "$pages" ]; then
        fail "pdfinfo cannot read $pdf"
    else
        echo "manual: $pages pages"
        [ "$pages" -ge 10 ] || fail "only $pages pages"
        pdftoppm -r 30 -png "$pdf" "$work/page" || fail "pdftoppm failed"
        rendered=$(find "$work" -name 'page-*.png' -size +1k | wc -l)
        [ "$rendered" -eq "$pages" ] || fail "$rendered of $pages pages rendered"
        for ((p = 1; p <= pages; p++)); do
            words=$(pdftotext -f $p -l $p "$pdf" - 2>/dev/null | wc -w)
            [ "$words" -gt 0 ] || fail "page $p has no text"
        done
        pdftotext "$pdf" "$work/manual.txt"
        # Every chapter heading of the source is in the PDF (a stale or
        # truncated render misses some).
        while IFS= read -r chapter; do
            grep -qF -- "$chapter" "$work/manual.txt" || fail "chapter \"$chapter\" is not in the PDF"
        done < <(sed -n 's/^## //p' "$source_md")
    fi
fi

# -- a missing screenshot --------------------------------------------------
mkdir -p "$work/doc/shots"
# A 16 x 16 grey PNG.
/usr/bin/python3 - "$work/doc/shots/here.png" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rows = b"".join(b"\0" + b"\x80" * 48 for _ in range(16))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
open(sys.argv[1], "wb").write(png)
PY
cat >"$work/doc/m.md" <<'MD'
# Test

## Chapter one

Before the pictures.

![Present](shots/here.png)

![Missing](shots/gone.png)

| Sign | Meaning |
|---|---|
| ![Missing sign](shots/gone2.png) | words stay |

After the pictures.
MD
if "$render" "$work/doc/m.md" "$work/m.pdf" 2>"$work/render.err"; then
    images=$(pdfimages -list "$work/m.pdf" 2>/dev/null | tail -n +3 | wc -l)
    [ "$images" -eq 1 ] || fail "the test manual has $images images, not 1"
    pdftotext "$work/m.pdf" "$work/m.txt"
    for text in "Before the pictures." "After the pictures." "Missing sign" "words stay"; do
        grep -qF "$text" "$work/m.txt" || fail "\"$text\" missing from the test manual"
    done
    grep -q 'shots/gone.png not found' "$work/render.err" || fail "no note about the missing screenshot"
else
    fail "the renderer failed on a missing screenshot: $(cat "$work/render.err")"
fi

if [ $failures -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "manual checks passed"

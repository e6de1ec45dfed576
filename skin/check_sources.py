#!/usr/bin/env python3
"""The committed SVGs are what make_skin.py writes now (so nobody edits one by
hand and loses it at the next run), and they are exactly the skin set: one
source per file of check_skin.SKIN."""
import filecmp
import os
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import check_skin  # noqa: E402

committed = os.path.join(here, "svg")
faults = []
with tempfile.TemporaryDirectory() as tmp:
    subprocess.run([sys.executable, os.path.join(here, "make_skin.py"), tmp], check=True)
    fresh = sorted(os.listdir(tmp))
    have = sorted(n for n in os.listdir(committed) if n.endswith(".svg"))
    for n in sorted(set(fresh) - set(have)):
        faults.append(f"{n}: not committed")
    for n in sorted(set(have) - set(fresh)):
        faults.append(f"{n}: not written by make_skin.py")
    for n in sorted(set(fresh) & set(have)):
        if not filecmp.cmp(os.path.join(tmp, n), os.path.join(committed, n), shallow=False):
            faults.append(f"{n}: differs from what make_skin.py writes")
wanted = sorted(n + ".svg" for n, _, _ in check_skin.SKIN)
for n in sorted(set(wanted) - set(fresh)):
    faults.append(f"{n}: no source for this skin file")
for n in sorted(set(fresh) - set(wanted)):
    faults.append(f"{n}: not a file of the skin set")
for line in faults:
    print(line)
sys.exit(1 if faults else 0)

"""Reads the data export back with Python's csv and json modules, as a
spreadsheet or a script would, and checks every row against what was
written: export_roundtrip.py <exporttool> <folder>."""
import csv
import datetime
import json
import os
import subprocess
import sys

tool, folder = sys.argv[1], sys.argv[2]
os.makedirs(folder, exist_ok=True)
subprocess.run([tool, folder], check=True, timeout=60)

truth = []
with open(os.path.join(folder, "truth.tsv")) as f:
    for line in f:
        ms, offset, micros, plotted = line.rstrip("\n").split("\t")
        truth.append((int(ms), int(offset), None if micros == "-" else int(micros), int(plotted)))


def check(row, expected, where):
    ms, offset, micros, plotted = expected
    stamp = datetime.datetime.fromisoformat(row["time"])
    assert stamp.utcoffset() == datetime.timedelta(seconds=offset), where
    assert round(stamp.timestamp() * 1000) == ms, where
    assert int(row["unix_ms"]) == ms, where
    lost = int(row["lost"])
    assert lost == (1 if micros is None else 0), where
    reply = row["reply_ms"]
    if micros is None:
        assert reply in ("", None), where
    else:
        assert round(float(reply) * 1000) == micros, where
    assert int(row["plotted_ms"]) == plotted, where
    assert int(row["error"]) == 0, where


with open(os.path.join(folder, "export.csv"), newline="") as f:
    reader = csv.DictReader(f)
    assert reader.fieldnames == ["time", "unix_ms", "reply_ms", "lost", "plotted_ms", "error"], reader.fieldnames
    rows = list(reader)
assert len(rows) == len(truth), (len(rows), len(truth))
for i, (row, expected) in enumerate(zip(rows, truth)):
    check(row, expected, "csv row %d" % i)

with open(os.path.join(folder, "export.jsonl")) as f:
    records = [json.loads(line) for line in f]
assert len(records) == len(truth)
for i, (record, expected) in enumerate(zip(records, truth)):
    check(record, expected, "json line %d" % i)

print("read back %d rows of CSV and JSON Lines" % len(truth))

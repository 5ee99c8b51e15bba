#!/usr/bin/env python3
"""Writes a speed history of a few dozen made-up measurements, for
screenshots and demos:

    tools/demo_history.py DATA_HOME [COUNT]

The file goes to DATA_HOME/Ondrel/speed-history.json; run the program with
XDG_DATA_HOME=DATA_HOME to see it. The figures are fixed (seeded), so every
run writes the same file.
"""
import datetime
import json
import pathlib
import random
import sys
import uuid

NETWORKS = [
    # name, bssid, band, channel, typical rssi, typical download and upload (Mbps);
    # the names are those of resources/scenarios/demo.json, plus two away from it.
    ("Ondrel-Home", "a4:2b:b0:10:00:01", 50, 36, -44, 410.0, 95.0),
    ("Office-Mesh", "70:a7:41:00:00:44", 50, 44, -58, 240.0, 120.0),
    ("Cafe Libre", "b8:27:eb:01:00:01", 24, 1, -66, 23.0, 6.5),
    ("Aurora 6G", "3c:7c:3f:60:00:25", 60, 37, -49, 880.0, 410.0),
    ("Hotel Lobby Free Wi-Fi — Conference Centre North Wing", "00:1d:aa:77:88:99", 50, 149, -76, 38.0, 9.0),
    ("山田家のWi-Fi", "c0:25:a2:06:00:06", 24, 6, -82, 4.2, 1.1),
]


def main():
    home = pathlib.Path(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 36
    rng = random.Random(20261206)
    # A generator of its own for the latencies under load, so that the other
    # figures stay those of earlier versions of this file.
    loaded = random.Random(20261207)
    now = datetime.datetime(2026, 12, 6, 9, 30, tzinfo=datetime.timezone.utc)
    entries = []
    for i in range(count):
        name, bssid, band, channel, rssi, down, up = NETWORKS[rng.choice([0, 0, 0, 0, 1, 1, 2, 3, 3, 4, 5])]
        date = now - datetime.timedelta(hours=9 * i + rng.randint(0, 5), minutes=rng.randint(0, 59))
        spread = rng.uniform(0.7, 1.15)
        entry = {
            "id": str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper(),
            "date": date.strftime("%Y-%m-%dT%H:%M:%SZ"),
            "ssid": name,
            "rssi": rssi + rng.randint(-4, 4),
            "band": band,
            "channel": channel,
            "downloadMbps": round(down * spread, 2),
            "uploadMbps": round(up * rng.uniform(0.75, 1.1), 2),
            "latencyMs": rng.randint(6, 40),
            "jitterMs": rng.randint(0, 9),
            "bytes": rng.randint(60, 900) * 1_000_000,
        }
        if bssid:
            entry["bssid"] = bssid
        # The oldest ones were stored before the latency under load was measured.
        if i < count * 2 // 3:
            for phase, bloat in (("download", loaded.randint(5, 90)), ("upload", loaded.randint(20, 260))):
                entry[phase + "LatencyMs"] = entry["latencyMs"] + bloat
                entry[phase + "JitterMs"] = loaded.randint(1, 3 + bloat // 8)
        entries.append(entry)
    folder = home / "Ondrel"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "speed-history.json").write_text(json.dumps(entries, ensure_ascii=False, indent=2), encoding="utf-8")


if __name__ == "__main__":
    main()

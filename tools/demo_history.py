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
    # name, bssid, band, channel, typical rssi, typical download and upload (Mbps)
    ("Home-5G", "a4:2b:b0:11:22:33", 50, 36, -52, 410.0, 95.0),
    ("Home", "a4:2b:b0:11:22:32", 24, 6, -61, 72.0, 18.0),
    ("Café Lumière Guest", "3c:84:6a:de:ad:01", 24, 11, -70, 23.0, 6.5),
    ("Office-WiFi6E-Conference-Room-North-Wing", "f0:9f:c2:00:60:01", 60, 37, -48, 880.0, 410.0),
    ("駅前フリーWi-Fi", "00:1d:aa:77:88:99", 50, 149, -76, 38.0, 9.0),
    ("Library", None, 0, 0, -83, 4.2, 1.1),
]


def main():
    home = pathlib.Path(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 36
    rng = random.Random(20261206)
    now = datetime.datetime(2026, 12, 6, 9, 30, tzinfo=datetime.timezone.utc)
    entries = []
    for i in range(count):
        name, bssid, band, channel, rssi, down, up = NETWORKS[rng.choice([0, 0, 0, 1, 1, 2, 3, 3, 4, 5])]
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
        entries.append(entry)
    folder = home / "Ondrel"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "speed-history.json").write_text(json.dumps(entries, ensure_ascii=False, indent=2), encoding="utf-8")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes resources/Localizations/_source.json: every English text that the
sources pass to L, Lf and pluralFormat (a counted text by its "other" form,
which is the key the translation tables use), and the English texts of the
desktop launcher entry (resources/desktop/texts.json, Japanese/English pairs).

    tools/extract_texts.py          rewrite the file
    tools/extract_texts.py --check  exit 1 when the file is out of date
"""
import json
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUTPUT = ROOT / "resources" / "Localizations" / "_source.json"
FOLDERS = ["app", "wifi", "store", "localization", "speed", "ui"]
DESKTOP_TEXTS = ROOT / "resources" / "desktop" / "texts.json"
CALL = re.compile(r"(?<![A-Za-z0-9_])(L|Lf|pluralFormat)\s*\(")
# Which literal argument holds the English key, per function.
KEY_ARGUMENT = {"L": 1, "Lf": 1, "pluralFormat": 2}
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "'": "'", "0": "\0"}


def read_literal(text, i):
    """Parses one C++ string literal starting at text[i] == '"' (an optional
    u8/u/L prefix is skipped by the caller). Returns (value, index after)."""
    assert text[i] == '"'
    i += 1
    out = []
    while i < len(text):
        c = text[i]
        if c == '"':
            return "".join(out), i + 1
        if c == "\\":
            nxt = text[i + 1]
            if nxt == "u":
                out.append(chr(int(text[i + 2:i + 6], 16)))
                i += 6
                continue
            if nxt == "x":
                m = re.match(r"[0-9A-Fa-f]+", text[i + 2:])
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            out.append(ESCAPES.get(nxt, nxt))
            i += 2
            continue
        out.append(c)
        i += 1
    raise ValueError("unterminated string literal")


def skip_space(text, i):
    while True:
        while i < len(text) and text[i].isspace():
            i += 1
        if text.startswith("//", i):
            i = text.find("\n", i)
            i = len(text) if i < 0 else i
        elif text.startswith("/*", i):
            i = text.find("*/", i) + 2
        else:
            return i


def read_arguments(text, i):
    """Reads the leading string-literal arguments of a call whose '(' ends
    before i. Stops at the first argument that is not a literal."""
    args = []
    while True:
        i = skip_space(text, i)
        m = re.match(r'(u8|u|L)?"', text[i:])
        if not m:
            return args
        i += len(m.group(0)) - 1
        parts = []
        while True:
            value, i = read_literal(text, i)
            parts.append(value)
            j = skip_space(text, i)
            m = re.match(r'(u8|u|L)?"', text[j:])
            if not m:
                break
            i = j + len(m.group(0)) - 1
        args.append("".join(parts))
        i = skip_space(text, i)
        if i < len(text) and text[i] == ",":
            i += 1
            continue
        return args


def collect():
    texts = {}
    for folder in FOLDERS:
        base = ROOT / folder
        if not base.is_dir():
            continue
        for path in sorted(base.rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            source = path.read_text(encoding="utf-8")
            for m in CALL.finditer(source):
                # Skip declarations and definitions of the lookups themselves.
                line_start = source.rfind("\n", 0, m.start()) + 1
                prefix = source[line_start:m.start()]
                if re.search(r"QString\s*$", prefix):
                    continue
                args = read_arguments(source, m.end())
                key = KEY_ARGUMENT[m.group(1)]
                if len(args) > key:
                    texts[args[key]] = args[key]
    for _, english in json.loads(DESKTOP_TEXTS.read_text(encoding="utf-8")).values():
        texts[english] = english
    return dict(sorted(texts.items()))


def render(texts):
    return json.dumps(texts, ensure_ascii=False, indent=2) + "\n"


def main():
    wanted = render(collect())
    if "--check" in sys.argv[1:]:
        current = OUTPUT.read_text(encoding="utf-8") if OUTPUT.exists() else ""
        if current != wanted:
            print(f"{OUTPUT.relative_to(ROOT)} is out of date: run tools/extract_texts.py", file=sys.stderr)
            return 1
        print(f"{OUTPUT.relative_to(ROOT)} lists {len(json.loads(wanted))} texts")
        return 0
    OUTPUT.parent.mkdir(parents=True, exist_ok=True)
    OUTPUT.write_text(wanted, encoding="utf-8")
    print(f"wrote {len(json.loads(wanted))} texts to {OUTPUT.relative_to(ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

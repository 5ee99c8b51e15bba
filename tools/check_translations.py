#!/usr/bin/env python3
"""Checks the translation tables in resources/Localizations against
_source.json: every table is a JSON object of texts, lists every source text
and nothing else, keeps each English text's format specifiers, and names only
plural categories its language produces, and writes each unit one way in
all its texts. Exits 1 with a list of problems."""
import json
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
FOLDER = ROOT / "resources" / "Localizations"
LANGUAGES = ["de", "fr", "es", "it", "nl", "pt", "pt-BR", "ru", "pl", "tr", "sv", "da", "fi", "nb", "cs",
             "el", "hu", "ro", "sk", "uk", "zh-Hans", "zh-Hant", "ko", "th", "vi", "id", "ms", "hi", "ar", "he"]
CATEGORIES = {"zero", "one", "two", "few", "many", "other"}
# A unit's spelling in a language is fixed by the text that is only a figure
# and that unit; every other text naming the unit must write it so too.
UNITS = {"Mbps": "%@ Mbps", "MB": "%@ MB", "ms": "%d ms", "dBm": "%d dBm"}
ISOLATES = "\u2066\u2067\u2068\u2069"
SPEC = re.compile(r"%(?:(\d+)\$)?-?\d*(?:ll|l)?([di@%])")


def category(n, code):
    """The program's plural rules (non-negative n)."""
    i, h = n % 10, n % 100
    if code in ("ja", "ko", "th", "vi", "id", "ms", "zh-Hans", "zh-Hant"):
        return "other"
    if code in ("en", "de", "nl", "sv", "da", "fi", "nb", "el", "hu", "tr"):
        return "one" if n == 1 else "other"
    if code == "hi":
        return "one" if n <= 1 else "other"
    if code in ("fr", "pt", "pt-BR"):
        return "one" if n <= 1 else ("many" if n % 1000000 == 0 else "other")
    if code in ("es", "it"):
        return "other" if n == 0 else "one" if n == 1 else ("many" if n % 1000000 == 0 else "other")
    if code in ("ru", "uk"):
        return "one" if i == 1 and h != 11 else "few" if 2 <= i <= 4 and not 12 <= h <= 14 else "many"
    if code == "pl":
        return "one" if n == 1 else "few" if 2 <= i <= 4 and not 12 <= h <= 14 else "many"
    if code in ("cs", "sk"):
        return "one" if n == 1 else "few" if 2 <= n <= 4 else "other"
    if code == "ro":
        return "few" if n == 0 else "one" if n == 1 else "few" if 1 <= h <= 19 else "other"
    if code == "he":
        return "one" if n == 1 else "two" if n == 2 else "other"
    if code == "ar":
        return ("zero" if n == 0 else "one" if n == 1 else "two" if n == 2 else
                "few" if 3 <= h <= 10 else "many" if 11 <= h <= 99 else "other")
    return "one" if n == 1 else "other"


def produced(code):
    return {category(n, code) for n in list(range(0, 1200)) + [1000000, 2000000]}


def signature(text):
    """Argument types by position, or None when sequential and positional
    forms are mixed or one position is used with two types."""
    slots, sequential, kinds = {}, 0, set()
    for m in SPEC.finditer(text):
        if m.group(2) == "%":
            continue
        kind = "d" if m.group(2) in "di" else "@"
        if m.group(1):
            kinds.add("positional")
            index = int(m.group(1)) - 1
        else:
            kinds.add("sequential")
            index = sequential
            sequential += 1
        if slots.setdefault(index, kind) != kind:
            return None
    if len(kinds) > 1:
        return None
    return tuple(slots.get(i, "?") for i in range(max(slots) + 1)) if slots else ()


def main():
    problems = []
    source = json.loads((FOLDER / "_source.json").read_text(encoding="utf-8"))
    for code in LANGUAGES:
        path = FOLDER / f"{code}.json"
        if not path.exists():
            problems.append(f"{code}: no table")
            continue
        try:
            table = json.loads(path.read_text(encoding="utf-8"))
        except (ValueError, UnicodeDecodeError) as error:
            problems.append(f"{code}: not valid JSON ({error})")
            continue
        if not isinstance(table, dict) or not all(isinstance(v, str) for v in table.values()):
            problems.append(f"{code}: not an object of texts")
            continue
        allowed = produced(code)
        for key, value in table.items():
            base, _, word = key.partition("##")
            if base not in source:
                problems.append(f"{code}: {key!r} is not a text of the program")
                continue
            if word and (word not in CATEGORIES or word not in allowed):
                problems.append(f"{code}: {key!r} names a category {code} never produces")
            if not value.strip():
                problems.append(f"{code}: {key!r} is empty")
            elif signature(value) != signature(base):
                problems.append(f"{code}: {key!r} -> {value!r} has other format specifiers")
        for unit, model in UNITS.items():
            spelling = SPEC.sub("", table.get(model, "")).strip(ISOLATES + " \u00a0")
            for key, value in table.items():
                if key != model and re.search(rf"\b{unit}\b", key.partition("##")[0]) and spelling not in value:
                    problems.append(f"{code}: {key!r} -> {value!r} does not write {unit} as {spelling!r}")
        for key in source:
            if not table.get(key, "").strip():
                problems.append(f"{code}: lacks {key!r}")
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"{len(problems)} problems in the translation tables", file=sys.stderr)
        return 1
    print(f"{len(LANGUAGES)} translation tables complete for {len(source)} texts")
    return 0


if __name__ == "__main__":
    sys.exit(main())

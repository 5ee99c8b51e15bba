#pragma once

#include <QByteArray>
#include <QString>

namespace ondrel {

// A network name (SSID) is up to 32 arbitrary bytes that anyone nearby can
// broadcast. The program keeps it as a QString that maps the bytes one to
// one, and shows it only through the rules below, so that nothing in a name
// acts on a screen or terminal and two different names never read alike.
// All functions are plain and thread-safe.

// The name of `bytes` as text: valid UTF-8 decoded, and every byte that is
// not part of a valid UTF-8 sequence kept as the lone surrogate U+DC00 + byte
// (U+DC80..U+DCFF), which no valid UTF-8 produces. Different bytes therefore
// give different texts, and ssidToBytes gives the bytes back. Such texts
// survive the program's JSON files (written as "\udcff").
QString ssidFromBytes(const QByteArray& bytes);
// The bytes of a name made by ssidFromBytes. Other lone surrogates, which no
// name holds, become "?".
QByteArray ssidToBytes(const QString& ssid);

// `text` (a message, an address, a path) with everything that could act or
// hide shown as a visible escape, for screens and terminals alike:
// - a backslash is doubled, so that no escape can be faked;
// - C0 controls and DEL become "\x1b", "\x0a", …; an undecodable byte of a
//   name becomes "\xff" (always 80..ff, which a control never is);
// - C1 controls, bidirectional controls (U+202A..U+202E, U+2066..U+2069,
//   LRM, RLM, ALM), every other format character and default-ignorable code
//   point (zero-width space and joiners, word joiner, BOM, soft hyphen,
//   variation selectors, tag characters, Hangul fillers, …), line and
//   paragraph separators, private-use, unassigned and surrogate code points
//   become "\u202e", or "\U000e0041" above U+FFFF;
// - combining marks: at most two are shown on one base character, and
//   only on a base that is itself shown, and never an overlay mark (such as
//   U+0334 or U+20D2), which is drawn across the neighbouring characters; the
//   others become escapes, so that a stack of marks cannot climb out of its
//   line or cover the characters beside it.
// Spaces and everything else are shown as they are.
QString visibleText(const QString& text);

// The name rule, for names on a terminal or in a file: visibleText, and also
// - a space (U+0020) at the start or end, or next to another space, becomes
//   "\x20", and every other space character (no-break, ideographic, …) and
//   the blank braille pattern become "\u00a0" and the like;
// - a character that Unicode normalisation (NFC) would change, with its
//   whole grapheme cluster, is shown with the marks after its base as
//   escapes, so that a decomposed "e\u0301" never reads as the composed "é";
// - a non-ASCII character that Unicode's confusable data (ICU's skeleton)
//   takes for plain ASCII, such as Cyrillic "о" or the dash "‐", becomes an
//   escape when the name also holds an ASCII letter or digit, or when no
//   letter of its own script in the name (other than Latin) is free of that
//   doubt. So "Оndrel-Home" with a Cyrillic "О" shows as "\u041endrel-Home",
//   while a Russian or Greek name stays readable.
// The result holds only visible characters and spaces between them; two
// different names always give two different results.
QString visibleName(const QString& name);

// visibleName laid out for a window: wrapped in a first-strong isolate
// (U+2068 … U+2069), so that the name keeps its own direction inside any
// sentence or label, with every run of escapes in a left-to-right isolate
// (U+2066 … U+2069), so that "\x07" reads the same inside an Arabic name.
QString screenName(const QString& name);

// True when the name is printable ASCII that visibleName shows unchanged.
bool isPlainName(const QString& name);
// The name's bytes (ssidToBytes) as upper-case hexadecimal pairs separated by
// spaces: "45 76 69 6C".
QString nameBytesHex(const QString& name);

} // namespace ondrel

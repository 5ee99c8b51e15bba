#pragma once

#include <QString>

namespace ondrel {

// `text` made safe to print on a terminal, with nothing hidden: control
// characters (NUL, ESC, DEL, C1), bidirectional overrides and isolates,
// line and paragraph separators and lone surrogates become visible escapes
// ("\x1b", "\u202e"); a backslash is doubled so that an escape cannot be
// faked. Everything else, including U+FFFD from undecodable bytes, stays.
QString terminalSafe(const QString& text);

} // namespace ondrel

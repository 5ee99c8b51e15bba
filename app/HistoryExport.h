#pragma once

#include <QByteArray>
#include <QString>

namespace ondrel {

class SpeedHistory;

// What the command-line exports of the speed history ("--export-csv",
// "--export-json") share.

// The shared history, or nothing after saying on standard error why it
// cannot be exported: its path names something other than a regular file,
// and an export of the empty list would pass for an empty history.
const SpeedHistory* exportableHistory();
// Writes `bytes` to `path` atomically and prints "N 件を書き出しました: PATH"
// with `count` as N; a failed write is said on standard error instead.
// Returns the exit status.
int writeExport(const QString& path, const QByteArray& bytes, qsizetype count);

} // namespace ondrel

#pragma once

#include "speed/SpeedEntry.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace ondrel {

// The stored speed measurements, newest first, at most `limit`, in one JSON
// file. Main thread only.
//
// Several processes may share the file (the windows and a terminal's
// "--speedtest"): every change is applied to the file's current content while
// holding an advisory lock (flock on "<file>.lock"), written atomically, and
// the in-memory list becomes the merged result. A file that cannot be decoded
// is renamed to "<file>.unreadable" (or ".unreadable.2", …) before the next
// write instead of being overwritten. A path that names anything but a
// regular file (a FIFO, a device, a folder, or a symlink to one) is neither
// read nor replaced, without blocking; fileProblem() says so.
class SpeedHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int limit = 1000;

    // The history of the user's data folder, created and loaded on first use.
    static SpeedHistory& shared();
    // $XDG_DATA_HOME/Ondrel/speed-history.json (by default under ~/.local/share).
    static QString defaultFilePath();

    // Creates the file's folder if missing and loads the file; a missing or
    // undecodable file gives an empty history.
    explicit SpeedHistory(const QString& filePath, QObject* parent = nullptr);

    const QList<SpeedEntry>& entries() const { return entries_; }
    const QString& filePath() const { return filePath_; }
    // Why the file is not used, in the applied language; empty while it is.
    QString fileProblem() const;

    // Inserts `entry` first and keeps the newest `limit` entries. Returns
    // whether the file was written; the list changes either way.
    bool add(const SpeedEntry& entry);
    // Removes the entries whose identifiers are in `ids`.
    bool remove(const QSet<QUuid>& ids);
    // Removes every entry.
    bool clear();
    // Puts back entries that a clear() removed: after the entries there are
    // now (added since, so newer), skipping those still present, keeping
    // the newest `limit`.
    bool restore(const QList<SpeedEntry>& removed);

    // The newest entry of the network named `ssid`, compared exactly; none
    // for an empty name.
    std::optional<SpeedEntry> latest(const QString& ssid) const;
    // The number of entries of the network named `ssid`; 0 for an empty name.
    int count(const QString& ssid) const;

    // The whole history as CSV, oldest first, CR LF line ends, header labels
    // in the applied language.
    QString csv() const;
    // The CSV of `entries` (newest first, as the history keeps them).
    static QString csv(const QList<SpeedEntry>& entries);
    // A CSV field: quoted when it holds a comma, a double quote, a line feed
    // or a carriage return.
    static QString escape(const QString& text);

    // The file's content as a list, or none when it is not a JSON array of
    // valid entries.
    static std::optional<QList<SpeedEntry>> decode(const QByteArray& json);
    static QByteArray encode(const QList<SpeedEntry>& entries);

Q_SIGNALS:
    // `entries` changed.
    void entriesChanged();
    // fileProblem() changed.
    void fileProblemChanged();

private:
    bool change(const std::function<void(QList<SpeedEntry>&)>& edit);
    void setEntries(const QList<SpeedEntry>& entries);

    QString filePath_;
    QList<SpeedEntry> entries_;
    bool notRegular_ = false; // the path names something other than a regular file
};

} // namespace ondrel

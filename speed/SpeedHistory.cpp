#include "speed/SpeedHistory.h"

#include "localization/Lookup.h"
#include "wifi/SsidText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <charconv>
#include <chrono>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ondrel {

namespace {

// An exclusive advisory lock on a file beside the history. Waits a bounded
// time for another process to finish its change; past that the change goes
// ahead unlocked rather than hanging the program.
class FileLock {
public:
    explicit FileLock(const QString& path)
    {
        fd_ = ::open(QFile::encodeName(path).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
        if (fd_ < 0)
            return;
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + seconds(5);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK || steady_clock::now() > deadline)
                return;
            QThread::msleep(5);
        }
    }
    ~FileLock()
    {
        if (fd_ >= 0)
            ::close(fd_); // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

enum class FileState { missing, decoded, undecodable, notRegular };

// Reads the history without ever blocking on what the path names: a FIFO,
// a device or a folder (itself or behind a symlink) is not opened as one
// would open a file, and a path swapped between the look and the opening
// is caught on the opened descriptor.
FileState readHistory(const QString& path, QList<SpeedEntry>& entries)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0)
        return errno == ENOENT ? FileState::missing : FileState::undecodable;
    if (!S_ISREG(info.st_mode))
        return FileState::notRegular;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? FileState::missing : FileState::undecodable;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return FileState::notRegular;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FileState::undecodable;
    }
    std::optional<QList<SpeedEntry>> decoded = SpeedHistory::decode(file.readAll());
    if (!decoded)
        return FileState::undecodable;
    entries = std::move(*decoded);
    return FileState::decoded;
}

// Renames an undecodable file out of the way; false when that fails.
bool keepAside(const QString& path)
{
    QString target = path + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".unreadable.") + QString::number(n);
    return QFile::rename(path, target);
}

QString fixed(double value, int digits)
{
    // Locale-independent, exact ties to even (as printf's "%.2f" does).
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    if (error != std::errc())
        return QStringLiteral("0");
    return QString::fromLatin1(buffer, end - buffer);
}

QString localDateTime(const QDateTime& date)
{
    const QDateTime local = date.toLocalTime();
    QString text = local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    const int offset = local.offsetFromUtc();
    if (offset == 0)
        return text + QLatin1Char('Z');
    const int minutes = std::abs(offset) / 60;
    text += offset < 0 ? QLatin1Char('-') : QLatin1Char('+');
    text += QStringLiteral("%1:%2")
                .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return text;
}

// A text cell that a spreadsheet would run as a formula gets an apostrophe.
QString guardFormula(const QString& text)
{
    static const QString starts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && starts.contains(text.front()))
        return QLatin1Char('\'') + text;
    return text;
}

} // namespace

SpeedHistory& SpeedHistory::shared()
{
    static SpeedHistory* history = new SpeedHistory(defaultFilePath());
    return *history;
}

QString SpeedHistory::defaultFilePath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Ondrel/speed-history.json");
}

SpeedHistory::SpeedHistory(const QString& filePath, QObject* parent) : QObject(parent), filePath_(filePath)
{
    QDir().mkpath(QFileInfo(filePath_).absolutePath());
    QList<SpeedEntry> loaded;
    const FileState state = readHistory(filePath_, loaded);
    notRegular_ = state == FileState::notRegular;
    if (state == FileState::decoded)
        entries_ = std::move(loaded);
}

QString SpeedHistory::fileProblem() const
{
    if (!notRegular_)
        return {};
    return Lf("記録ファイル %@ は通常のファイルではないため、読み込みも保存もしません。",
              "The history file %@ is not a regular file, so it is neither read nor saved.", {filePath_});
}

bool SpeedHistory::add(const SpeedEntry& entry)
{
    SpeedEntry stored = entry;
    // The file keeps whole seconds; so does the list, so that both agree.
    stored.date = QDateTime::fromSecsSinceEpoch(entry.date.toSecsSinceEpoch(), Qt::UTC);
    return change([&](QList<SpeedEntry>& entries) {
        entries.removeIf([&](const SpeedEntry& e) { return e.id == stored.id; });
        entries.prepend(stored);
        if (entries.size() > limit)
            entries.resize(limit);
    });
}

bool SpeedHistory::remove(const QSet<QUuid>& ids)
{
    return change([&](QList<SpeedEntry>& entries) {
        entries.removeIf([&](const SpeedEntry& e) { return ids.contains(e.id); });
    });
}

bool SpeedHistory::clear()
{
    return change([](QList<SpeedEntry>& entries) { entries.clear(); });
}

bool SpeedHistory::restore(const QList<SpeedEntry>& removed)
{
    return change([&](QList<SpeedEntry>& entries) {
        QSet<QUuid> present;
        for (const SpeedEntry& e : entries)
            present.insert(e.id);
        for (const SpeedEntry& e : removed) {
            if (!present.contains(e.id))
                entries.append(e);
        }
        if (entries.size() > limit)
            entries.resize(limit);
    });
}

bool SpeedHistory::change(const std::function<void(QList<SpeedEntry>&)>& edit)
{
    QList<SpeedEntry> entries;
    bool written = false;
    {
        FileLock lock(filePath_ + QStringLiteral(".lock"));
        // The file's current content is the base, so that entries another
        // process added since this one loaded are kept. Without a readable
        // file the list in memory is the base.
        const FileState state = readHistory(filePath_, entries);
        if (state != FileState::decoded)
            entries = entries_;
        edit(entries);
        if (state != FileState::notRegular && (state != FileState::undecodable || keepAside(filePath_))) {
            QSaveFile file(filePath_);
            written = file.open(QIODevice::WriteOnly) && file.write(encode(entries)) >= 0 && file.commit();
        }
        if (notRegular_ != (state == FileState::notRegular)) {
            notRegular_ = !notRegular_;
            Q_EMIT fileProblemChanged();
        }
    }
    setEntries(entries);
    return written;
}

void SpeedHistory::setEntries(const QList<SpeedEntry>& entries)
{
    if (entries_ == entries)
        return;
    entries_ = entries;
    Q_EMIT entriesChanged();
}

std::optional<SpeedEntry> SpeedHistory::latest(const QString& ssid) const
{
    if (ssid.isEmpty())
        return std::nullopt;
    for (const SpeedEntry& entry : entries_)
        if (entry.ssid == ssid)
            return entry;
    return std::nullopt;
}

int SpeedHistory::count(const QString& ssid) const
{
    if (ssid.isEmpty())
        return 0;
    return int(std::count_if(entries_.begin(), entries_.end(),
                             [&](const SpeedEntry& entry) { return entry.ssid == ssid; }));
}

QString SpeedHistory::escape(const QString& text)
{
    // A lone CR ends a record for most readers, as LF does.
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString SpeedHistory::csv() const
{
    return csv(entries_);
}

QString SpeedHistory::csv(const QList<SpeedEntry>& entries)
{
    const QStringList header = {
        L("日時", "Date"),
        L("ネットワーク", "Network"),
        QStringLiteral("BSSID"),
        L("電波", "Signal") + QStringLiteral(" (dBm)"),
        L("周波数帯", "Band"),
        L("チャンネル", "Channel"),
        L("ダウンロード", "Download") + QStringLiteral(" (Mbps)"),
        L("アップロード", "Upload") + QStringLiteral(" (Mbps)"),
        L("応答時間", "Latency") + QStringLiteral(" (ms)"),
        L("ゆらぎ", "Jitter") + QStringLiteral(" (ms)"),
        L("使った通信量", "Data used") + QStringLiteral(" (MB)"),
    };
    QStringList lines;
    QStringList fields;
    for (const QString& label : header)
        fields.append(escape(label));
    lines.append(fields.join(QLatin1Char(',')));
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        const SpeedEntry& e = *it;
        const QStringList row = {
            localDateTime(e.date),
            // Shown by the name rule, so two names never read alike and
            // bytes that are not UTF-8 stay visible instead of turning into "?".
            guardFormula(visibleName(e.ssid)),
            guardFormula(e.bssid.value_or(QString())),
            QString::number(e.rssi),
            e.bandLabel(),
            QString::number(e.channel),
            fixed(e.downloadMbps, 2),
            fixed(e.uploadMbps, 2),
            QString::number(e.latencyMs),
            QString::number(e.jitterMs),
            fixed(double(e.bytes) / 1'000'000.0, 0),
        };
        fields.clear();
        for (const QString& field : row)
            fields.append(escape(field));
        lines.append(fields.join(QLatin1Char(',')));
    }
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

std::optional<QList<SpeedEntry>> SpeedHistory::decode(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<SpeedEntry> entries;
    const QJsonArray array = document.array();
    entries.reserve(array.size());
    for (const QJsonValue& value : array) {
        std::optional<SpeedEntry> entry = SpeedEntry::fromJson(value);
        if (!entry)
            return std::nullopt;
        entries.append(std::move(*entry));
    }
    return entries;
}

QByteArray SpeedHistory::encode(const QList<SpeedEntry>& entries)
{
    QJsonArray array;
    for (const SpeedEntry& entry : entries)
        array.append(entry.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

} // namespace ondrel

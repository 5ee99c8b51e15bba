// "--shot PATH": renders a window with live data into a PNG file, without
// showing anything on screen, then ends the process.

#include "app/Shot.h"

#include "app/AccessibleTree.h"
#include "app/JsonOutput.h"
#include "app/Modes.h"
#include "app/TerminalText.h"
#include "speed/SpeedHistory.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/ContentView.h"
#include "ui/SettingsView.h"
#include "ui/SpeedHistoryView.h"
#include "ui/SpeedTestView.h"
#include "wifi/LocationAuth.h"

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLayout>
#include <QPixmap>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <utility>

namespace ondrel {

using namespace std::chrono_literals;

namespace {

// Waits for the first scan to fill the list, then lets the content settle:
// until a slice passes in which the window changed nothing, for at most
// kSettle.
constexpr auto kNetworkWait = 20s;
constexpr auto kNetworkSlice = 200ms;
constexpr auto kSettle = 1500ms;
constexpr auto kSettleSlice = 100ms;

// Runs the event loop in short slices until `done` or the time is up.
template <typename Done>
void runLoopUntil(std::chrono::milliseconds limit, std::chrono::milliseconds slice, Done done)
{
    QDeadlineTimer deadline(limit);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(std::min(slice, std::chrono::milliseconds(deadline.remainingTime())), &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

void writeError(const char* message)
{
    std::fputs(message, stderr);
    std::fflush(stderr);
}

// Reports a file that could not be written; the exit status.
int notWritten(const QString& path, const QSaveFile& file)
{
    const QString message = QStringLiteral("書き出せませんでした: %1 (%2)\n")
                                .arg(terminalSafe(path), terminalSafe(file.errorString()));
    writeError(message.toUtf8().constData());
    return 1;
}

// Counts the events by which a window's picture changes: requests to lay
// out, polish or repaint it or a widget in it, and the repaints.
class ChangeCounter : public QObject {
public:
    explicit ChangeCounter(const QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    int changes() const { return changes_; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::UpdateRequest:
        case QEvent::UpdateLater:
        case QEvent::LayoutRequest:
        case QEvent::PolishRequest:
        case QEvent::Paint:
            if (object->isWidgetType() && static_cast<QWidget*>(object)->window() == window_)
                ++changes_;
            break;
        default:
            break;
        }
        return false;
    }

private:
    const QWidget* window_;
    int changes_ = 0;
};

} // namespace

int shotTab(const QStringList& args)
{
    const qsizetype index = args.indexOf(QStringLiteral("--tab"));
    if (index < 0 || index + 1 >= args.size())
        return 0;
    // A decimal integer, optionally signed, nothing else, within int's range.
    static const QRegularExpression whole(QStringLiteral("^[+-]?[0-9]+$"));
    const QString value = args[index + 1];
    if (!whole.match(value).hasMatch())
        return 0;
    bool ok = false;
    const int tab = value.toInt(&ok);
    return ok ? tab : 0;
}

ShotSubject chooseShotSubject(const QStringList& args, bool settings, ShotObjects objects)
{
    if (args.contains(QStringLiteral("--history")))
        return {std::make_unique<SpeedHistoryView>(SpeedHistory::shared()), QSize(1020, 500)};
    if (args.contains(QStringLiteral("--speed")))
        return {std::make_unique<SpeedTestView>(objects.store, SpeedHistory::shared()), QSize(460, 620)};
    if (settings)
        return {
            std::make_unique<SettingsView>(objects.prefs, &objects.store, &objects.location, shotTab(args)),
            QSize(520, 560)};
    return {std::make_unique<ContentView>(objects.prefs, objects.store, objects.location), QSize(860, 620)};
}

int runShot(const QString& path, bool settings, const QStringList& args)
{
    // The file first, so that a path that cannot be written is reported
    // before any window is built and waited for. It is replaced whole or not
    // at all: without commit() the file stays as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return notWritten(path, file);

    Prefs& prefs = Prefs::shared();
    WiFiStore store;
    LocationAuth location;

    ShotSubject subject = chooseShotSubject(args, settings, {prefs, store, location});
    QWidget* widget = subject.widget.get();
    // A frameless window far outside every screen: drawn, never seen.
    widget->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    widget->setAttribute(Qt::WA_ShowWithoutActivating);
    widget->setAttribute(Qt::WA_DontShowOnScreen,
                         QGuiApplication::platformName() != QLatin1String("offscreen"));
    widget->setFixedSize(subject.size);
    widget->move(-20000, -20000);
    widget->show();

    store.scan();
    runLoopUntil(kNetworkWait, kNetworkSlice, [&] { return !store.networks().isEmpty(); });
    const ChangeCounter counter(widget);
    int seen = -1;
    runLoopUntil(kSettle, kSettleSlice,
                 [&] { return std::exchange(seen, counter.changes()) == counter.changes(); });

    // An opaque window background in the current palette.
    widget->setAutoFillBackground(true);
    widget->setBackgroundRole(QPalette::Window);
    widget->ensurePolished();
    if (widget->layout())
        widget->layout()->activate();

    // A picture of the window at rest: no focus ring, no text cursor.
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
    const QPixmap pixmap = widget->grab(QRect(QPoint(0, 0), subject.size));
    if (pixmap.isNull()) {
        writeError("描画できませんでした\n");
        return 1;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!pixmap.save(&buffer, "PNG") || png.isEmpty()) {
        writeError("PNG にできませんでした\n");
        return 1;
    }
    // A file that could not be written is reported, not announced as written.
    if (file.write(png) != png.size() || !file.commit())
        return notWritten(path, file);

    if (args.contains(QStringLiteral("--json"))) {
        // What the picture shows, as a screen reader is given it.
        const QJsonObject report{
            {QStringLiteral("format"), QString::fromLatin1(kShotFormat)},
            {QStringLiteral("file"), path},
            {QStringLiteral("width"), subject.size.width()},
            {QStringLiteral("height"), subject.size.height()},
            {QStringLiteral("elements"), accessibleTree(widget)},
        };
        return writeJson(report) ? 0 : 1;
    }
    std::fputs(QStringLiteral("書き出しました: %1\n").arg(terminalSafe(path)).toUtf8().constData(), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace ondrel

// What the window tests share: a room of simulated radios, preferences, a
// permission and a store; the demo's room; a history file; a named child; a
// list row's style option; the text items a widget draws; a text as it reads.
#pragma once

#include "tests/store/SimulatedRadios.h"

#include "speed/SpeedEntry.h"
#include "speed/SpeedHistory.h"
#include "store/WiFiStore.h"
#include "wifi/LocationAuth.h"
#include "wifi/simulation/SimulatedLocationProvider.h"

#include <QAbstractItemView>
#include <QPaintEngine>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <sys/stat.h>

namespace ondrel::testing {

// `shown` without the invisible isolates around names.
inline QString read(QString shown)
{
    return shown.remove(QChar(0x2066)).remove(QChar(0x2068)).remove(QChar(0x2069));
}

// A measurement of `ssid` finished `hoursAgo` hours ago. Its upload falls as
// its download rises, so that a column sorted by the other figure shows it.
inline SpeedEntry measurement(const QString& ssid, int hoursAgo, double down = 100, qint64 band = 50,
                              qint64 rssi = -55)
{
    return SpeedEntry(QUuid::createUuid(), QDateTime::currentDateTimeUtc().addSecs(-3600 * hoursAgo), ssid,
                      QStringLiteral("a4:2b:b0:10:00:01"), rssi, band, 36, down, 2000 / down, 14, 3,
                      234'000'000, LoadedLatency{62, 5}, LoadedLatency{118, 9});
}

// A history of its own in a temporary folder; `fifo` puts a named pipe where
// its file should be, so that nothing can be stored.
struct HistoryFile {
    QTemporaryDir dir;
    SpeedHistory history;
    explicit HistoryFile(bool fifo = false) : history(file(fifo)) {}

private:
    QString file(bool fifo)
    {
        const QString path = dir.filePath(QStringLiteral("history.json"));
        if (fifo && ::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            qFatal("cannot make a named pipe");
        return path;
    }
};

// The demo's room without delays and with `changes` over it.
inline QJsonObject demoRoom(const QJsonObject& changes = {})
{
    QFile file(qEnvironmentVariable("ONDREL_SOURCE_DIR") + "/resources/scenarios/demo.json");
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no demo scenario");
    QJsonObject room = QJsonDocument::fromJson(file.readAll()).object();
    room.remove("delays");
    room.remove("location");
    for (auto it = changes.begin(); it != changes.end(); ++it)
        room[it.key()] = it.value();
    return room;
}

// The child of `widget` named `name`.
template <typename T = QWidget> T* find(const QWidget& widget, const char* name)
{
    return widget.findChild<T*>(QString::fromLatin1(name));
}

// The style option a list view gives its delegate for `row`.
inline QStyleOptionViewItem rowOption(const QAbstractItemView& view, int row)
{
    QStyleOptionViewItem option;
    option.initFrom(view.viewport());
    option.rect = view.visualRect(view.model()->index(row, 0));
    option.font = view.font();
    option.direction = view.layoutDirection();
    option.widget = &view;
    return option;
}

// Radios, preferences, a permission (`locationStatus`, answered with 3) and
// a store of their own.
struct Room {
    SimulatedRadios radios;
    TestPrefs prefs;
    SimulatedLocationProvider provider;
    WiFiStore store;
    LocationAuth location;

    explicit Room(const QJsonObject& scenario, int locationStatus = 3)
        : radios(scenario), provider(locationStatus, 3, std::chrono::milliseconds(0), true),
          store(radios.engine(), *prefs), location(&provider)
    {
    }
    // Scans and waits for the scan to end.
    void scan()
    {
        QSignalSpy finished(&store, &WiFiStore::scanFinished);
        store.scan();
        QVERIFY(finished.wait(10000));
    }
};

// One text item as drawn, in the widget's coordinates.
struct Drawn {
    QString text;
    QPointF baseline;
    qreal width; // without a wrapped line's trailing space
    QFont font;
};

// Records the text items widgets draw; an image gives the measures.
class TextRecorder : public QImage {
public:
    TextRecorder() : QImage(2000, 2000, QImage::Format_ARGB32) {}
    // `alone`: the widget without its children.
    QList<Drawn> render(QWidget* widget, bool alone = false)
    {
        engine_.drawn.clear();
        QPainter painter(this);
        widget->render(&painter, QPoint(), QRegion(),
                       alone ? QWidget::RenderFlags() : QWidget::RenderFlags(QWidget::DrawChildren));
        return engine_.drawn;
    }
    // Everything a widget and its children draw, as it reads.
    static QString text(QWidget* widget)
    {
        TextRecorder recorder;
        QString all;
        for (const Drawn& d : recorder.render(widget))
            all += d.text;
        return read(all);
    }
    QPaintEngine* paintEngine() const override { return &engine_; }

private:
    struct Engine : QPaintEngine {
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState& state) override
        {
            if (state.state() & DirtyTransform)
                transform = state.transform();
        }
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override
        {
            const QString text = item.text();
            qsizetype kept = text.size();
            while (kept > 0 && text.at(kept - 1).isSpace())
                --kept;
            const qreal space = QFontMetricsF(item.font()).horizontalAdvance(text.mid(kept));
            const bool rtl = item.renderFlags() & QTextItem::RightToLeft;
            drawn.append(
                {text, transform.map(p + QPointF(rtl ? space : 0, 0)), item.width() - space, item.font()});
        }
        Type type() const override { return User; }
        QTransform transform;
        QList<Drawn> drawn;
    };
    mutable Engine engine_;
};

} // namespace ondrel::testing

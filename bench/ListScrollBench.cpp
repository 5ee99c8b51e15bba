// The main window's list with thousands of rows: the time to hand a new
// list to the model and the time to paint one screenful while scrolling
// from top to bottom, on the off-screen platform. Exits 1 when a frame
// takes longer than a 60 Hz display allows on average.

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkRow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>

using namespace ondrel;

namespace {

QList<ScannedNetwork> networks(int count, int salt)
{
    QList<ScannedNetwork> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        ScannedNetwork n;
        n.ssid = QStringLiteral("Network %1 of a fairly long name").arg(i);
        n.bssid = QStringLiteral("02:00:00:%1:%2:%3")
                      .arg((i >> 16) & 0xff, 2, 16, QLatin1Char('0'))
                      .arg((i >> 8) & 0xff, 2, 16, QLatin1Char('0'))
                      .arg(i & 0xff, 2, 16, QLatin1Char('0'));
        n.rssi = -30 - (i + salt) % 65;
        n.noise = -92;
        n.channel = 1 + i % 165;
        n.band = i % 3 == 0 ? Band::ghz2_4 : i % 3 == 1 ? Band::ghz5 : Band::ghz6;
        n.widthMHz = 20 << (i % 4);
        n.security = Security(i % 8);
        n.apCount = 1 + i % 3;
        n.isSaved = i % 5 == 0;
        n.isFavorite = i % 7 == 0;
        n.isCurrent = i == 0;
        list.append(n);
    }
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LocaleSettings::apply(AppLanguage::en);
    constexpr int kRows = 5000;

    NetworkListModel model;
    model.setShowDetails(true);
    model.setMeasuredLookup([](const QString&) { return std::optional<double>(123.4); });
    NetworkRow delegate;
    QListView view;
    view.setModel(&model);
    view.setItemDelegate(&delegate);
    view.setUniformItemSizes(true);
    view.setAlternatingRowColors(true);
    view.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view.resize(860, 620);
    view.show();

    const QList<ScannedNetwork> first = networks(kRows, 0);
    const QList<ScannedNetwork> second = networks(kRows, 7);
    QElapsedTimer timer;
    timer.start();
    model.setNetworks(first);
    QCoreApplication::processEvents();
    const double resetMs = timer.nsecsElapsed() / 1e6;

    // The same rows with new values, as after a status poll.
    timer.restart();
    model.setNetworks(second);
    QCoreApplication::processEvents();
    const double updateMs = timer.nsecsElapsed() / 1e6;

    QScrollBar* bar = view.verticalScrollBar();
    const int step = view.viewport()->height() / 3;
    int frames = 0;
    double total = 0;
    double worst = 0;
    for (int value = 0; value <= bar->maximum(); value += step) {
        timer.restart();
        bar->setValue(value);
        view.viewport()->repaint();
        const double ms = timer.nsecsElapsed() / 1e6;
        total += ms;
        worst = std::max(worst, ms);
        ++frames;
    }
    const double average = total / std::max(frames, 1);
    std::printf("rows %d\nnew list (model reset) %.2f ms\nsame rows, new values %.2f ms\n"
                "scroll frames %d, average %.2f ms, worst %.2f ms\n",
                kRows, resetMs, updateMs, frames, average, worst);
    return average <= 16.0 ? 0 : 1;
}

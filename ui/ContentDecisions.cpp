#include "ui/ContentDecisions.h"

#include "localization/Lookup.h"
#include "ui/Strength.h"

#include <QLocale>

namespace ondrel {

StatusBanner statusBannerFor(const WiFiEngine::Status& status, int locationStatus, bool authorized)
{
    if (!status.hasInterface)
        return StatusBanner::noInterface;
    if (!status.poweredOn)
        return StatusBanner::radioOff;
    if (!authorized)
        return locationStatus == 0 ? StatusBanner::locationAsk : StatusBanner::locationSettings;
    return StatusBanner::none;
}

EmptyList emptyListFor(const WiFiEngine::Status& status, WiFiStore::HidingFilter hiding, bool scanning)
{
    if (!status.hasInterface)
        return EmptyList::noInterface;
    if (!status.poweredOn)
        return EmptyList::radioOff;
    if (hiding == WiFiStore::HidingFilter::search)
        return EmptyList::search;
    if (hiding == WiFiStore::HidingFilter::favoritesOnly)
        return EmptyList::favorites;
    return scanning ? EmptyList::scanning : EmptyList::nothingFound;
}

QString cardSubtitleFor(const WiFiEngine::Status& status, StrengthUnit unit)
{
    if (!status.ssid)
        return L("下の一覧からネットワークを選ぶと接続します。", "Pick a network below to connect.");
    QStringList pieces{L("接続中", "Connected"), strengthText(status.rssi, unit)};
    if (status.noise != 0 && status.rssi - status.noise != 0)
        pieces.append(Lf("S/N %d dB", "S/N %d dB", {status.rssi - status.noise}));
    if (status.band != Band::unknown)
        pieces.append(Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {label(status.band), status.channel}));
    if (status.txRate > 0)
        pieces.append(Lf("%d Mbps", "%d Mbps", {qint64(status.txRate)}));
    return pieces.join(QStringLiteral(" ・ "));
}

QString lastScanText(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("ss"))) {
        const qsizetype minutes = format.indexOf(QLatin1String("mm"));
        if (minutes >= 0)
            format.insert(minutes + 2, QLatin1String(":ss"));
    }
    return Lf("最終スキャン %@", "Last scan %@", {locale.toString(when.toLocalTime().time(), format)});
}

} // namespace ondrel

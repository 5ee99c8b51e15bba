// Every place a window draws a network's name shows it by the name rule:
// nothing in it acts (controls, direction overrides, markup), it keeps to
// one line, and its tooltip gives the name's bytes.

#include "tests/ui/UiTestKit.h"

#include "ui/ContentView.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkListView.h"
#include "ui/NetworkRow.h"
#include "ui/PasswordSheet.h"
#include "ui/SettingsView.h"
#include "ui/SpeedHistoryModel.h"
#include "ui/SpeedHistoryView.h"
#include "ui/SpeedTestView.h"
#include "wifi/SsidText.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTextDocument>
#include <QToolTip>

#include <algorithm>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

// What a place shows of a name: texts drawn or read out, and tooltips.
struct Shown {
    QStringList texts, tips;
};
using Place = std::function<Shown(const QString& name)>;

QString plain(const QString& html)
{
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

} // namespace

Q_DECLARE_METATYPE(Place)

class TestShownNames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    void everyPlace_data()
    {
        QTest::addColumn<Place>("place");
        QTest::newRow("main window: row, card and the row read out") << Place([](const QString& name) {
            Room room({{"networks", QJsonArray{QJsonObject{{"ssid", name}, {"bssid", "b1"}}}},
                       {"current", QJsonObject{{"bssid", "b1"}}}});
            room.scan();
            ContentView view(*room.prefs, room.store, room.location);
            view.resize(860, 620);
            view.show();
            QCoreApplication::processEvents();
            const QModelIndex row = view.listModel()->index(0);
            QHelpEvent help(QEvent::ToolTip, QPoint(40, 10), QPoint(40, 10));
            view.rowDelegate()->helpEvent(&help, view.listView(), rowOption(*view.listView(), 0), row);
            return Shown{
                {TextRecorder::text(&view),
                 QAccessible::queryAccessibleInterface(view.listView())->child(0)->text(QAccessible::Name)},
                {view.cardTitle()->toolTip(), QToolTip::text(),
                 row.data(Qt::AccessibleDescriptionRole).toString()}};
        });
        QTest::newRow("password sheet") << Place([](const QString& name) {
            PasswordSheet sheet;
            ScannedNetwork n;
            n.ssid = name;
            n.security = Security::wpa2Personal;
            sheet.setNetwork(n, StrengthUnit::dbm);
            sheet.open();
            return Shown{{TextRecorder::text(&sheet)}, {}};
        });
        QTest::newRow("speed test") << Place([](const QString& name) {
            Room room({{"networks", QJsonArray{QJsonObject{{"ssid", name}, {"bssid", "b1"}}}},
                       {"current", QJsonObject{{"bssid", "b1"}}}});
            room.scan();
            HistoryFile file;
            SpeedTestView view(room.store, file.history);
            auto* subtitle = view.findChild<QWidget*>(QStringLiteral("speedSubtitle"));
            return Shown{{TextRecorder::text(subtitle)}, {subtitle->toolTip()}};
        });
        QTest::newRow("history: table and chart") << Place([](const QString& name) {
            HistoryFile file;
            file.history.add(measurement(name, 1));
            SpeedHistoryView view(file.history);
            view.resize(900, 460);
            view.table()->selectRow(0); // the chart names the network
            return Shown{
                {TextRecorder::text(&view)},
                {view.model()->index(0, SpeedHistoryModel::network).data(Qt::ToolTipRole).toString()}};
        });
        QTest::newRow("favourites in settings") << Place([](const QString& name) {
            TestPrefs prefs;
            prefs->toggleFavorite(name);
            SettingsView view(*prefs, nullptr, nullptr, 1);
            view.resize(520, 560);
            auto* remove = view.findChild<QPushButton*>(QStringLiteral("removeFavorite"));
            return Shown{{TextRecorder::text(&view),
                          QAccessible::queryAccessibleInterface(remove)->text(QAccessible::Name)},
                         {view.findChild<QWidget*>(QStringLiteral("favoriteName"))->toolTip()}};
        });
    }
    void everyPlace()
    {
        QFETCH(Place, place);
        const QStringList names = {QString::fromUtf16(u"\u202eemoH-lerdnO"),
                                   QStringLiteral("Bell\aEsc\x1b[2J"),
                                   QStringLiteral("<b>evil</b>\nname\twith")};
        for (const QString& name : names) {
            const Shown shown = place(name);
            for (const QString& text : shown.texts) {
                const QString read = testing::read(text);
                QVERIFY2(read.contains(visibleName(name)), qPrintable(read));
                QVERIFY2(std::none_of(read.begin(), read.end(),
                                      [](QChar c) {
                                          return c.category() == QChar::Other_Control ||
                                                 c.category() == QChar::Other_Format;
                                      }),
                         qPrintable(read));
            }
            for (const QString& tip : shown.tips)
                QVERIFY2(plain(tip).contains(nameBytesHex(name)), qPrintable(tip));
        }
    }
};

QTEST_MAIN(TestShownNames)
#include "tst_ShownNames.moc"

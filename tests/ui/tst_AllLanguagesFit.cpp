// Every window and sheet, in each of its states, in all 32 languages at its
// size: no text is drawn outside its box, no text of the program is shortened,
// a network name only when it has no room, no chip is lost, and Tab visits the
// controls in reading order. Texts are measured as the widgets draw them (the
// font metrics of every text item). Wherever part of a hostile network name is
// drawn or read out, all of it is, escaped, and its bytes are on hover.

#include "tests/ui/UiTestKit.h"

#include "ui/ContentView.h"
#include "ui/ElidedLabel.h"
#include "ui/HiddenNetworkSheet.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkListView.h"
#include "ui/NetworkRow.h"
#include "ui/NetworkRowLayout.h"
#include "ui/PasswordSheet.h"
#include "ui/SettingsView.h"
#include "ui/SortButton.h"
#include "ui/SpeedHistoryModel.h"
#include "ui/SpeedHistoryView.h"
#include "ui/SpeedTestView.h"
#include "wifi/SsidText.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include <map>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

const QChar kEllipsis(0x2026);
const QString kLongName = QStringLiteral("Hotel Lobby Free Wi-Fi — Conference Centre North Wing — Floor 3");
// The current network (an override and markup) and a secured one (controls);
// both hold the mark "Qzx" and a tag.
const QStringList kHostile = {QString::fromUtf16(u"\u202e<b>Qzx</b>-emoH"),
                              QStringLiteral("Qzx\a<i>\x1b[2J\nname\twith")};

// A widget's style option, from its protected initStyleOption.
template <typename Option, typename Widget> Option styleOption(const Widget* widget)
{
    struct Open : Widget {
        using Widget::initStyleOption;
    };
    Option option;
    (widget->*&Open::initStyleOption)(&option);
    return option;
}

class Checker {
public:
    QStringList failures;
    QString where; // language and state
    int windows = 0;
    QSet<QString> namePlaces; // where hostile names were seen

    void check(QWidget* window)
    {
        ++windows;
        checkTabOrder(window);
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* w : std::as_const(widgets)) {
            if (w->window() != window || !w->isVisibleTo(window) || w->width() <= 0)
                continue;
            auto* view = qobject_cast<QAbstractItemView*>(w->parentWidget());
            if (view && w == view->viewport()) {
                if (auto* list = qobject_cast<NetworkListView*>(view))
                    checkRows(list);
                else
                    checkCells(view);
                continue;
            }
            // No two choices of one box or menu read alike.
            QStringList choices;
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                for (int i = 0; i < combo->count(); ++i)
                    choices.append(combo->itemText(i));
            } else if (auto* tool = qobject_cast<QToolButton*>(w); tool && tool->menu()) {
                Q_EMIT tool->menu()->aboutToShow(); // the menu is filled as it opens
                for (QAction* action : tool->menu()->actions())
                    if (!action->isSeparator())
                        choices.append(action->text());
            }
            if (QSet<QString>(choices.begin(), choices.end()).size() != choices.size())
                fail(w, QStringLiteral("offers choices that read alike: ") +
                            choices.join(QStringLiteral(" | ")));
            if (auto* bar = qobject_cast<QToolBar*>(w))
                for (QAction* action : bar->actions())
                    if (QWidget* button = bar->widgetForAction(action); button && !button->isVisibleTo(bar))
                        fail(bar, "has no room for " + action->text());
            checkWidget(w);
        }
    }

private:
    TextRecorder device_;

    // Tab goes down the window, and along a line in reading order.
    void checkTabOrder(QWidget* window)
    {
        QList<QWidget*> chain;
        for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
            if (w->window() == window && w->isVisibleTo(window) && w->isEnabled() &&
                (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
                chain.append(w);
        }
        const bool rtl = window->layoutDirection() == Qt::RightToLeft;
        for (qsizetype i = 1; i < chain.size(); ++i) {
            const QRect a(chain[i - 1]->mapTo(window, QPoint()), chain[i - 1]->size());
            const QRect b(chain[i]->mapTo(window, QPoint()), chain[i]->size());
            const bool sameLine = b.center().y() >= a.top() && b.center().y() <= a.bottom();
            const bool onward = rtl ? b.center().x() < a.center().x() : b.center().x() > a.center().x();
            if (sameLine ? !onward : b.center().y() < a.bottom())
                fail(chain[i],
                     QStringLiteral("is reached by Tab after %1 “%2” but comes before it")
                         .arg(chain[i - 1]->metaObject()->className(), chain[i - 1]->accessibleName()));
        }
    }

    void fail(QWidget* w, const QString& what)
    {
        failures.append(
            QStringLiteral("%1: %2 %3 %4").arg(where, w->metaObject()->className(), w->objectName(), what));
    }

    // A text drawn or read out that shows part of a hostile name shows all
    // of it, escaped; `tip`, when there is one, gives the name's bytes.
    void checkName(QWidget* w, const QString& text, const std::optional<QString>& tip)
    {
        const QString shown = read(text);
        if (!shown.contains(QLatin1String("Qzx")))
            return;
        const qsizetype cut = shown.indexOf(kEllipsis); // a cell may shorten a name
        const auto name = std::ranges::find_if(kHostile, [&](const QString& n) {
            const QString v = visibleName(n);
            return shown.contains(v) ||
                   (cut > 0 && v.startsWith(shown.left(cut)) && v.endsWith(shown.mid(cut + 1)));
        });
        if (name == kHostile.end())
            fail(w, QStringLiteral("shows a name as “%1”").arg(shown));
        else if (tip && !read(*tip).replace(QChar::Nbsp, QLatin1Char(' ')).contains(nameBytesHex(*name)))
            fail(w, QStringLiteral("shows “%1” without its bytes in “%2”").arg(shown, *tip));
        else
            namePlaces.insert(QStringLiteral("%1 %2 %3")
                                  .arg(w->window()->metaObject()->className(), w->metaObject()->className(),
                                       w->objectName())
                                  .remove(QStringLiteral("ondrel::")));
    }

    // Where a widget's text must stay, and every text it may show.
    static QRectF textBox(QWidget* w, QString* texts)
    {
        QStyle* style = w->style();
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            *texts = button->text();
            const QStyleOptionButton o = styleOption<QStyleOptionButton>(button);
            return style->subElementRect(QStyle::SE_PushButtonContents, &o, w);
        }
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            *texts = combo->currentText();
            const QStyleOptionComboBox o = styleOption<QStyleOptionComboBox>(combo);
            return style->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, w);
        }
        if (auto* tool = qobject_cast<QToolButton*>(w)) {
            *texts = tool->text();
            const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
            const int chevron = qobject_cast<SortButton*>(w) ? SortButton::kChevronRoom : 0;
            return QStyle::visualRect(w->layoutDirection(), w->rect(),
                                      w->rect().adjusted(frame, frame, -frame - chevron, -frame));
        }
        if (auto* label = qobject_cast<QLabel*>(w))
            *texts = label->text();
        else if (auto* box = qobject_cast<QCheckBox*>(w))
            *texts = box->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            *texts = edit->text() + edit->placeholderText();
        else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                *texts += tabs->tabText(i);
        } else if (auto* elided = qobject_cast<ElidedLabel*>(w)) {
            // A name may be shortened, but only when it has no room.
            if (elided->fontMetrics().horizontalAdvance(elided->text()) > elided->contentsRect().width())
                *texts = QString(elided->shownText().count(kEllipsis), kEllipsis);
        }
        return w->rect();
    }

    void checkWidget(QWidget* w)
    {
        // A name that looks like markup is shown as typed, and every control
        // but the search field's own clear button is reached by Tab.
        if (auto* l = qobject_cast<QLabel*>(w);
            l && l->textFormat() != Qt::PlainText && Qt::mightBeRichText(l->text()))
            fail(w, QStringLiteral("reads “%1” as markup").arg(l->text()));
        if (qobject_cast<QAbstractButton*>(w) && !w->inherits("QLineEditIconButton") && w->isEnabled() &&
            !(w->focusPolicy() & Qt::TabFocus))
            fail(w, QStringLiteral("cannot be reached by Tab"));
        // What a screen reader reads, whether or not the widget draws text itself.
        checkName(w, w->accessibleName(), w->accessibleDescription());
        const QList<Drawn> drawn = device_.render(w, true);
        if (drawn.isEmpty())
            return;
        QString texts;
        const QRectF box = textBox(w, &texts);
        QString all;
        for (const Drawn& d : drawn) {
            all += d.text;
            if (d.baseline.x() < box.left() - 1 || d.baseline.x() + d.width > box.right() + 2 ||
                d.baseline.y() < box.top() || d.baseline.y() > box.bottom() + 2)
                fail(w, QStringLiteral("draws “%1” outside its box").arg(d.text));
        }
        if (all.count(kEllipsis) > texts.count(kEllipsis))
            fail(w, QStringLiteral("shortens its text to “%1”").arg(all));
        // A paragraph set to the reading direction's start keeps each line
        // there: a short line has its room at the end, not the start.
        if (auto* l = qobject_cast<QLabel*>(w); l && (l->alignment() & Qt::AlignAbsolute) && l->wordWrap()) {
            std::map<qreal, std::pair<qreal, qreal>> lines; // baseline: the line's left and right
            for (const Drawn& d : drawn) {
                auto& [left, right] =
                    lines.try_emplace(d.baseline.y(), d.baseline.x(), d.baseline.x()).first->second;
                left = std::min(left, d.baseline.x());
                right = std::max(right, d.baseline.x() + d.width);
            }
            const bool rtl = w->layoutDirection() == Qt::RightToLeft;
            for (const auto& [baseline, extent] : lines) {
                const auto [left, right] = extent;
                const qreal start = rtl ? box.right() - right : left - box.left();
                const qreal end = rtl ? left - box.left() : box.right() - right;
                if (start > end + 8)
                    fail(w, QStringLiteral("sets a line %1 px from its start").arg(start));
            }
        }
        const bool label = qobject_cast<QLabel*>(w) || qobject_cast<ElidedLabel*>(w);
        checkName(w, all, label ? std::optional(w->toolTip()) : std::nullopt);
    }

    void checkRows(NetworkListView* list)
    {
        const NetworkListModel& model = *list->networks();
        for (int row = 0; row < model.rowCount(); ++row) {
            const QStyleOptionViewItem option = rowOption(*list, row);
            const NetworkRowLayout l = NetworkRowLayout::compute(option, model, row);
            const QString name = model.shownName(row);
            if (read(l.nameText).contains(QLatin1String("Qzx"))) {
                const QPoint at = l.name.center().toPoint();
                QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
                list->itemDelegate()->helpEvent(&help, list, option, model.index(row));
                checkName(list, l.nameText, QToolTip::text());
                checkName(list, l.nameText, model.index(row).data(Qt::AccessibleDescriptionRole).toString());
                QAccessibleInterface* readOut = QAccessible::queryAccessibleInterface(list)->child(row);
                checkName(list, readOut->text(QAccessible::Name), readOut->text(QAccessible::Description));
            }
            auto fits = [&](const QString& what, const QString& text, const QFont& font, const QRectF& box) {
                if (QFontMetricsF(font).horizontalAdvance(text) > box.width() + 0.5)
                    fail(list,
                         QStringLiteral("row “%1”: %2 “%3” is wider than its box").arg(name, what, text));
            };
            if (l.nameText != name && QFontMetricsF(l.nameFont).horizontalAdvance(name) <= l.nameRoom)
                fail(list, QStringLiteral("row “%1”: the name is shortened with room for it").arg(name));
            fits(QStringLiteral("strength"), l.strengthText, l.strengthFont, l.strength);
            fits(QStringLiteral("strength label"), l.strengthLabelText, l.strengthLabelFont, l.strengthLabel);
            if (!l.joinText.isEmpty())
                fits(QStringLiteral("join"), l.joinText, l.joinFont, l.buttonText);
            QStringList kept;
            for (const auto& chip : l.chips)
                kept.append(chip.first.text);
            if (!l.hiddenChips.isEmpty())
                kept.removeLast();
            if (kept + l.hiddenChips != NetworkRow::chipTexts(model, row))
                fail(list, QStringLiteral("row “%1”: chips lost: %2").arg(name, kept.join(", ")));
            for (const auto& [chip, rect] : l.chips) {
                fits(QStringLiteral("chip"), chip.text, Chip::font(option.font, chip.emphasized),
                     rect.adjusted(Chip::kPaddingX, 0, -Chip::kPaddingX, 0));
                if (rect.left() < l.chipLine.left() - 0.5 || rect.right() > l.chipLine.right() + 0.5)
                    fail(list,
                         QStringLiteral("row “%1”: chip “%2” leaves the chip line").arg(name, chip.text));
            }
        }
    }

    // Table and header cells: inside their cell, shortened only when a
    // cell's name is wider than the cell.
    void checkCells(QAbstractItemView* view)
    {
        auto* header = qobject_cast<QHeaderView*>(view);
        const QList<Drawn> drawn = device_.render(view->viewport(), true);
        QHash<QModelIndex, QString> cellTexts;
        for (const Drawn& d : drawn) {
            const QPoint at = QPointF(d.baseline.x() + d.width / 2, d.baseline.y() - 2).toPoint();
            QRect cell;
            QModelIndex index;
            if (header) {
                const int section = header->logicalIndexAt(at);
                cell = QRect(header->sectionViewportPosition(section), 0, header->sectionSize(section),
                             header->height());
                index = header->model()->index(0, section);
            } else {
                index = view->indexAt(at);
                cell = view->visualRect(index);
            }
            if (d.baseline.x() < cell.left() - 1 || d.baseline.x() + d.width > cell.right() + 2)
                fail(view, QStringLiteral("draws “%1” outside its cell").arg(d.text));
            cellTexts[index] += d.text;
            const QString full = header
                                     ? header->model()->headerData(index.column(), Qt::Horizontal).toString()
                                     : index.data().toString();
            const bool tooWide = view->fontMetrics().horizontalAdvance(full) > cell.width() - 8;
            if (cellTexts[index].count(kEllipsis) > full.count(kEllipsis) &&
                !(tooWide && !header && index.column() == SpeedHistoryModel::network))
                fail(view, QStringLiteral("shortens “%1” to “%2”").arg(full, cellTexts[index]));
        }
        for (auto it = cellTexts.cbegin(); it != cellTexts.cend(); ++it)
            checkName(view, it.value(), it.key().data(Qt::ToolTipRole).toString());
    }
};

// A speed test put in each state without measuring.
class ScriptedTest : public SpeedTest {
public:
    void enter(SpeedTest::Phase phase)
    {
        if (phase.kind() == Phase::done)
            updateResult({312.4, 88.7, 14, 3, 809'000'000, QDateTime::currentDateTime(),
                          LoadedLatency{138, 12}, LoadedLatency{64, 7}});
        setPhase(phase);
        setProgress(phase.isRunning() ? 0.4 : 0);
        setLiveMbps(phase.isRunning() ? 287.5 : 0);
        setLiveLatency(phase.isRunning() ? std::optional<qint64>(143) : std::nullopt);
    }
};

// The demo room without delays, a name too long for any row and the
// hostile names.
QJsonObject longNames(const QJsonObject& changes = {})
{
    QJsonObject room = demoRoom(changes);
    QJsonArray networks = room["networks"].toArray();
    networks.append(accessPoint(kLongName + "|00:1d:aa:77:88:99|-76|149|wpa2Personal|50"));
    for (int i = 0; i < kHostile.size(); ++i) {
        QJsonObject ap =
            accessPoint(kHostile[i] + "|02:00:00:00:00:0" + QString::number(i) + "|-50|36|wpa2Personal|50");
        if (i == 1) // its join fails, and the banner names it
            ap["joinError"] =
                QJsonObject{{"code", 53}, {"description", "The Wi-Fi network could not be found."}};
        networks.append(ap);
    }
    room["networks"] = networks;
    return room;
}

// A room for the windows: details and hidden networks shown, favourites,
// scanned.
void furnish(Room& room)
{
    room.prefs->setShowDetails(true);
    room.prefs->setShowHidden(true);
    room.prefs->toggleFavorite(QStringLiteral("Aurora 6G"));
    room.prefs->toggleFavorite(kLongName);
    for (const QString& name : kHostile)
        room.prefs->toggleFavorite(name);
    room.scan();
}

} // namespace

class TestAllLanguagesFit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    void everyWindowInEveryLanguage()
    {
        HistoryFile file, empty;
        SpeedHistory& history = file.history;
        for (int i = 0; i < 11; ++i)
            history.add(measurement("Ondrel-Home", i, 317.4 - i));
        history.add(measurement(kLongName, 20, 38.2));
        for (const QString& name : kHostile)
            history.add(measurement(name, 0));
        for (const SpeedEntry& e : history.entries()) // the rows' "Measured" chips
            SpeedHistory::shared().add(e);

        // A scan that takes a while, started again whenever it ends.
        Room scanning(QJsonObject{{"delays", QJsonObject{{"scanMs", 2000}}}});
        Room room(longNames({{"current", QJsonObject{{"bssid", "02:00:00:00:00:00"}}}}), 2);
        Room asking(longNames(), 0);
        Room off(longNames({{"poweredOn", false}}));
        Room none(longNames({{"interface", QJsonValue::Null}}));
        Room nothing(QJsonObject{{"networks", QJsonArray()}});
        Room away(longNames({{"current", QJsonValue::Null}}));
        scanning.store.scan();
        for (Room* r : {&room, &asking, &off, &none, &nothing, &away})
            furnish(*r);
        for (const QString& name : away.prefs->favorites())
            away.prefs->toggleFavorite(name);
        away.prefs->toggleFavorite(QStringLiteral("Far Away"));

        // Each window is built once per language and checked again after each step.
        using Step = std::function<void(QWidget*)>;
        const auto main = [](Room& r) {
            return [&r] { return new ContentView(*r.prefs, r.store, r.location); };
        };
        const auto speed = [&history](Room& r) {
            return [&r, &history] {
                return new SpeedTestView(r.store, history, std::make_unique<ScriptedTest>());
            };
        };
        const auto phase = [](SpeedTest::Phase phase) -> Step {
            return [phase](QWidget* w) {
                static_cast<ScriptedTest&>(static_cast<SpeedTestView*>(w)->test()).enter(phase);
            };
        };
        const auto tab = [](int tab) -> Step {
            return [tab](QWidget* w) { static_cast<SettingsView*>(w)->setTab(tab); };
        };
        const struct {
            const char* state;
            QSize size;
            std::function<QWidget*()> build;
            QList<std::pair<const char*, Step>> steps = {};
        } states[] = {
            {"main window with banners, card, rows and password sheet", {760, 560}, main(room)},
            {"permission not asked", {760, 560}, main(asking)},
            {"radio off", {760, 560}, main(off)},
            {"no interface", {760, 560}, main(none)},
            {"nothing found", {760, 560}, main(nothing)},
            {"favourites hide every network",
             {760, 560},
             main(away),
             {{"search hides every network",
               [&away](QWidget*) {
                   away.prefs->setFavoritesOnly(false);
                   away.store.setSearchText(QStringLiteral("no such network"));
                   away.store.rebuild();
               }}}},
            {"scanning", {760, 560}, main(scanning)},
            {"speed test idle with a result",
             {460, 620},
             speed(room),
             {{"running", phase(SpeedTest::Phase::download)},
              {"done", phase(SpeedTest::Phase::done)},
              {"failed", phase(SpeedTest::Phase::failure(SpeedTest::describeFailure({7, {}, {}})))}}},
            {"speed test not connected", {460, 620}, speed(away)},
            {"history",
             {900, 460},
             [&history] { return new SpeedHistoryView(history); },
             {{"the newest row chosen",
               [](QWidget* w) { static_cast<SpeedHistoryView*>(w)->table()->selectRow(0); }}}},
            {"history empty", {900, 460}, [&empty] { return new SpeedHistoryView(empty.history); }},
            {"settings General",
             {520, 560},
             [&asking] { return new SettingsView(*asking.prefs, &asking.store, &asking.location); },
             {{"List", tab(1)}, {"About", tab(2)}}},
        };

        const auto network = [&room](const QString& ssid) {
            return *std::ranges::find(room.store.networks(), std::optional(ssid), &ScannedNetwork::ssid);
        };
        Checker checker;
        for (AppLanguage language : allAppLanguages()) {
            if (language == AppLanguage::system)
                continue;
            LocaleSettings::apply(language);
            QApplication::setLayoutDirection(LocaleSettings::isRightToLeftCache ? Qt::RightToLeft
                                                                                : Qt::LeftToRight);
            // The failed join and the open sheet of the first state, in this language.
            room.store.cancelPassword();
            room.store.dismissError();
            QSignalSpy failed(&room.store, &WiFiStore::errorMessageChanged);
            room.store.performConnect(network(kHostile[1]), QStringLiteral("wrong"), false);
            QVERIFY(failed.wait(10000));
            room.store.activate(network(kHostile[1]));
            QVERIFY(room.store.passwordTarget());
            if (!scanning.store.isScanning())
                scanning.store.scan();
            away.store.setSearchText({});
            away.prefs->setFavoritesOnly(true);
            away.store.rebuild();

            for (const auto& s : states) {
                std::unique_ptr<QWidget> window(s.build());
                window->resize(s.size);
                window->show();
                for (qsizetype step = -1; step < s.steps.size(); ++step) {
                    if (step >= 0)
                        s.steps[step].second(window.get());
                    checker.where = rawValue(language) + ", " + s.state +
                                    (step >= 0 ? QString(", ") + s.steps[step].first : "");
                    for (int round = 0; round < 3; ++round)
                        QCoreApplication::processEvents();
                    checker.check(window.get());
                }
                if (auto* content = qobject_cast<ContentView*>(window.get());
                    content && content->passwordSheet()->isVisible()) {
                    checker.check(content->passwordSheet());
                    // Joining by name: an enterprise network with a name too
                    // long, then a secured one with its password.
                    HiddenNetworkSheet* hidden = content->hiddenNetworkSheet();
                    hidden->openFor(Security::enterprise);
                    hidden->nameField()->setText(QString(11, QChar(0x65E5))); // 33 bytes
                    for (Security security : {Security::enterprise, Security::wpa3Personal}) {
                        hidden->securityBox()->setCurrentIndex(
                            hidden->securityBox()->findData(rawValue(security)));
                        checker.where = rawValue(language) + ", hidden network sheet, " + label(security);
                        QCoreApplication::processEvents();
                        checker.check(hidden);
                    }
                    hidden->cancelButton()->click();
                }
            }
        }
        QCOMPARE(checker.windows, 32 * 22); // every state of every window in every language
        QVERIFY2(checker.failures.isEmpty(), qPrintable(checker.failures.join(u'\n')));
        QCOMPARE(checker.namePlaces,
                 QSet<QString>({"ContentView QLabel ", "ContentView Banner ", "ContentView NetworkListView ",
                                "PasswordSheet QLabel ", "SpeedTestView ElidedLabel speedSubtitle",
                                "SpeedHistoryView QTableView historyTable",
                                "SpeedHistoryView SpeedHistoryChart historyChart",
                                "SettingsView ElidedLabel favoriteName",
                                "SettingsView QPushButton removeFavorite"}));
    }
};

QTEST_MAIN(TestAllLanguagesFit)
#include "tst_AllLanguagesFit.moc"

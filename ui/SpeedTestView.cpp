#include "ui/SpeedTestView.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "speed/SpeedFormat.h"
#include "speed/SpeedHistory.h"
#include "speed/SpeedTest.h"
#include "store/DisplayName.h"
#include "store/WiFiStore.h"
#include "ui/Announcer.h"
#include "ui/ElidedLabel.h"
#include "ui/FormSection.h"
#include "ui/SpeedHistoryModel.h"
#include "ui/SymbolView.h"
#include "ui/Tints.h"
#include "ui/UnitText.h"
#include "ui/ViewStyle.h"
#include "wifi/SsidText.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace ondrel {

namespace {

enum Row { downloadRow, uploadRow, latencyRow, jitterRow, dataRow, measuredRow };

// The current network's name, when there is one.
std::optional<QString> currentName(const WiFiStore& store)
{
    const std::optional<QString>& ssid = store.status().ssid;
    if (ssid && !ssid->isEmpty())
        return ssid;
    return std::nullopt;
}

} // namespace

SpeedTestView::SpeedTestView(WiFiStore& store, SpeedHistory& history, std::unique_ptr<SpeedTest> test,
                             QWidget* parent)
    : QWidget(parent), store_(store), history_(history),
      test_(test ? std::move(test) : std::make_unique<SpeedTest>())
{
    setObjectName(QStringLiteral("speedTestView"));
    setMinimumWidth(width);
    setLayoutDirection(LocaleSettings::isRightToLeftCache ? Qt::RightToLeft : Qt::LeftToRight);
    build();

    connect(test_.get(), &SpeedTest::phaseChanged, this, &SpeedTestView::phaseChanged);
    connect(test_.get(), &SpeedTest::progressChanged, this, &SpeedTestView::refresh);
    connect(test_.get(), &SpeedTest::liveMbpsChanged, this, &SpeedTestView::refresh);
    connect(test_.get(), &SpeedTest::liveLatencyChanged, this, &SpeedTestView::refresh);
    connect(test_.get(), &SpeedTest::resultChanged, this, &SpeedTestView::refresh);
    connect(&store_, &WiFiStore::statusChanged, this, &SpeedTestView::refresh);
    connect(&history_, &SpeedHistory::entriesChanged, this, &SpeedTestView::refresh);
    refresh();
}

SpeedTestView::~SpeedTestView()
{
    // The test's transfers stop with it; nothing is stored for a test cut short.
    test_->disconnect(this);
}

QString SpeedTestView::serviceHost()
{
    return QUrl(QString::fromUtf8(SpeedTest::defaultBaseUrl())).host();
}

QString SpeedTestView::serviceNote()
{
    const QUrl url(QString::fromUtf8(SpeedTest::defaultBaseUrl()));
    if (url.host() == QLatin1String("speed.cloudflare.com"))
        // One sentence with the host as its argument, so that a translation
        // can place the host where its grammar wants it.
        return Lf("測定は Cloudflare の公開サーバー（%@）と通信して行います。回線をいっぱいに使うので、"
                  "配信や大きな転送の最中は避けてください。",
                  "The test talks to Cloudflare’s public measurement server (%@). It saturates the "
                  "connection, so avoid running it while streaming or transferring large files.",
                  {url.host()});
    // Another server (a test server on this computer, say): not Cloudflare's.
    return Lf("測定は %@ のサーバーと通信して行います。回線をいっぱいに使うので、"
              "配信や大きな転送の最中は避けてください。",
              "The test talks to the measurement server at %@. It saturates the connection, so avoid "
              "running it while streaming or transferring large files.",
              {visibleText(url.authority())});
}

void SpeedTestView::focusFirstAction()
{
    if (startButton_->isVisibleTo(this) && startButton_->isEnabled())
        startButton_->setFocus(Qt::OtherFocusReason);
    else
        closeButton_->setFocus(Qt::OtherFocusReason);
}

QString SpeedTestView::announcement() const
{
    return announcer_->message();
}

void SpeedTestView::build()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(16);

    // Header: symbol, title and the network's name.
    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(new SymbolView(Symbol::speedometer, 22, primaryColor), 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* title = new QLabel(L("速度テスト", "Speed Test"));
    title->setFont(viewstyle::font(15, QFont::DemiBold));
    viewstyle::alignLeading(title, LocaleSettings::isRightToLeftCache);
    subtitle_ = new ElidedLabel;
    subtitle_->setObjectName(QStringLiteral("speedSubtitle"));
    subtitle_->setFont(viewstyle::font(12));
    viewstyle::setSecondary(subtitle_);
    titles->addWidget(title);
    titles->addWidget(subtitle_);
    header->addLayout(titles, 1);
    column->addLayout(header);

    // Gauge: the big figure, the phase and the progress bar.
    auto* gauge = new QVBoxLayout;
    gauge->setSpacing(6);
    figure_ = new QLabel;
    figure_->setObjectName(QStringLiteral("speedFigure"));
    figure_->setFont(viewstyle::font(46, QFont::DemiBold));
    viewstyle::alignLeading(figure_, LocaleSettings::isRightToLeftCache);
    phase_ = new QLabel;
    phase_->setObjectName(QStringLiteral("speedPhase"));
    phase_->setFont(viewstyle::font(12));
    viewstyle::setSecondary(phase_);
    viewstyle::alignLeading(phase_, LocaleSettings::isRightToLeftCache);
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("speedProgress"));
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setFixedHeight(6);
    progress_->setAccessibleName(L("速度テスト", "Speed Test"));
    progress_->setGraphicsEffect(new QGraphicsOpacityEffect(progress_));
    gauge->addWidget(figure_);
    gauge->addWidget(phase_);
    buildLiveLatency(gauge);
    gauge->addSpacing(4);
    gauge->addWidget(progress_);
    column->addLayout(gauge);

    // The figures of the shown result.
    numbers_ = new FormSection(QString());
    const QString labels[] = {L("ダウンロード", "Download"),  L("アップロード", "Upload"),
                              L("応答時間", "Latency"),       L("ゆらぎ", "Jitter"),
                              L("使った通信量", "Data used"), L("測定した時刻", "Measured")};
    for (int row = downloadRow; row <= measuredRow; ++row) {
        auto* value = new QLabel;
        value->setObjectName(QStringLiteral("speedValue%1").arg(row));
        value->setFont(viewstyle::font(13, QFont::Medium));

        values_[row] = value;
        QWidget* line = FormSection::labeledRow(labels[row], value);
        numbers_->addRow(line);
        if (row == measuredRow)
            measuredRow_ = line;
    }
    buildLoadedRows();
    column->addWidget(numbers_);

    note_ = new QLabel;
    note_->setObjectName(QStringLiteral("speedNote"));
    note_->setTextFormat(Qt::PlainText);
    note_->setWordWrap(true);
    note_->setFont(viewstyle::font(12));
    viewstyle::alignLeading(note_, LocaleSettings::isRightToLeftCache);
    column->addWidget(note_);

    column->addStretch(1);

    // The count goes on a line of its own above the buttons when the row
    // has no room for it in this language (see placeCount).
    countLine_ = new QHBoxLayout;
    column->addLayout(countLine_);

    // Buttons.
    auto* buttons = new QHBoxLayout;
    buttons_ = buttons;
    buttons->setSpacing(8);
    historyButton_ = new QPushButton(L("記録を見る", "Show History"));
    historyButton_->setObjectName(QStringLiteral("showHistoryButton"));
    historyButton_->setAutoDefault(false);
    connect(historyButton_, &QPushButton::clicked, this, &SpeedTestView::historyRequested);
    count_ = new QLabel;
    count_->setObjectName(QStringLiteral("speedCount"));
    count_->setFont(viewstyle::font(12));
    viewstyle::setSecondary(count_);
    closeButton_ = new QPushButton(L("閉じる", "Close"));
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setAutoDefault(false);
    connect(closeButton_, &QPushButton::clicked, this, &SpeedTestView::closeRequested);
    startButton_ = new QPushButton(L("測定を開始", "Start Test"));
    startButton_->setObjectName(QStringLiteral("startButton"));
    startButton_->setDefault(true);
    connect(startButton_, &QPushButton::clicked, this, [this] {
        if (currentName(store_))
            test_->start();
    });
    stopButton_ = new QPushButton(L("中止", "Stop"));
    stopButton_->setObjectName(QStringLiteral("stopButton"));
    stopButton_->setAutoDefault(false);
    connect(stopButton_, &QPushButton::clicked, this, [this] { test_->stop(); });
    buttons->addWidget(historyButton_);
    buttons->addWidget(count_);
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);
    buttons->addWidget(startButton_);
    buttons->addWidget(stopButton_);
    column->addLayout(buttons);

    // Escape and the desktop's Close keys close. Return presses the focused
    // button, and Start Test, the default button, when none has the focus.
    QList<QKeySequence> closing = QKeySequence::keyBindings(QKeySequence::Close);
    closing << QKeySequence(Qt::Key_Escape) << QKeySequence(Qt::CTRL | Qt::Key_W);
    for (const QKeySequence& key : std::as_const(closing)) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, &SpeedTestView::closeRequested);
    }
    announcer_ = new Announcer(this);

    animation_ = new QVariantAnimation(this);
    animation_->setDuration(450);
    animation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        figureValue_ = value.toDouble();
        figure_->setText(mbps(figureValue_));
    });
    connect(animation_, &QVariantAnimation::finished, this, [this] { figure_->setText(figureTarget_); });
}

std::optional<SpeedResult> SpeedTestView::shown() const
{
    const SpeedResult& result = test_->result();
    if (result.date != SpeedResult::distantPast())
        return result;
    const std::optional<QString> name = currentName(store_);
    if (!name)
        return std::nullopt;
    const std::optional<SpeedEntry> entry = history_.latest(*name);
    if (!entry)
        return std::nullopt;
    SpeedResult stored;
    stored.downloadMbps = entry->downloadMbps;
    stored.uploadMbps = entry->uploadMbps;
    stored.latencyMs = entry->latencyMs;
    stored.jitterMs = entry->jitterMs;
    stored.bytes = entry->bytes;
    stored.date = entry->date;
    stored.downloadLatency = entry->downloadLatency;
    stored.uploadLatency = entry->uploadLatency;
    return stored;
}

QString SpeedTestView::phaseText() const
{
    switch (test_->phase().kind()) {
    case SpeedTest::Phase::idle:
        return shown() ? L("Mbps ・ ダウンロード", "Mbps · Download")
                       : L("Mbps ・ まだ測定していません", "Mbps · Not measured yet");
    case SpeedTest::Phase::latency:
        return L("Mbps ・ 応答時間を測っています…", "Mbps · Measuring latency…");
    case SpeedTest::Phase::download:
        return L("Mbps ・ ダウンロードを測っています…", "Mbps · Measuring download…");
    case SpeedTest::Phase::upload:
        return L("Mbps ・ アップロードを測っています…", "Mbps · Measuring upload…");
    case SpeedTest::Phase::done:
        return L("Mbps ・ ダウンロード", "Mbps · Download");
    case SpeedTest::Phase::failed:
        return L("Mbps ・ 測定できませんでした", "Mbps · The test did not finish");
    }
    return {};
}

QString SpeedTestView::targetFigure() const
{
    if (test_->phase().isRunning() && test_->liveMbps() > 0)
        return mbps(test_->liveMbps());
    if (const std::optional<SpeedResult> result = shown(); result && result->downloadMbps > 0)
        return mbps(result->downloadMbps);
    // Nothing measured: a dash, not a speed of zero.
    return QStringLiteral("–");
}

void SpeedTestView::animateFigure()
{
    const QString target = targetFigure();
    if (target == figureTarget_)
        return;
    figureTarget_ = target;
    double value = 0;
    if (test_->phase().isRunning() && test_->liveMbps() > 0)
        value = test_->liveMbps();
    else if (const std::optional<SpeedResult> result = shown(); result && result->downloadMbps > 0)
        value = result->downloadMbps;
    animation_->stop();
    if (!isVisible()) {
        // Nothing to watch: show the figure at once.
        figureValue_ = value;
        figure_->setText(target);
        return;
    }
    animation_->setStartValue(figureValue_);
    animation_->setEndValue(value);
    animation_->start();
}

void SpeedTestView::phaseChanged()
{
    // A finished test is stored under the network current at this moment.
    unsaved_ = false;
    const SpeedTest::Phase& phase = test_->phase();
    if (phase.kind() == SpeedTest::Phase::done) {
        if (const std::optional<SpeedEntry> entry = SpeedEntry::measured(test_->result(), store_.status()))
            unsaved_ = !history_.add(*entry);
    }
    refresh();
    if (phase.kind() == SpeedTest::Phase::done) {
        const SpeedResult& r = test_->result();
        announcer_->announce(
            Lf("測定が終わりました。ダウンロード %@、アップロード %@、応答時間 %@、ゆらぎ %@。",
               "The test finished: download %@, upload %@, latency %@, jitter %@.",
               {mbpsText(r.downloadMbps), mbpsText(r.uploadMbps), millisecondsText(r.latencyMs),
                millisecondsText(r.jitterMs)}) +
            (unsaved_ ? QLatin1Char(' ') + note_->text() : QString()));
    } else if (phase.kind() == SpeedTest::Phase::failed) {
        announcer_->announce(note_->text());
    }
}

void SpeedTestView::refresh()
{
    const std::optional<QString> name = currentName(store_);
    const bool running = test_->phase().isRunning();
    const std::optional<SpeedResult> result = shown();

    subtitle_->setText(name ? screenName(*name) : L("未接続", "Not connected"));
    subtitle_->setDetail(name ? nameBytesLine(*name) : QString());
    animateFigure();
    phase_->setText(phaseText());

    progress_->setValue(running ? int(test_->progress() * 1000 + 0.5) : (result ? 1000 : 0));
    static_cast<QGraphicsOpacityEffect*>(progress_->graphicsEffect())->setOpacity(running ? 1.0 : 0.25);

    const QString values[] = {
        result ? mbpsText(result->downloadMbps) : QString(),
        result ? mbpsText(result->uploadMbps) : QString(),
        result ? millisecondsText(result->latencyMs) : QString(),
        result ? millisecondsText(result->jitterMs) : QString(),
        result ? megabytesText(result->bytes) : QString(),
        result ? SpeedHistoryModel::stamp(result->date) : QString(),
    };
    for (int row = downloadRow; row <= measuredRow; ++row) {
        values_[row]->setText(values[row]);
        viewstyle::levelBaseline(values_[row]);
    }
    measuredRow_->setVisible(result && result->date != SpeedResult::distantPast());
    refreshLoaded(result);

    if (test_->phase().kind() == SpeedTest::Phase::failed) {
        note_->setText(visibleText(test_->phase().message()));
        viewstyle::setTextColor(note_, tintRed(palette()));
    } else if (unsaved_) {
        const QString problem = history_.fileProblem();
        note_->setText(
            L("この結果は記録に保存できませんでした。", "This result could not be saved to the history.") +
            (problem.isEmpty() ? QString() : QLatin1Char(' ') + problem));
        viewstyle::setTextColor(note_, tintRed(palette()));
    } else {
        note_->setText(serviceNote());
        viewstyle::setSecondary(note_);
    }

    const int count = name ? history_.count(*name) : 0;
    count_->setText(count >= 2 ? Lf("このネットワークで %d 件", "%d for this network", {count}) : QString());
    count_->setVisible(count >= 2);

    // Start and Stop take each other's place, and the focus with it.
    const bool focusOnStart = startButton_->hasFocus(), focusOnStop = stopButton_->hasFocus();
    stopButton_->setVisible(running);
    startButton_->setVisible(!running);
    startButton_->setEnabled(name.has_value());
    if (running && focusOnStart)
        stopButton_->setFocus(Qt::OtherFocusReason);
    else if (!running && focusOnStop && startButton_->isEnabled())
        startButton_->setFocus(Qt::OtherFocusReason);
    placeCount();
}

void SpeedTestView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeCount();
}

void SpeedTestView::buildLiveLatency(QVBoxLayout* gauge)
{
    // Its line is kept while empty, so that nothing below moves when a
    // phase begins or ends.
    liveLatency_ = new QLabel;
    liveLatency_->setObjectName(QStringLiteral("speedLiveLatency"));
    liveLatency_->setFont(viewstyle::font(12));
    liveLatency_->setFixedHeight(liveLatency_->fontMetrics().height());
    viewstyle::setSecondary(liveLatency_);
    viewstyle::alignLeading(liveLatency_, LocaleSettings::isRightToLeftCache);
    gauge->addWidget(liveLatency_);
}

void SpeedTestView::buildLoadedRows()
{
    const QString labels[] = {L("ダウンロード中の応答時間", "Latency while downloading"),
                              L("アップロード中の応答時間", "Latency while uploading"),
                              L("応答性", "Responsiveness")};
    for (int i = 0; i < 3; ++i) {
        auto* value = new QLabel;
        value->setObjectName(QStringLiteral("speedLoaded%1").arg(i));
        value->setFont(viewstyle::font(13, QFont::Medium));
        loadedValues_[i] = value;
        // After the idle latency and jitter.
        numbers_->insertRow(jitterRow + 1 + i, FormSection::labeledRow(labels[i], value));
    }
}

QString SpeedTestView::liveLatencyText() const
{
    const SpeedTest::Phase::Kind kind = test_->phase().kind();
    const std::optional<qint64> ms = test_->liveLatencyMs();
    if ((kind != SpeedTest::Phase::download && kind != SpeedTest::Phase::upload) || !ms)
        return {};
    return Lf("負荷時の応答時間 %d ms", "Latency under load: %d ms", {*ms});
}

void SpeedTestView::refreshLoaded(const std::optional<SpeedResult>& result)
{
    liveLatency_->setText(liveLatencyText());
    // A figure that was not measured (an earlier version's entry, or every
    // request failed) shows as a dash, never as 0 ms.
    const QString none = QStringLiteral("—");
    const auto latency = [&](const std::optional<LoadedLatency>& loaded) {
        return loaded ? millisecondsText(loaded->latencyMs) : none;
    };
    const QString grade = result ? responsivenessText(result->underLoad()) : QString();
    const QString values[] = {
        result ? latency(result->downloadLatency) : QString(),
        result ? latency(result->uploadLatency) : QString(),
        result ? (grade.isEmpty() ? none : grade) : QString(),
    };
    for (int i = 0; i < 3; ++i) {
        loadedValues_[i]->setText(values[i]);
        viewstyle::levelBaseline(loadedValues_[i]);
    }
}

void SpeedTestView::placeCount()
{
    // In the buttons' row when it fits there whole, else above the row.
    const int spacing = buttons_->spacing();
    const QMargins margins = layout()->contentsMargins();
    // The width the view has once laid out; before that, the narrowest.
    const int across = testAttribute(Qt::WA_Resized) || isVisible() ? QWidget::width() : width;
    const int room = std::max(width, across) - margins.left() - margins.right();
    const int needed =
        historyButton_->sizeHint().width() + count_->sizeHint().width() + closeButton_->sizeHint().width() +
        std::max(startButton_->sizeHint().width(), stopButton_->sizeHint().width()) + 3 * spacing;
    const bool inRow = needed <= room;
    if (inRow == (buttons_->indexOf(count_) >= 0))
        return;
    if (inRow) {
        countLine_->removeWidget(count_);
        buttons_->insertWidget(1, count_);
    } else {
        buttons_->removeWidget(count_);
        countLine_->addWidget(count_);
    }
}

} // namespace ondrel

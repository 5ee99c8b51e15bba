#pragma once

#include "speed/SpeedResult.h"
#include "speed/SpeedTest.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class QHBoxLayout;
class QLabel;
class QProgressBar;
class QVBoxLayout;
class QPushButton;
class QVariantAnimation;

namespace ondrel {

class Announcer;
class ElidedLabel;
class FormSection;
class SpeedHistory;
class WiFiStore;

// The speed test window's content: the current network, a big animated
// figure with the phase under it, a progress bar, the figures of the shown
// result, a note (or the failure in red) and the buttons. It owns one
// SpeedTest for as long as it lives. When a test finishes while the store
// names a current network, the result is added to the history under that
// network, as it is at that moment. The end of a test, finished or failed,
// is read out to screen readers (announcer()).
class SpeedTestView : public QWidget {
    Q_OBJECT
public:
    // The narrowest the content gets; it widens with the desktop's text.
    static constexpr int width = 460;

    // `store` and `history` must outlive the view. Without a test, the view
    // makes one against the usual service.
    SpeedTestView(WiFiStore& store, SpeedHistory& history, std::unique_ptr<SpeedTest> test = {},
                  QWidget* parent = nullptr);
    ~SpeedTestView() override;

    SpeedTest& test() const { return *test_; }

    // The result on show: this view's finished test, else the newest stored
    // one of the current network, else none.
    std::optional<SpeedResult> shown() const;
    // The text under the big figure for the test's state.
    QString phaseText() const;
    // The figure the big number heads for (it counts up or down to it).
    QString targetFigure() const;
    // The line under the phase while a throughput phase runs: the latency
    // under load measured so far; empty otherwise.
    QString liveLatencyText() const;

    // Gives the focus to Start Test (Close while no test can start), where
    // a window opening on the view begins.
    void focusFirstAction();

    // The host of the speed service named in the note.
    static QString serviceHost();
    // The note under the figures: Cloudflare's service, or the server
    // configured instead (ONDREL_SPEEDTEST_URL), named by its address.
    static QString serviceNote();
    // What screen readers were last told: the finished test's figures, or
    // why it failed.
    QString announcement() const;

Q_SIGNALS:
    // Close (or Escape) was pressed; the host closes the sheet.
    void closeRequested();
    // Show History was pressed; the host opens the history window.
    void historyRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void build();
    void refresh();
    void phaseChanged();
    void animateFigure();
    void placeCount();
    // The latencies under load: the live line in the gauge, and the rows
    // while downloading, while uploading and of the responsiveness.
    void buildLiveLatency(QVBoxLayout* gauge);
    void buildLoadedRows();
    void refreshLoaded(const std::optional<SpeedResult>& result);

    WiFiStore& store_;
    SpeedHistory& history_;
    std::unique_ptr<SpeedTest> test_;

    ElidedLabel* subtitle_ = nullptr;
    QLabel* figure_ = nullptr;
    QLabel* phase_ = nullptr;
    QProgressBar* progress_ = nullptr;
    FormSection* numbers_ = nullptr;
    QLabel* values_[6] = {};
    QLabel* liveLatency_ = nullptr;
    QLabel* loadedValues_[3] = {};
    QWidget* measuredRow_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* historyButton_ = nullptr;
    QLabel* count_ = nullptr;
    QHBoxLayout* buttons_ = nullptr;
    QHBoxLayout* countLine_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QVariantAnimation* animation_ = nullptr;
    Announcer* announcer_ = nullptr;
    bool unsaved_ = false; // the finished test's result could not be stored
    double figureValue_ = 0;
    QString figureTarget_;
};

} // namespace ondrel

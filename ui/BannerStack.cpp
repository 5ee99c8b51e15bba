#include "ui/BannerStack.h"

#include "localization/Lookup.h"
#include "store/WiFiStore.h"
#include "ui/Banner.h"
#include "ui/ContentDecisions.h"
#include "ui/SystemSettings.h"
#include "wifi/LocationAuth.h"

#include <QVBoxLayout>

namespace ondrel {

BannerStack::BannerStack(WiFiStore& store, LocationAuth& location, QWidget* parent)
    : QWidget(parent), store_(store), location_(location), layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(10);
}

bool BannerStack::refresh()
{
    bool changed = false;
    const StatusBanner key = statusBannerFor(store_.status(), location_.status(), location_.isAuthorized());
    if (key != statusBannerKey_) {
        changed = true;
        delete statusBanner_;
        statusBanner_ = nullptr;
        statusBannerKey_ = key;
        if (key == StatusBanner::noInterface) {
            statusBanner_ =
                new Banner(Banner::Kind::error,
                           L("Wi-Fi インターフェースが見つかりません。", "No Wi-Fi interface was found."),
                           L("このコンピューターに無線の機器が無いか、使えない状態です。",
                             "This computer has no usable wireless hardware."));
        } else if (key == StatusBanner::radioOff) {
            statusBanner_ =
                new Banner(Banner::Kind::warning, L("Wi-Fi がオフになっています。", "Wi-Fi is turned off."),
                           std::nullopt, L("オンにする", "Turn On"), [this] { store_.powerOn(); });
        } else if (key != StatusBanner::none) {
            std::optional<QString> actionTitle;
            if (key == StatusBanner::locationAsk)
                actionTitle = L("許可する", "Allow");
            else if (systemSettingsCommand())
                actionTitle = L("システム設定を開く", "Open System Settings");
            std::function<void()> action;
            if (actionTitle)
                action = [this] { locationAction(); };
            statusBanner_ =
                new Banner(Banner::Kind::warning,
                           L("位置情報の使用を許可すると、周囲のネットワーク名が読めるようになります。",
                             "Allow location access to read the names of nearby networks."),
                           L("システムの決まりで、Wi-Fi "
                             "の名前は位置情報の許可がないと読めません。このコンピューターの外へ情報を送るこ"
                             "とはありません。",
                             "The system requires location access before an app can read Wi-Fi names. "
                             "Nothing leaves this computer."),
                           actionTitle, action);
        }
        if (statusBanner_)
            layout_->insertWidget(0, statusBanner_);
    }

    // A failed scan reports what the status banner already says ("Wi-Fi is
    // turned off."); the same sentence is not shown twice.
    std::optional<QString> message = store_.errorMessage();
    if (message && statusBanner_ && *message == statusBanner_->title())
        message.reset();
    const std::optional<QString> name = message ? store_.errorName() : std::nullopt;
    if (message != errorBannerText_ || name != errorBannerName_) {
        changed = true;
        delete errorBanner_;
        errorBanner_ = nullptr;
        errorBannerText_ = message;
        errorBannerName_ = name;
        if (message) {
            errorBanner_ = new Banner(Banner::Kind::error, *message, std::nullopt, L("閉じる", "Dismiss"),
                                      [this] { store_.dismissError(); });
            errorBanner_->describeName(name);
            layout_->addWidget(errorBanner_);
        }
    }
    // No gap above the card without banners.
    setVisible(statusBanner_ || errorBanner_);
    return changed;
}

void BannerStack::locationAction()
{
    // The status may have changed since the banner was built.
    if (location_.status() == 0)
        location_.requestPermission();
    else
        openSystemSettings();
}

QList<Banner*> BannerStack::banners() const
{
    QList<Banner*> shown;
    for (Banner* banner : {statusBanner_, errorBanner_}) {
        if (banner)
            shown.append(banner);
    }
    return shown;
}

} // namespace ondrel

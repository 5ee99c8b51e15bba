#include "ui/AboutSettings.h"

#include "localization/Lookup.h"
#include "store/WiFiStore.h"
#include "ui/AppInfo.h"
#include "ui/FormSection.h"
#include "ui/ViewStyle.h"
#include "wifi/SsidText.h"
#include "wifi/WiFiEngine.h"

#include <QLabel>
#include <QVBoxLayout>

namespace ondrel {

namespace {

QLabel* value(const char* name, const QString& text = {})
{
    auto* label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setFont(viewstyle::font(13));
    return label;
}

} // namespace

AboutSettings::AboutSettings(Prefs& prefs, WiFiStore* store, QWidget* parent)
    : SettingsPage(prefs, parent), store_(store)
{
    column()->setSpacing(12);
    auto* about = new FormSection(QStringLiteral("Ondrel"));
    about->addRow(
        FormSection::labeledRow(L("バージョン", "Version"), value("versionValue", AppInfo::version())));
    interfaceValue_ = value("interfaceValue");
    about->addRow(FormSection::labeledRow(L("インターフェース", "Interface"), interfaceValue_));
    bssidValue_ = value("bssidValue");
    bssidRow_ = FormSection::labeledRow(L("接続先の BSSID", "Connected BSSID"), bssidValue_);
    bssidRow_->setObjectName(QStringLiteral("bssidRow"));
    about->addRow(bssidRow_);
    column()->addWidget(about);

    column()->addWidget(paragraph(L(
        "周囲の Wi-Fi "
        "を電波の強い順に並べて、選んで接続するためのアプリです。パスワードはこのアプリでは一切保存しません。"
        "システムは保存済みの Wi-Fi "
        "パスワードを他のアプリに渡さないため、暗号化されたネットワークにここから接続するときは"
        "入力を求めます。自動再接続はこれまでどおりシステムが行います。",
        "Lists nearby Wi-Fi networks strongest first so you can pick one and join it. This app never stores "
        "passwords. The system does not hand saved Wi-Fi passwords to other apps, so joining a secured "
        "network from "
        "here asks you to type it. Automatic reconnection is still handled by the system.")));
    column()->addStretch(1);

    if (store_)
        connect(store_, &WiFiStore::statusChanged, this, &AboutSettings::refresh);
}

void AboutSettings::refresh()
{
    SettingsPage::refresh();
    const std::optional<QString> name = WiFiEngine::shared().interfaceName();
    interfaceValue_->setText(name && !name->isEmpty() ? visibleText(*name) : L("なし", "None"));
    viewstyle::levelBaseline(interfaceValue_);
    const std::optional<QString> bssid = store_ ? store_->status().bssid : std::nullopt;
    const bool shown = bssid && !bssid->isEmpty();
    bssidValue_->setText(shown ? visibleText(*bssid) : QString());
    viewstyle::levelBaseline(bssidValue_);
    bssidRow_->setVisible(shown);
}

} // namespace ondrel

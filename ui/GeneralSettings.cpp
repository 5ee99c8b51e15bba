#include "ui/GeneralSettings.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/FormSection.h"
#include "ui/SystemSettings.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"
#include "wifi/LocationAuth.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ondrel {

GeneralSettings::GeneralSettings(Prefs& prefs, WiFiStore* store, LocationAuth* location, QWidget* parent)
    : SettingsPage(prefs, parent), store_(store), location_(location)
{
    auto* scanning = new FormSection(L("スキャン", "Scanning"));
    refreshPicker_ = picker("refreshPicker");
    for (qint64 seconds : Prefs::refreshChoices())
        refreshPicker_->addItem(Prefs::refreshLabel(seconds), seconds);
    connect(refreshPicker_, &QComboBox::activated, this, [this](int index) {
        prefs_.setAutoRefreshSeconds(refreshPicker_->itemData(index).toLongLong());
        // The new interval takes effect now, not at the next tick of the old one.
        if (store_)
            store_->restartAutoRefresh();
    });
    scanning->addRow(FormSection::labeledRow(L("自動で探し直す", "Scan automatically"), refreshPicker_));
    // The text and its translations name the rescan key "⌘R"; on this
    // desktop the key is Ctrl+R.
    scanning->setFooter(
        L("探している間は通信が一瞬途切れます。動画の配信や大きな転送の最中は「しない」のままにして、"
          "必要なときだけ ⌘R で探し直してください。",
          "The connection pauses briefly during each scan. Leave this off while streaming or "
          "transferring large files, and press ⌘R when you want a fresh list.")
            .replace(QStringLiteral("⌘R"), QStringLiteral("Ctrl+R")));
    column()->addWidget(scanning);

    auto* permissions = new FormSection(L("権限", "Permissions"));
    permissions->setFooter(L("システムの決まりで、周囲の Wi-Fi の名前は位置情報の許可がないと読めません。"
                             "このアプリが位置を記録したり外部へ送ったりすることはありません。",
                             "The system requires location access before an app can read nearby Wi-Fi names. "
                             "This app never records or transmits your location."));
    buildPermissionRow(permissions);
    column()->addWidget(permissions);

    auto* language = new FormSection(L("言語", "Language"));
    languagePicker_ = picker("languagePicker");
    for (AppLanguage lang : allAppLanguages())
        languagePicker_->addItem(languageLabel(lang), rawValue(lang));
    connect(languagePicker_, &QComboBox::activated, this, [this](int index) {
        if (const std::optional<AppLanguage> lang =
                appLanguageFromRawValue(languagePicker_->itemData(index).toString()))
            prefs_.setLanguage(*lang);
    });
    language->addRow(FormSection::labeledRow(L("言語", "Language"), languagePicker_));
    language->setFooter(
        L("訳がまだ無い文言は英語で表示されます。", "Text that has no translation yet appears in English."));
    column()->addWidget(language);
    column()->addStretch(1);

    if (location_)
        connect(location_, &LocationAuth::statusChanged, this, &GeneralSettings::refreshPermission);
}

void GeneralSettings::refresh()
{
    SettingsPage::refresh();
    select(refreshPicker_, prefs_.autoRefreshSeconds());
    select(languagePicker_, rawValue(prefs_.language()));
    refreshPermission();
}

QString GeneralSettings::coverageLabel(const QString& label, qsizetype entries, qsizetype total)
{
    const double coverage = total > 0 ? double(entries) / double(total) : 0.0;
    if (coverage > 1.0 || coverage >= 0.995)
        return label;
    const int percent = int(coverage * 100.0); // toward zero
    return Lf("%@（%d%%）", "%@ (%d%%)", {label, percent});
}

QString GeneralSettings::languageLabel(AppLanguage language)
{
    const QString name = label(language);
    if (language == AppLanguage::system || language == AppLanguage::ja || language == AppLanguage::en)
        return name;
    // The tables do not change while the program runs: count each one once.
    static QHash<AppLanguage, qsizetype> entries;
    auto it = entries.find(language);
    if (it == entries.end()) {
        const std::optional<QHash<QString, QString>> table = LocaleSettings::loadTable(rawValue(language));
        it = entries.insert(language, table ? table->size() : 0);
    }
    return coverageLabel(name, *it, LocaleSettings::totalStringCount());
}

QString GeneralSettings::locationStatusText(int status)
{
    if (status == 3)
        return L("許可済み", "Allowed");
    if (status == 0)
        return L("未設定", "Not set");
    return L("許可されていません", "Not allowed");
}

void GeneralSettings::buildPermissionRow(FormSection* section)
{
    if (!location_)
        return;
    QWidget* row = FormSection::plainRow();
    row->setObjectName(QStringLiteral("permissionRow"));
    auto* layout = static_cast<QHBoxLayout*>(row->layout());
    auto* title = new QLabel(L("位置情報の使用", "Location access"), row);
    title->setTextFormat(Qt::PlainText);
    title->setFont(viewstyle::font(13));
    permissionValue_ = new QLabel(row);
    permissionValue_->setObjectName(QStringLiteral("permissionValue"));
    permissionValue_->setTextFormat(Qt::PlainText);
    permissionValue_->setFont(viewstyle::font(13));
    permissionButton_ = new QPushButton(row);
    permissionButton_->setObjectName(QStringLiteral("permissionButton"));
    permissionButton_->setFont(viewstyle::font(12));
    connect(permissionButton_, &QPushButton::clicked, this, [this] {
        if (!location_)
            return;
        // The decision is taken again on press: the status may have moved on.
        if (location_->status() == 0) {
            location_->requestPermission();
            return;
        }
        openSystemSettings();
    });
    layout->addWidget(title, 1);
    layout->addWidget(permissionValue_);
    layout->addWidget(permissionButton_);
    section->addRow(row);
}

void GeneralSettings::refreshPermission()
{
    if (!location_ || !permissionValue_)
        return;
    const int status = location_->status();
    const bool granted = location_->isAuthorized();
    permissionValue_->setText(locationStatusText(status));
    viewstyle::setTextColor(permissionValue_, granted ? primaryColor(palette()) : secondaryColor(palette()));
    // "Open System Settings" needs a settings program to open.
    const bool canOpen = status == 0 || systemSettingsCommand().has_value();
    permissionButton_->setText(status == 0 ? L("許可する", "Allow")
                                           : L("システム設定を開く", "Open System Settings"));
    permissionButton_->setVisible(!granted && canOpen);
}

} // namespace ondrel

#include "ui/SettingsView.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/AboutSettings.h"
#include "ui/DisplaySettings.h"
#include "ui/GeneralSettings.h"
#include "ui/TabIcon.h"
#include "wifi/LocationAuth.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

namespace ondrel {

namespace {

// A page in a scroll area that shows the window's background.
QWidget* scrolling(QWidget* page)
{
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes to the page's controls; the page scrolls to the focused one.
    scroll->setFocusPolicy(Qt::NoFocus);
    page->setAutoFillBackground(false);
    scroll->setWidget(page);
    scroll->viewport()->setAutoFillBackground(false);
    return scroll;
}

} // namespace

SettingsView::SettingsView(Prefs& prefs, WiFiStore* store, LocationAuth* location, int tab, QWidget* parent)
    : QWidget(parent), prefs_(prefs), store_(store), location_(location), builtLanguage_(prefs.language()),
      initialTab_(tab)
{
    setObjectName(QStringLiteral("settingsView"));
    setMinimumWidth(width);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    build();
    // Prefs announces before it stores: read the new values once the event
    // loop comes back round.
    connect(&prefs_, &Prefs::willChange, this, &SettingsView::refresh, Qt::QueuedConnection);
}

int SettingsView::tab() const
{
    return tabs_->currentIndex();
}

void SettingsView::setTab(int tab)
{
    if (tab >= 0 && tab < tabs_->count())
        tabs_->setCurrentIndex(tab);
}

void SettingsView::build()
{
    const int current = tabs_ ? tabs_->currentIndex() : initialTab_;
    if (content_) {
        layout()->removeWidget(content_);
        content_->deleteLater();
    }
    builtLanguage_ = prefs_.language();
    setLayoutDirection(LocaleSettings::isRightToLeftCache ? Qt::RightToLeft : Qt::LeftToRight);
    setWindowTitle(L("設定", "Settings"));

    content_ = new QWidget(this);
    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(0, 10, 0, 0);
    column->setSpacing(0);

    // The tab bar sits centred above the pages, like a preferences toolbar.
    tabs_ = new QTabBar;
    tabs_->setObjectName(QStringLiteral("settingsTabs"));
    tabs_->setDrawBase(false);
    tabs_->setExpanding(false);
    tabs_->setIconSize(QSize(14, 14));
    tabs_->addTab(tabIcon(TabGlyph::gear), L("一般", "General"));
    tabs_->addTab(tabIcon(TabGlyph::list), L("一覧", "List"));
    tabs_->addTab(tabIcon(TabGlyph::info), L("情報", "About"));
    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    bar->addWidget(tabs_);
    bar->addStretch(1);
    column->addLayout(bar);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("color: rgba(128,128,128,70);"));
    column->addWidget(line);

    pages_ = {new GeneralSettings(prefs_, store_, location_), new DisplaySettings(prefs_),
              new AboutSettings(prefs_, store_)};
    auto* stack = new QStackedWidget;
    for (SettingsPage* page : std::as_const(pages_))
        stack->addWidget(scrolling(page));
    column->addWidget(stack, 1);
    connect(tabs_, &QTabBar::currentChanged, stack, &QStackedWidget::setCurrentIndex);

    layout()->addWidget(content_);
    setTab(current);
    refresh();
}

void SettingsView::refresh()
{
    if (prefs_.language() != builtLanguage_) {
        build();
        return;
    }
    for (SettingsPage* page : std::as_const(pages_))
        page->refresh();
}

} // namespace ondrel

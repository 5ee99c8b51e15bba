#pragma once

#include "ui/SettingsPage.h"

#include <QPointer>
#include <QStringList>

namespace ondrel {

class FormSection;

// The settings window's List page: the order, the favourites (with a
// Remove button for each, named after its network), what the list shows,
// and the signal strength's unit.
class DisplaySettings : public SettingsPage {
    Q_OBJECT
public:
    explicit DisplaySettings(Prefs& prefs, QWidget* parent = nullptr);

    void refresh() override;

private:
    void refreshFavorites();

    QComboBox* sortPicker_ = nullptr;
    QComboBox* orderPicker_ = nullptr;
    QComboBox* unitPicker_ = nullptr;
    FormSection* favoritesSection_ = nullptr;
    int favoritesFirstRow_ = 0;
    QList<QPointer<QWidget>> favoriteRows_;
    QStringList shownFavorites_;
};

} // namespace ondrel

#pragma once

#include "ui/ContentView.h"

#include <QMainWindow>
#include <QPointer>

namespace ondrel {

class OndrelApp;

// The "main" window: title "Ondrel", the menus and the network list
// content. Its content and menus are built again when the interface
// language changes.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(OndrelApp& app, QWidget* parent = nullptr);

    ContentView* content() const { return content_; }
    // Discards the content and the menus and builds them again, so that
    // every text is looked up in the current language.
    void rebuild();

    static constexpr QSize kDefaultSize{760, 560};

private:
    void buildMenus();

    OndrelApp& app_;
    QPointer<ContentView> content_;
};

} // namespace ondrel

#pragma once

#include <QSize>
#include <QStringList>

#include <memory>

class QWidget;

namespace ondrel {

class LocationAuth;
class Prefs;
class WiFiStore;

// What "--shot" renders: a window's content and its size in pixels.
struct ShotSubject {
    std::unique_ptr<QWidget> widget;
    QSize size;
};

// The objects every subject is given.
struct ShotObjects {
    Prefs& prefs;
    WiFiStore& store;
    LocationAuth& location;
};

// Chooses the subject from the arguments; the first matching rule wins,
// the main window's content being the last.
// The settings page "--tab N" asks for: N when it is a whole decimal number
// (optionally signed) within int's range, else 0.
int shotTab(const QStringList& args);

ShotSubject chooseShotSubject(const QStringList& args, bool settings, ShotObjects objects);

} // namespace ondrel

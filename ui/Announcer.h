#pragma once

#include <QWidget>

namespace ondrel {

// A message for screen readers that is not on the screen as text of its
// own: an alert without size whose name is the message. announce() makes
// it appear anew, and screen readers read an alert out when it appears (the
// end of a speed test, a file exported, a join refused). Nothing is drawn.
class Announcer : public QWidget {
    Q_OBJECT
public:
    explicit Announcer(QWidget* parent = nullptr);

    // Reads `message` out; an empty message withdraws the last one.
    void announce(const QString& message);
    QString message() const { return accessibleName(); }
};

} // namespace ondrel

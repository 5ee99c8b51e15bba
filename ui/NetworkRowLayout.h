#pragma once

#include "ui/Chip.h"

#include <QFont>
#include <QList>
#include <QPair>
#include <QRectF>
#include <QString>
#include <QStringList>

class QStyleOptionViewItem;

namespace ondrel {

class NetworkListModel;

// Where every part of one network row goes, in the view's coordinates:
// computed from the record and the style option, and shared by painting,
// hit tests, tooltips and accessibility. Laid out left to right, then
// mirrored for right-to-left languages.
struct NetworkRowLayout {
    enum class Padlock { none, open, closed };
    enum class Join { button, spinner, connected };

    QRectF star;
    QRectF bars;
    QRectF name;         // the drawn name
    double nameRoom = 0; // the widest the name may be
    QString nameText;    // the name as drawn: shortened in the middle only when it has no room
    QFont nameFont;
    QRectF checkmark;
    QRectF padlock;
    Padlock padlockKind = Padlock::none;
    // The chips that fit, in order; when some do not, the last one drawn is
    // "+N" and the texts of the others are in hiddenChips.
    QList<QPair<Chip, QRectF>> chips;
    QStringList hiddenChips;
    QRectF chipLine; // the room the chips have
    QRectF strength;
    QString strengthText;
    QFont strengthFont;
    QRectF strengthLabel;
    QString strengthLabelText;
    QFont strengthLabelFont;
    QRectF joinBox;
    QRectF button;     // the join button, the spinner or the "Connected" text
    QRectF buttonText; // where the button's style draws its caption
    Join join = Join::button;
    QString joinText;
    QFont joinFont;
    bool joinEnabled = true;

    static NetworkRowLayout compute(const QStyleOptionViewItem& option, const NetworkListModel& model,
                                    int row);

    // Every chip of a row, in order, whether or not it has room.
    static QList<Chip> allChips(const NetworkListModel& model, int row);

    // The "+N" chip that stands for `hidden` chips without room.
    static Chip moreChip(int hidden);
};

} // namespace ondrel

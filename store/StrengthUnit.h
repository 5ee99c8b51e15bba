#pragma once

#include <QList>
#include <QString>

namespace ondrel {

// How rows write signal strength.
enum class StrengthUnit { dbm, percent };

const QList<StrengthUnit>& allStrengthUnits();
QString rawValue(StrengthUnit unit);
QString label(StrengthUnit unit);

} // namespace ondrel

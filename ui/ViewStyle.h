#pragma once

#include <QFont>
#include <QString>

#include <optional>

class QLabel;
class QWidget;
class QColor;

namespace ondrel {

// Fonts and label helpers shared by the settings, speed test and history
// views (colours come from Tints.h). Sizes are in device-independent pixels
// so that a "13" reads the same on every desktop.
namespace viewstyle {

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);

// Gives a widget's text an explicit colour, or the secondary one.
void setTextColor(QWidget* widget, const QColor& color);
void setSecondary(QWidget* widget);

// Aligns a label's text with the leading edge of the current layout
// direction, also when the text itself runs the other way (an English
// fallback text in an Arabic window).
void alignLeading(QLabel* label, bool rightToLeft);

// Shifts a label's text up or down so that its baseline sits where the
// label's own font puts it. Scripts drawn from a fallback font (Devanagari,
// Thai, Japanese) have other ascents and descents, and a centred line of
// them would sit higher or lower than the text beside it. Call after each
// change of text.
void levelBaseline(QLabel* label);

// `text` as a tooltip that shows exactly these characters: Qt reads a
// tooltip that looks like HTML ("<b>Home</b>", a network's name) as HTML,
// so the text goes as an escaped paragraph, its spaces kept and its lines
// kept as lines. Empty for an empty text (no tooltip).
QString plainToolTip(const QString& text);

// For a widget that shows the network name `ssid` (absent: no network):
// when the name is not plain ASCII, its bytes become the accessible
// description and, under the widget's text, its tooltip; otherwise both
// are cleared.
void describeName(QLabel* label, const std::optional<QString>& ssid);

} // namespace viewstyle
} // namespace ondrel

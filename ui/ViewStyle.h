#pragma once

#include <QFont>
#include <QString>

#include <optional>

class QLabel;
class QPainter;
class QRectF;
class QWidget;
class QColor;

namespace ondrel {

// Fonts and label helpers shared by the windows (colours come from
// Tints.h). Text sizes are given on a scale where 13 is the body text: the
// desktop's own font size, so that the windows follow a desktop set to
// small or large text. An 11 is 11/13 of it, a 46 three and a half times it.
namespace viewstyle {

// `base` (its family and style) at `size` on that scale, with `weight`.
QFont scaled(const QFont& base, double size, QFont::Weight weight = QFont::Normal);
// The application's font at `size` on that scale.
QFont font(double size, QFont::Weight weight = QFont::Normal);
// A picture's size in pixels beside text of `base`'s family: `designPixels`
// where the desktop's body text is 13 pixels high, in proportion elsewhere,
// never less than `designPixels` × 0.75.
double scaledSize(double designPixels, const QFont& base = QFont());

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

// Draws one line of `text` in `rect`, aligned as `alignment` says with the
// sides taken as they are (left is left), and laid out in the text's own
// direction (that of its first letter), not the painter's: "5 GHz" and
// "12 Dec 2026" read so in a right-to-left window, an Arabic text runs from
// the right in a left-to-right one.
void drawOwnDirection(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text);

// `text` as a tooltip that shows exactly these characters: Qt reads a
// tooltip that looks like HTML ("<b>Home</b>", a network's name) as HTML,
// so such a text goes as an escaped paragraph, its spaces kept and its lines
// kept as lines; any other text stays as it is. Empty for an empty text (no
// tooltip).
QString plainToolTip(const QString& text);

// Gives `widget` the tooltip `text` (as plainToolTip makes it) and the
// accessible description `description`. Screen readers read a widget
// without a description of its own its tooltip instead: a tooltip that had
// to become HTML is then given as the description, in plain text, so that
// no markup is read out.
void setToolTip(QWidget* widget, const QString& text, const QString& description = {});

// For a widget that shows the network name `ssid` (absent: no network):
// when the name is not plain ASCII, its bytes become the accessible
// description and, under the widget's text, its tooltip; otherwise both
// are cleared.
void describeName(QLabel* label, const std::optional<QString>& ssid);

} // namespace viewstyle
} // namespace ondrel

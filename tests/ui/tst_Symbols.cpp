// The drawn pictograms: each a picture of its own (the closed padlock shut
// and symmetric, the open one not), an icon as sharp as a high-density screen
// asks, and a symbol view that shows the symbol it was last given.

#include "ui/SymbolView.h"
#include "ui/Symbols.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

using namespace ondrel;

namespace {

constexpr Symbol kAll[] = {Symbol::star,           Symbol::starFill,        Symbol::lockFill,
                           Symbol::lockOpen,       Symbol::checkmarkCircle, Symbol::speedometer,
                           Symbol::arrowClockwise, Symbol::arrowUpDown,     Symbol::wifi,
                           Symbol::wifiSlash,      Symbol::antenna,         Symbol::warningFill,
                           Symbol::infoFill,       Symbol::magnifier};

QImage picture(Symbol symbol, int side, const QColor& color = Qt::black, int width = 0)
{
    QImage image(width ? width : side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawSymbol(painter, symbol, image.rect(), color);
    return image;
}

// The share of pixels whose coverage differs by more than a quarter.
double difference(const QImage& a, const QImage& b)
{
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += std::abs(qAlpha(a.pixel(x, y)) - qAlpha(b.pixel(x, y))) > 64;
    return double(differing) / (a.width() * a.height());
}

} // namespace

class SymbolsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachSymbolIsAPictureOfItsOwn()
    {
        QImage blank(64, 64, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        QList<QImage> pictures;
        for (Symbol symbol : kAll)
            pictures.append(picture(symbol, 64));
        for (qsizetype i = 0; i < pictures.size(); ++i) {
            QVERIFY2(difference(pictures[i], blank) > 0.03, qPrintable(QString::number(i)));
            for (qsizetype j = 0; j < i; ++j)
                QVERIFY2(difference(pictures[i], pictures[j]) > 0.01,
                         qPrintable(QStringLiteral("%1 and %2").arg(i).arg(j)));
        }
        // The closed padlock's shackle comes down on both sides of its body;
        // the open one's swings out to the right.
        const QImage closed = picture(Symbol::lockFill, 64), open = picture(Symbol::lockOpen, 64);
        QVERIFY(difference(closed, closed.mirrored(true, false)) < 0.005);
        QVERIFY(difference(open, open.mirrored(true, false)) > 0.02);
        // Drawn centred and square in a wide rectangle.
        QCOMPARE(picture(Symbol::lockFill, 64, Qt::black, 128).copy(32, 0, 64, 64), closed);
    }

    // An icon asked for at 16 × 16 on a screen of scale 2 is 32 × 32 pixels
    // of the same drawing, not a 16-pixel drawing in one corner.
    void iconsAreSharpAtAnyScale()
    {
        const QIcon icon = symbolIcon(Symbol::lockFill, Qt::black);
        for (qreal scale : {1.0, 2.0, 3.0}) {
            const QPixmap pixmap = icon.pixmap(QSize(16, 16), scale);
            QCOMPARE(pixmap.size(), QSize(16, 16) * scale);
            QCOMPARE(pixmap.devicePixelRatio(), scale);
            QImage drawn = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            drawn.setDevicePixelRatio(1);
            QCOMPARE(drawn, picture(Symbol::lockFill, int(16 * scale)));
        }
        // A disabled action's icon is the same drawing faded to under half its
        // strength; selected or active, it is drawn whole.
        const auto drawnIn = [&icon](QIcon::Mode mode) {
            return icon.pixmap(QSize(16, 16), 1.0, mode)
                .toImage()
                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        };
        QColor faded(Qt::black);
        faded.setAlphaF(0.45f);
        QCOMPARE(drawnIn(QIcon::Disabled), picture(Symbol::lockFill, 16, faded));
        QCOMPARE(drawnIn(QIcon::Selected), picture(Symbol::lockFill, 16));
        QCOMPARE(drawnIn(QIcon::Active), picture(Symbol::lockFill, 16));
    }

    // A symbol view shows the symbol it was last given, in its palette's colour.
    void viewShowsItsLatestSymbol()
    {
        SymbolView view(Symbol::star, 32,
                        [](const QPalette& palette) { return palette.color(QPalette::Text); });
        QPalette palette;
        palette.setColor(QPalette::Text, Qt::black);
        view.setPalette(palette);
        const auto shown = [&view] {
            QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            view.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
            return image;
        };
        QCOMPARE(shown(), picture(Symbol::star, 32));
        view.setSymbol(Symbol::lockOpen);
        QCOMPARE(view.symbol(), Symbol::lockOpen);
        QCOMPARE(shown(), picture(Symbol::lockOpen, 32));
        palette.setColor(QPalette::Text, Qt::red);
        view.setPalette(palette);
        QCOMPARE(shown(), picture(Symbol::lockOpen, 32, Qt::red));
    }
};

QTEST_MAIN(SymbolsTest)
#include "tst_Symbols.moc"

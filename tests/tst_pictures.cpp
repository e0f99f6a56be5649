#include <QColor>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <QTest>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

// The pictures live in a static library, so nothing pulls their resource in unless asked.
static void initPicturesResource()
{
    Q_INIT_RESOURCE(pictures);
}

class TestPictures : public QObject
{
    Q_OBJECT

private:
    static QImage render(const QString &name, int side)
    {
        QSvgRenderer renderer(u":/calvenza/pictures/"_s + name + u".svg"_s);
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        return image;
    }

    // Only pixels a viewer would count as painted, not the antialiased fringe.
    static QList<QColor> painted(const QImage &image, const QRect &area)
    {
        QList<QColor> colours;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (qAlpha(image.pixel(x, y)) >= 128)
                    colours << QColor::fromRgba(image.pixel(x, y));
        return colours;
    }

    static qsizetype darkPixels(const QImage &image, const QRect &area)
    {
        const QList<QColor> colours = painted(image, area);
        return std::count_if(
            colours.begin(), colours.end(), [](const QColor &c) { return c.lightness() < 60; });
    }

    static double meanSaturation(const QImage &image)
    {
        const QList<QColor> colours = painted(image, image.rect());
        double sum = 0;
        for (const QColor &c : colours)
            sum += c.hslSaturationF();
        return colours.isEmpty() ? 0 : sum / colours.size();
    }

private slots:
    void initTestCase() { initPicturesResource(); }

    void pictureIsDrawnAtIconSizes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("side");
        for (const QString &name : {u"alarmclock"_s, u"face_up"_s, u"face_pressed"_s,
                 u"face_disabled"_s, u"exit"_s, u"calvenza"_s}) {
            for (int side : {32, 256})
                QTest::addRow("%s@%d", qPrintable(name), side) << name << side;
        }
    }
    void pictureIsDrawnAtIconSizes()
    {
        QFETCH(QString, name);
        QFETCH(int, side);
        QSvgRenderer renderer(u":/calvenza/pictures/"_s + name + u".svg"_s);
        QVERIFY(renderer.isValid());
        // Drawn for square buttons and icon slots: a stretched picture would look wrong.
        const QSizeF box = renderer.viewBoxF().size();
        QVERIFY(!box.isEmpty());
        QCOMPARE(box.width(), box.height());

        const QImage image = render(name, side);
        const QList<QColor> colours = painted(image, image.rect());
        // At least a quarter of the square, so the picture is not a dot lost in its button;
        // and transparent somewhere, so it sits on the button's own face, not on a white tile.
        QVERIFY2(colours.size() * 4 >= side * side, qPrintable(QString::number(colours.size())));
        QVERIFY(colours.size() < side * side);
        // One flat colour would have no outline.
        QSet<QRgb> solid;
        for (const QColor &c : colours)
            if (c.alpha() == 255)
                solid.insert(c.rgba());
        QVERIFY(solid.size() > 1);
    }

    void pressedFaceHasNoMouthButTheSameEyes()
    {
        const QImage up = render(u"face_up"_s, 32);
        const QImage pressed = render(u"face_pressed"_s, 32);
        const QRect mouthBand(8, 18, 16, 8);
        QVERIFY(darkPixels(up, mouthBand) >= 6);
        QCOMPARE(darkPixels(pressed, mouthBand), 0);
        const QRect eyes(8, 8, 16, 8);
        QCOMPARE(darkPixels(pressed, eyes), darkPixels(up, eyes));
    }

    void disabledFaceLooksGreyerThanTheLiveOne()
    {
        const QImage up = render(u"face_up"_s, 32);
        const QImage disabled = render(u"face_disabled"_s, 32);
        QVERIFY(meanSaturation(disabled) < meanSaturation(up) / 2);
        // Its open mouth is a hole of light in the lower half, unlike the smile's line.
        QVERIFY(QColor::fromRgba(disabled.pixel(16, 22)).lightness() > 200);
    }

    // Desktops put the icon on any background: only the rounded corners and a thin margin show it.
    void programIconIsAnOpaqueTile()
    {
        const QImage big = render(u"calvenza"_s, 256);
        QVERIFY(painted(big, big.rect()).size() * 100 >= 256 * 256 * 88);
        QCOMPARE(qAlpha(big.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(big.pixel(128, 128)), 255);
    }
};

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"

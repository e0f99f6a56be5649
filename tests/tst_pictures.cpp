#include <QColor>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <QTest>

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
    static QImage render(const QString &path, int side)
    {
        QSvgRenderer renderer(path);
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        if (renderer.isValid()) {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
        }
        return image;
    }

    // Pixels that a viewer would count as painted, not the antialiased fringe.
    static int opaquePixels(const QImage &image, const QRect &area)
    {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += qAlpha(image.pixel(x, y)) >= 128 ? 1 : 0;
        return count;
    }

    static int darkPixels(const QImage &image, const QRect &area)
    {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = QColor::fromRgba(image.pixel(x, y));
                count += c.alpha() >= 128 && c.lightness() < 60 ? 1 : 0;
            }
        return count;
    }

    static double meanSaturation(const QImage &image)
    {
        double sum = 0;
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = QColor::fromRgba(image.pixel(x, y));
                if (c.alpha() >= 128) {
                    sum += c.hslSaturationF();
                    ++count;
                }
            }
        return count ? sum / count : 0;
    }

private slots:
    void initTestCase() { initPicturesResource(); }

    void pictureIsDrawnAtIconSizes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("side");
        const QStringList names = {u"alarmclock"_s, u"face_up"_s, u"face_pressed"_s,
            u"face_disabled"_s, u"exit"_s, u"calvenza"_s};
        for (const QString &name : names) {
            for (int side : {32, 256}) {
                const QString path = u":/calvenza/pictures/"_s + name + u".svg"_s;
                QTest::addRow("%s@%d", qPrintable(name), side) << path << side;
            }
        }
    }

    void pictureIsDrawnAtIconSizes()
    {
        QFETCH(QString, path);
        QFETCH(int, side);

        QSvgRenderer renderer(path);
        QVERIFY2(renderer.isValid(), qPrintable(path));
        // Drawn for square buttons and icon slots: a stretched picture would look wrong.
        const QSizeF box = renderer.viewBoxF().size();
        QVERIFY(!box.isEmpty());
        QCOMPARE(box.width(), box.height());

        const QImage image = render(path, side);
        const int painted = opaquePixels(image, image.rect());
        // A quarter of the square at least, so the picture is not a speck lost in its button.
        QVERIFY2(painted * 4 >= side * side, qPrintable(QString::number(painted)));
        // Transparent corners: the picture sits on the button's own face, not on a white tile.
        QVERIFY(painted < side * side);

        QSet<QRgb> colours;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 1, "una figura di un solo colore non ha contorno");
    }

    void pressedFaceHasNoMouth()
    {
        // The band below the eyes, where the smile is drawn.
        const QRect mouthBand(8, 18, 16, 8);
        const QImage up = render(u":/calvenza/pictures/face_up.svg"_s, 32);
        const QImage pressed = render(u":/calvenza/pictures/face_pressed.svg"_s, 32);
        QVERIFY(darkPixels(up, mouthBand) >= 6);
        QCOMPARE(darkPixels(pressed, mouthBand), 0);
        // Same face otherwise: the eyes are where they were.
        const QRect eyes(8, 8, 16, 8);
        QCOMPARE(darkPixels(pressed, eyes), darkPixels(up, eyes));
    }

    void disabledFaceLooksGreyerThanTheLiveOne()
    {
        const QImage up = render(u":/calvenza/pictures/face_up.svg"_s, 32);
        const QImage disabled = render(u":/calvenza/pictures/face_disabled.svg"_s, 32);
        QVERIFY(meanSaturation(disabled) < meanSaturation(up) / 2);
        // Its open mouth is a hole of light in the lower half, unlike the smile's line.
        const QColor mouth = QColor::fromRgba(disabled.pixel(16, 22));
        QVERIFY2(mouth.lightness() > 200, qPrintable(mouth.name()));
    }

    void programIconIsAnOpaqueTile()
    {
        // Desktops put the icon on any background, light or dark: only the rounded corners and a
        // thin margin show it.
        const QImage big = render(u":/calvenza/pictures/calvenza.svg"_s, 256);
        const int painted = opaquePixels(big, big.rect());
        QVERIFY2(painted * 100 >= 256 * 256 * 88, qPrintable(QString::number(painted)));
        QCOMPARE(qAlpha(big.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(big.pixel(128, 128)), 255);
    }
};

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"

#include "wizard/wizardartwork.h"
#include "wizard/wizardpose.h"

#include <QTest>

using namespace calvenza;

namespace {
// Pixels that differ between two renderings of one size, or (with no second image) that are
// clearly painted.
int countPixels(const QImage &a, const QImage &b = {})
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += b.isNull() ? qAlpha(a.pixel(x, y)) > 128 : a.pixel(x, y) != b.pixel(x, y);
    return n;
}
} // namespace

class WizardArtTest : public QObject
{
    Q_OBJECT
private:
    WizardArtwork m_art;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_art.isValid(), qPrintable(m_art.errorString()));
        m_art.setHeight(205);
    }

    void wizardFillsHisFrameAtTheAskedHeight()
    {
        QCOMPARE(m_art.pixelSize(), QSize(196, 205));
        const QImage rest = m_art.render({});
        QCOMPARE(rest.size(), QSize(196, 205));
        // A figure, not a box.
        const int covered = countPixels(rest);
        QVERIFY2(covered > 196 * 205 / 5 && covered < 196 * 205 / 2,
            qPrintable(QString::number(covered)));
        // Corners stay see-through.
        QCOMPARE(qAlpha(rest.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(rest.pixel(195, 0)), 0);
    }

    void missingArtworkIsReportedInItalian()
    {
        WizardArtwork missing(QStringLiteral(":/nowhere/none.svg"));
        QVERIFY(!missing.isValid());
        QVERIFY(missing.errorString().contains(QStringLiteral("Disegno del mago")));
        missing.setHeight(205);
        QCOMPARE(missing.pixelSize(), QSize());
    }

    void namesMatchWhateverTheirCase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("animation"); // -1: not one of his
        QTest::newRow("Announce") << QStringLiteral("Announce") << int(WizardAnimation::Announce);
        QTest::newRow("GREET") << QStringLiteral("GREET") << int(WizardAnimation::Greet);
        QTest::newRow("congratulate")
            << QStringLiteral("congratulate") << int(WizardAnimation::Congratulate);
        QTest::newRow("DoMagic1") << QStringLiteral("DoMagic1") << int(WizardAnimation::DoMagic1);
        QTest::newRow("domagic2") << QStringLiteral("domagic2") << int(WizardAnimation::DoMagic2);
        QTest::newRow("spaces") << QStringLiteral(" Greet ") << int(WizardAnimation::Greet);
        QTest::newRow("domagic3") << QStringLiteral("domagic3") << -1;
        QTest::newRow("appear is internal") << QStringLiteral("Appear") << -1;
        QTest::newRow("empty") << QString() << -1;
    }
    void namesMatchWhateverTheirCase()
    {
        QFETCH(QString, name);
        QFETCH(int, animation);
        const auto found = animationByName(name);
        QCOMPARE(found ? int(*found) : -1, animation);
    }

    void everyAnimationMovesAndComesBackToRest_data()
    {
        QTest::addColumn<int>("animation");
        for (auto a : {WizardAnimation::Appear, WizardAnimation::Announce, WizardAnimation::Greet,
                 WizardAnimation::Congratulate, WizardAnimation::DoMagic1,
                 WizardAnimation::DoMagic2, WizardAnimation::Breathe})
            QTest::newRow(qPrintable(QString::number(int(a)))) << int(a);
    }
    void everyAnimationMovesAndComesBackToRest()
    {
        QFETCH(int, animation);
        const auto a = WizardAnimation(animation);
        const int ms = animationDurationMs(a);
        QVERIFY(ms >= 800 && ms <= 2500);
        const QImage rest = m_art.render({});
        // Visibly different somewhere in the middle...
        int most = 0;
        for (qreal t = 0.1; t < 0.95; t += 0.1)
            most = qMax(most, countPixels(rest, m_art.render(poseAt(a, t))));
        QVERIFY2(most > 150, qPrintable(QString::number(most)));
        // ...and no jump when it ends and he stands at rest again.
        QVERIFY(countPixels(rest, m_art.render(poseAt(a, 1.0))) < 20);
    }

    void faceShapesAreAllDifferent()
    {
        QList<QImage> faces;
        for (int m = 0; m < mouthShapes; ++m) {
            WizardPose p;
            p.mouth = m;
            faces << m_art.render(p);
        }
        WizardPose blink;
        blink.eyesClosed = true;
        faces << m_art.render(blink);
        for (int i = 0; i < faces.size(); ++i)
            for (int j = i + 1; j < faces.size(); ++j)
                QVERIFY2(countPixels(faces[i], faces[j]) > 10,
                    qPrintable(QStringLiteral("%1 and %2").arg(i).arg(j)));
    }

    void louderVoiceOpensTheMouthWider_data()
    {
        QTest::addColumn<float>("level");
        QTest::addColumn<int>("mouth");
        QTest::newRow("breath") << 0.01f << 0;
        QTest::newRow("soft") << 0.05f << 1;
        QTest::newRow("loud") << 0.4f << 3;
        QTest::newRow("beyond full scale") << 2.0f << 3;
    }
    void louderVoiceOpensTheMouthWider()
    {
        QFETCH(float, level);
        QFETCH(int, mouth);
        QCOMPARE(mouthForLevel(level), mouth);
    }
};

QTEST_MAIN(WizardArtTest)
#include "tst_wizardart.moc"

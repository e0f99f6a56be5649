#include "narrator/numberwords.h"

#include <QTest>

using namespace calvenza;

class NumberWordsTest : public QObject
{
    Q_OBJECT
private slots:
    // Every factor the window spells, then how the rest is built, and where words stop.
    void numbersAreSpelledByTheirWholePart_data()
    {
        QTest::addColumn<qint64>("scaled");
        QTest::addColumn<QString>("words");
        const std::pair<qint64, const char *> wholes[] = {{1, "uno"}, {2, "due"}, {3, "tre"},
            {4, "quattro"}, {5, "cinque"}, {6, "sei"}, {7, "sette"}, {8, "otto"}, {9, "nove"},
            {10, "dieci"}, {17, "diciassettte"}, {21, "ventuno"}, {22, "ventidue"},
            {28, "ventotto"}, {80, "ottanta"}, {108, "centootto"}, {181, "centoottantuno"},
            {1000, "mille"}, {2000, "duemila"}, {1000000, "unmilione"}, {1000000000, "unmiliardo"},
            {2500000000, "duemiliardicinquecentomilioni"},
            {999000000999, "novecentonovantanovemiliardinovecentonovantanove"}, {1000000000000, ""},
            {0, ""}, {-1, ""}};
        for (const auto &[whole, words] : wholes)
            QTest::addRow("%lld", whole)
                << Currency::fromWhole(whole).scaled << QString::fromUtf8(words);
        // Only the whole part is spoken, rounded down.
        QTest::newRow("0.5") << qint64(5000) << QString();
        QTest::newRow("12.75") << qint64(127500) << QStringLiteral("dodici");
        QTest::newRow("-0.5") << qint64(-5000) << QString();
    }
    void numbersAreSpelledByTheirWholePart()
    {
        QFETCH(qint64, scaled);
        QFETCH(QString, words);
        QCOMPARE(numlett(Currency {scaled}), words);
    }
};

QTEST_GUILESS_MAIN(NumberWordsTest)
#include "tst_numberwords.moc"

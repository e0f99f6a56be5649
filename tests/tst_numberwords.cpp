#include "narrator/numberwords.h"

#include <QTest>

using namespace calvenza;

class NumberWordsTest : public QObject
{
    Q_OBJECT
private slots:
    // From the text of a box, as the window does: every factor, then how the rest is built.
    void numbersAreSpelledFromTheirText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words");
        const std::pair<const char *, const char *> rows[]
            = {{"1", "uno"}, {"2", "due"}, {"3", "tre"}, {"4", "quattro"}, {"5", "cinque"},
                {"6", "sei"}, {"7", "sette"}, {"8", "otto"}, {"9", "nove"}, {"10", "dieci"},
                {"17", "diciassettte"}, {"21", "ventuno"}, {"22", "ventidue"}, {"28", "ventotto"},
                {"80", "ottanta"}, {"108", "centootto"}, {"181", "centoottantuno"},
                {"1000", "mille"}, {"2000", "duemila"}, {"1000000", "unmilione"},
                {"1000000000", "unmiliardo"}, {"2500000000", "duemiliardicinquecentomilioni"},
                {"999000000999", "novecentonovantanovemiliardinovecentonovantanove"},
                {"1000000000000", ""}, {"0", ""}, {"-1", ""}, {"0.5", ""}, {"12.75", "dodici"},
                {"1e300", ""}, {"sette", ""}};
        for (const auto &[text, words] : rows)
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(words);
    }
    void numbersAreSpelledFromTheirText()
    {
        QFETCH(QString, text);
        QFETCH(QString, words);
        QCOMPARE(numlett(Currency::fromText(text)), words);
    }
};

QTEST_GUILESS_MAIN(NumberWordsTest)
#include "tst_numberwords.moc"

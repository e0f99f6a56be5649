#include "narrator/numberwords.h"

#include <QTest>

using namespace calvenza;

class NumberWordsTest : public QObject
{
    Q_OBJECT
private slots:
    // Spelled from the text of a box, as the window does.
    void numbersAreSpelledFromTheirText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words");
        const auto row = [](const char *text, const char *words) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(words);
        };
        const char *factors[]
            = {"uno", "due", "tre", "quattro", "cinque", "sei", "sette", "otto", "nove", "dieci"};
        for (int n = 1; n <= 10; ++n)
            row(QByteArray::number(n).constData(), factors[n - 1]);
        row("17", "diciassettte");
        row("21", "ventuno");
        row("22", "ventidue");
        row("28", "ventotto");
        row("80", "ottanta");
        row("108", "centootto");
        row("181", "centoottantuno");
        row("1000", "mille");
        row("2000", "duemila");
        row("1000000", "unmilione");
        row("2001000", "duemilionimille");
        row("1000000000", "unmiliardo");
        row("2500000000", "duemiliardicinquecentomilioni");
        row("999999999999",
            "novecentonovantanovemiliardinovecentonovantanovemilioni"
            "novecentonovantanovemilanovecentonovantanove");
        row("1000000000000", "");
        row("0", "");
        row("-1", "");
        row("-0.5", "");
        row("0.5", "");
        row("12.75", "dodici");
        row("1e300", "");
        row("sette", "");
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

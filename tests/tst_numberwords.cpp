#include "narrator/numberwords.h"

#include <QTest>

using namespace calvenza;

class NumberWordsTest : public QObject
{
    Q_OBJECT
private slots:
    void wholeNumbersAreSpelled_data()
    {
        QTest::addColumn<qint64>("number");
        QTest::addColumn<QString>("words");
        const auto row = [](qint64 n, const char *w) {
            QTest::addRow("%lld", n) << n << QString::fromUtf8(w);
        };
        row(0, "");
        row(1, "uno");
        row(8, "otto");
        row(10, "dieci");
        row(17, "diciassettte");
        row(20, "venti");
        row(21, "ventuno");
        row(22, "ventidue");
        row(28, "ventotto");
        row(33, "trentatre");
        row(48, "quarantotto");
        row(80, "ottanta");
        row(88, "ottantotto");
        row(91, "novantuno");
        row(100, "cento");
        row(101, "centouno");
        row(108, "centootto");
        row(117, "centodiciassettte");
        row(180, "centoottanta");
        row(181, "centoottantuno");
        row(300, "trecento");
        row(800, "ottocento");
        row(999, "novecentonovantanove");
        row(1000, "mille");
        row(1001, "milleuno");
        row(2000, "duemila");
        row(21000, "ventunomila");
        row(101000, "centounomila");
        row(1000000, "unmilione");
        row(1001000, "unmilionemille");
        row(2001000, "duemilionimille");
        row(21000000, "ventunomilioni");
        row(1000000000, "unmiliardo");
        row(1000000001, "unmiliardouno");
        row(2500000000, "duemiliardicinquecentomilioni");
        row(999999999999,
            "novecentonovantanovemiliardinovecentonovantanovemilioni"
            "novecentonovantanovemilanovecentonovantanove");
    }
    void wholeNumbersAreSpelled()
    {
        QFETCH(qint64, number);
        QFETCH(QString, words);
        QCOMPARE(numlett(Currency::fromWhole(number)), words);
    }

    // Decimals are dropped, negatives and numbers past the table say nothing, and the largest
    // currency values neither fail nor read outside the table.
    void outOfRangeAndFractionalValues_data()
    {
        QTest::addColumn<qint64>("scaled");
        QTest::addColumn<QString>("words");
        QTest::newRow("12.75") << qint64(127500) << QStringLiteral("dodici");
        QTest::newRow("0.5") << qint64(5000) << QString();
        QTest::newRow("8.9999") << qint64(89999) << QStringLiteral("otto");
        QTest::newRow("-1") << qint64(-10000) << QString();
        QTest::newRow("-0.5") << qint64(-5000) << QString();
        QTest::newRow("10^12") << qint64(1'000'000'000'000) * 10000 << QString();
        QTest::newRow("max") << std::numeric_limits<qint64>::max() << QString();
        QTest::newRow("min") << std::numeric_limits<qint64>::min() << QString();
    }
    void outOfRangeAndFractionalValues()
    {
        QFETCH(qint64, scaled);
        QFETCH(QString, words);
        QCOMPARE(numlett(Currency {scaled}), words);
    }

    void everyFactorOfTheTableHasItsWord()
    {
        const QStringList expected {QStringLiteral("uno"), QStringLiteral("due"),
            QStringLiteral("tre"), QStringLiteral("quattro"), QStringLiteral("cinque"),
            QStringLiteral("sei"), QStringLiteral("sette"), QStringLiteral("otto"),
            QStringLiteral("nove"), QStringLiteral("dieci")};
        for (int n = 1; n <= 10; ++n) {
            bool ok = false;
            const Currency c = Currency::fromText(QString::number(n), &ok);
            QVERIFY(ok);
            QCOMPARE(numlett(c), expected.at(n - 1));
        }
    }

    void textThatIsNoNumberIsRejected_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("scaled");
        QTest::newRow("digits") << QStringLiteral("7") << true << qint64(70000);
        QTest::newRow("decimal") << QStringLiteral("1.23456") << true << qint64(12346);
        QTest::newRow("words") << QStringLiteral("sette") << false << qint64(0);
        QTest::newRow("empty") << QString() << false << qint64(0);
        QTest::newRow("huge") << QStringLiteral("1e300") << false << qint64(0);
    }
    void textThatIsNoNumberIsRejected()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, scaled);
        bool parsed = !ok;
        QCOMPARE(Currency::fromText(text, &parsed).scaled, scaled);
        QCOMPARE(parsed, ok);
    }
};

QTEST_GUILESS_MAIN(NumberWordsTest)
#include "tst_numberwords.moc"

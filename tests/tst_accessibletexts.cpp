#include "app/accessibletexts.h"

#include <QTest>

using namespace calvenza;

Q_DECLARE_METATYPE(calvenza::Counters)

class AccessibleTextsTest : public QObject
{
    Q_OBJECT

private slots:
    void timeLeftIsSpokenInMinutesAndSeconds_data()
    {
        QTest::addColumn<int>("secondsLeft");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("armed") << 420 << "Tempo restante 7 minuti";
        QTest::newRow("both") << 416 << "Tempo restante 6 minuti e 56 secondi";
        QTest::newRow("one and one") << 61 << "Tempo restante 1 minuto e 1 secondo";
        QTest::newRow("seconds") << 40 << "Tempo restante 40 secondi";
        QTest::newRow("over") << -3 << "Tempo restante 0 secondi";
    }
    void timeLeftIsSpokenInMinutesAndSeconds()
    {
        QFETCH(int, secondsLeft);
        QFETCH(QString, spoken);
        QCOMPARE(spokenTimeLeft(secondsLeft), spoken);
    }

    // The verdict with the whole fact, the wizard's name and praise for the score before the
    // answer, the counters after it.
    void judgementCarriesFactWordsAndCounters_data()
    {
        QTest::addColumn<bool>("right");
        QTest::addColumn<Counters>("counters");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("first right") << true << Counters {1, 0}
                                     << "Esatto, 8 per sette fa 56. Risposte esatte 1, errate 0, "
                                        "totali 1. Usa il tasto";
        QTest::newRow("third right: praise") << true << Counters {3, 2}
                                             << "Esatto, 8 per sette fa 56. Sei grande. "
                                                "Risposte esatte 3, errate 2, totali 5";
        QTest::newRow("fourth right: name") << true << Counters {4, 0}
                                            << "Esatto, 8 per sette fa 56. Ugo. Risposte "
                                               "esatte 4, errate 0, totali 4";
        QTest::newRow("wrong") << false << Counters {0, 1}
                               << "Sbagliato, 8 per sette fa 56. Risposte esatte 0, errate 1, "
                                  "totali 1. Usa il tasto";
    }
    void judgementCarriesFactWordsAndCounters()
    {
        QFETCH(bool, right);
        QFETCH(Counters, counters);
        QFETCH(QString, spoken);
        const Judgement judgement {right, QString(), counters};
        const QString hint = counters.total() == 1 ? QStringLiteral("Usa il tasto") : QString();
        QCOMPARE(
            judgementDescription(judgement, {8, 7, 56, 1}, QStringLiteral("Ugo"), hint), spoken);
    }

    void answerBoxAndRecordSayWhatTheWindowShows()
    {
        QCOMPARE(answerBoxDescription({8, 10, 80, 1}, 416, QStringLiteral("Scrivi")),
            QStringLiteral("8 per dieci. Tempo restante 6 minuti e 56 secondi. Scrivi"));
        QCOMPARE(answerBoxDescription({7, 1, 7, 1}, std::nullopt, QString()),
            QStringLiteral("7 per uno"));
        QCOMPARE(recordDescription(QStringLiteral("12\r\n"), QStringLiteral("Ugo  Neri\r\n")),
            QStringLiteral("Il record è di Ugo Neri con punti 12"));
        QCOMPARE(recordDescription(QString(), QString()), QStringLiteral("Nessun record per ora"));
    }
};

QTEST_APPLESS_MAIN(AccessibleTextsTest)
#include "tst_accessibletexts.moc"

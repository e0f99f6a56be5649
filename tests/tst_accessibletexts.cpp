#include "app/accessibletexts.h"

#include <QTest>

using namespace calvenza;

class AccessibleTextsTest : public QObject
{
    Q_OBJECT

private slots:
    // The verdict with the whole fact, the wizard's name and praise for the score before the
    // answer, the counters after it, and the hint only after the first answer.
    void judgementCarriesFactWordsAndCounters_data()
    {
        QTest::addColumn<bool>("right");
        QTest::addColumn<int>("rights");
        QTest::addColumn<int>("wrongs");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("first, wrong") << false << 0 << 1
                                      << "Sbagliato, 8 per sette fa 56. Risposte esatte 0, "
                                         "errate 1, totali 1. Premi Invio per il prossimo "
                                         "esercizio";
        QTest::newRow("third right: praise") << true << 3 << 2
                                             << "Esatto, 8 per sette fa 56. Sei grande. Risposte "
                                                "esatte 3, errate 2, totali 5";
        QTest::newRow("fourth right: name") << true << 4 << 0
                                            << "Esatto, 8 per sette fa 56. Ugo. Risposte esatte "
                                               "4, errate 0, totali 4";
    }
    void judgementCarriesFactWordsAndCounters()
    {
        QFETCH(bool, right);
        QFETCH(int, rights);
        QFETCH(int, wrongs);
        QFETCH(QString, spoken);
        const Judgement judgement {right, QString(), {qint16(rights), qint16(wrongs)}};
        QCOMPARE(judgementDescription(
                     judgement, {8, 7, 56, 1}, QStringLiteral("Ugo"), rights + wrongs == 1),
            spoken);
    }

    // The clock in a challenge, the questions left in a ripasso; the record as stored.
    void answerBoxAndRecordSayWhatTheWindowShows()
    {
        QCOMPARE(answerBoxDescription({8, 10, 80, 1}, spokenTimeLeft(416), true),
            QStringLiteral("8 per dieci. Tempo restante 6 minuti e 56 secondi. Scrivi il risultato "
                           "e premi Invio"));
        QCOMPARE(answerBoxDescription({7, 2, 14, 1}, spokenQuestionsLeft(1), false),
            QStringLiteral("7 per due. Ultima domanda"));
        QCOMPARE(recordDescription(QStringLiteral("12\r\n"), QStringLiteral("Ugo  Neri\r\n")),
            QStringLiteral("Il record è di Ugo Neri, con 12 punti"));
        QCOMPARE(recordDescription(QStringLiteral("1"), QStringLiteral("Eva")),
            QStringLiteral("Il record è di Eva, con 1 punto"));
        QCOMPARE(recordDescription(QString(), QString()), QStringLiteral("Nessun record per ora"));
    }
};

QTEST_APPLESS_MAIN(AccessibleTextsTest)
#include "tst_accessibletexts.moc"

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
                                         "errate 1, totali 1. Usa il tasto";
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
        const QString hint = rights + wrongs == 1 ? QStringLiteral("Usa il tasto") : QString();
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

#include "challenge/challengemode.h"
#include "challenge/recordstore.h"
#include "drill/drillsession.h"
#include "drill/lesson.h"
#include "ripasso/ripassomode.h"
#include "support.h"

#include <QDir>
#include <QPromise>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace calvenza;
using namespace calvenza::testing;

// The drill's flow, driven as the window drives it, with no window at all.
class DrillSessionTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingNarrator> m_narrator;
    ScriptedRandom m_random;
    std::unique_ptr<DrillSession> s;
    ChallengeMode *m_challenge = nullptr;
    QStringList m_messages;
    QStringList m_details;
    std::function<void(const QString &)> m_onMessage;

    QString file(const char *name) const { return m_dir->filePath(QLatin1String(name)); }
    void make(int table = defaultTable)
    {
        auto mode = std::make_unique<ChallengeMode>(table);
        m_challenge = mode.get();
        make(std::move(mode));
    }
    void make(std::unique_ptr<SessionMode> mode)
    {
        s = std::make_unique<DrillSession>(*m_narrator, m_random, std::move(mode));
        connect(s.get(), &DrillSession::message, this,
            [this](const QString &text, const QString &details) {
                m_messages << text;
                m_details << details;
                if (m_onMessage)
                    m_onMessage(text);
            });
    }
    // Started, on screen and painted, the first exercise (8 x 7) dictated.
    void begin(const QString &name = QStringLiteral("Ugo"), int table = defaultTable)
    {
        make(table);
        s->start(name, m_dir->path());
        m_random.values = {drawing(2), drawing(7)};
        s->windowOnScreen();
        s->releaseNarrator();
        QTRY_COMPARE(s->state(), DrillSession::State::Asking);
        m_messages.clear();
        m_details.clear();
    }
    void answer(const QString &typed, int nextFactor = 7)
    {
        s->checkAnswer(typed);
        m_random.values = {drawing(3), drawing(nextFactor)};
        s->newExercise();
    }
    void score(int rights)
    {
        for (int i = 0; i < rights; ++i)
            answer(QString::number(s->exercise().product));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_narrator = std::make_unique<RecordingNarrator>();
        m_random.values.clear();
        m_messages.clear();
        m_details.clear();
        m_onMessage = nullptr;
        s.reset();
    }

    // He waits for the window's first paint, then introduces the drill and dictates, in order.
    void theWizardComesInOncePaintedWithTheIntroductionFirst()
    {
        make();
        s->start(QStringLiteral("Ugo"), m_dir->path());
        QCOMPARE(m_narrator->log, QStringList {QStringLiteral("Summon")});
        s->windowOnScreen();
        s->windowOnScreen();
        QTRY_COMPARE(s->state(), DrillSession::State::Asking);
        QCOMPARE(m_narrator->log.size(), 1);
        s->releaseNarrator();
        QCOMPARE(m_narrator->log.mid(1, 5),
            (QStringList {QStringLiteral("Show"), QStringLiteral("MoveTo 250,175"),
                QStringLiteral("Play Announce"), QStringLiteral("Height 205"),
                QStringLiteral("Speak ") + introduction(8)}));
        QCOMPARE(m_narrator->log.count(QStringLiteral("Speak per")), 1);
        QCOMPARE(m_narrator->dropsAt, QList<qsizetype> {}); // the first exercise waits its turn
        QCOMPARE(m_challenge->clock().secondsLeft, 420);
    }

    void exerciseIsDictatedAndJudged_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("factor");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("verdict");
        const QString right = QStringLiteral("Esatto. Sei forte!!!");
        QTest::newRow("8x7") << 8 << 7 << "sette"
                             << "56" << right;
        QTest::newRow("leading blank") << 8 << 7 << "sette"
                                       << " 56"
                                       << "Sbagliato!! 56";
        QTest::newRow("not a number") << 8 << 1 << "uno"
                                      << "otto"
                                      << "Sbagliato!! 8";
        QTest::newRow("7x3") << 7 << 3 << "tre"
                             << "21" << right;
        QTest::newRow("10x10") << 10 << 10 << "dieci"
                               << "99"
                               << "Sbagliato!! 100";
    }
    void exerciseIsDictatedAndJudged()
    {
        QFETCH(int, table);
        QFETCH(int, factor);
        QFETCH(QString, words);
        QFETCH(QString, typed);
        QFETCH(QString, verdict);
        begin(QStringLiteral(" Ugo "), table);
        m_narrator->log.clear();
        m_random.values = {drawing(4), drawing(factor)};
        s->newExercise();
        const QString n = QString::number(table);
        QCOMPARE(m_narrator->log.mid(4),
            (QStringList {QStringLiteral("Speak ") + n, QStringLiteral("Speak per"),
                QStringLiteral("Speak ") + words}));
        QCOMPARE(m_narrator->dropsAt, QList<qsizetype> {0}); // asked by the pupil: stale goes
        QCOMPARE(s->exercise().greenShade, 4);
        QSignalSpy judged(s.get(), &DrillSession::answerJudged);
        QSignalSpy answered(s.get(), &DrillSession::answered);
        s->checkAnswer(typed);
        const QStringList heard = m_narrator->log;
        // Judged once: Enter again before the next exercise counts, says and stores nothing.
        s->checkAnswer(QString::number(table * factor));
        QCOMPARE(judged.size(), 1);
        QCOMPARE(answered.size(), 1);
        QCOMPARE(m_narrator->log, heard);
        const auto j = judged.at(0).at(0).value<Judgement>();
        const bool isRight = verdict.startsWith(u'E');
        QCOMPARE(j.verdict, verdict);
        QCOMPARE(j.counters.right, int(isRight));
        QCOMPARE(j.counters.total(), 1);
        QCOMPARE(m_narrator->log.last(), QStringLiteral("Speak %1").arg(table * factor));
        const auto a = answered.at(0).at(0).value<AnswerRecord>();
        QCOMPARE(a.pupil, QStringLiteral("Ugo"));
        QCOMPARE(QList<int>({a.table, a.factor}), QList<int>({table, factor}));
        QCOMPARE(a.typed, typed);
        QCOMPARE(a.right, isRight);
        QVERIFY(a.msTaken >= 0 && a.answeredAt.isValid() && a.mode == DrillMode::Challenge);
    }

    // Answered while he still introduces the drill: his next words are the reaction (what has not
    // begun is dropped), and the time is unknown, since the exercise was not asked yet. Once he
    // has finished, the time runs from the exercise on screen.
    void anAnswerDuringTheIntroductionIsAnsweredAtOnceAndNotTimed()
    {
        begin(); // the introduction (script 1) and the first dictation are still his to say
        QSignalSpy answered(s.get(), &DrillSession::answered);
        const qsizetype reactionAt = m_narrator->log.size();
        s->checkAnswer(QStringLiteral("1"));
        QCOMPARE(m_narrator->dropsAt, QList<qsizetype> {reactionAt});
        QCOMPARE(answered.at(0).at(0).value<AnswerRecord>().msTaken, -1);
        emit m_narrator->scriptDone(1);
        m_random.values = {drawing(3), drawing(4)};
        s->newExercise();
        QTest::qWait(30);
        s->checkAnswer(QStringLiteral("32"));
        QVERIFY(answered.at(1).at(0).value<AnswerRecord>().msTaken >= 30);
    }

    // The ladder counts from the score before each answer; wrong answers leave it alone.
    void praiseFollowsTheScoreThroughAMixedRun()
    {
        begin();
        score(2);
        answer(QStringLiteral("1"));
        m_narrator->log.clear();
        score(1); // score 2 before this answer
        QVERIFY(m_narrator->log.contains(QStringLiteral("Speak Sei grande")));
        QCOMPARE(s->counters().total(), 4);
        QCOMPARE(s->counters().wrong, 1);
    }

    void clockRunsDownAndTheTickAfterZeroSaysGoodbyeOnce()
    {
        begin();
        QSignalSpy shown(s.get(), &DrillSession::clockChanged);
        for (int tick = 1; tick <= 420; ++tick)
            m_challenge->tick();
        QCOMPARE(shown.size(), 420);
        for (const auto &[tick, caption] :
            {std::pair {1, "00:06:59"}, {60, "00:06:00"}, {61, "00:05:59"}, {420, "00:00:00"}})
            QCOMPARE(shown.at(tick - 1).at(0).toString(), QLatin1String(caption));
        QVERIFY(!s->hasEnded());
        QSignalSpy ended(s.get(), &DrillSession::ended);
        m_onMessage = [this](const QString &) { m_challenge->tick(); };
        m_challenge->tick();
        m_challenge->tick();
        QCOMPARE(m_messages, QStringList {farewell});
        QCOMPARE(ended.count(), 1);
        QVERIFY(m_narrator->stopped);
    }

    void startUpWarningsTakeNothingFromTheSevenMinutes()
    {
        put(file("blocked"), "a file, not a folder");
        make();
        // Seconds pass while the pupil reads each warning (the clock runs from before them).
        m_onMessage = [this](const QString &) {
            for (int i = 0; i < 5; ++i)
                m_challenge->tick();
        };
        s->start(QStringLiteral("Eva"), file("blocked"),
            {QStringLiteral("Niente storia."), QStringLiteral("disk I/O error")});
        QCOMPARE(m_messages.size(), 1); // the record and the history share one box
        // A sentence for the child; the system's words and the path for a grown-up.
        QVERIFY(
            m_messages.at(0).startsWith(QStringLiteral("Oggi non riesco a ricordare il record")));
        QVERIFY(m_messages.at(0).endsWith(QStringLiteral("\nNiente storia.")));
        QVERIFY(!m_messages.at(0).contains(file("blocked")));
        QVERIFY(m_details.at(0).contains(QStringLiteral("blocked")));
        QVERIFY(m_details.at(0).endsWith(QStringLiteral("disk I/O error")));
        QCOMPARE(m_challenge->clock().secondsLeft, 420);
        m_onMessage = nullptr;
        s->windowOnScreen();
        s->releaseNarrator();
        QTRY_COMPARE(s->state(), DrillSession::State::Asking); // the drill goes on
    }

    void farewellStoresOnlyABeatenRecord_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("rights");
        QTest::addColumn<bool>("beaten");
        QTest::newRow("no record yet") << QByteArray() << 1 << true;
        QTest::newRow("no answers") << QByteArray() << 0 << false;
        QTest::newRow("equal") << QByteArray("3\r\n") << 3 << false;
        QTest::newRow("one more") << QByteArray("3\r\n") << 4 << true;
        QTest::newRow("not a number") << QByteArray("tre\r\n") << 1 << true;
        QTest::newRow("spaced digits") << QByteArray("1 2\r\n") << 5 << false;
    }
    void farewellStoresOnlyABeatenRecord()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, rights);
        QFETCH(bool, beaten);
        put(file("atabkesr8.txt"), stored);
        begin(QStringLiteral("Niccolò"));
        score(rights);
        QSignalSpy challenges(s.get(), &DrillSession::challengeEnded);
        s->sayGoodbye();
        const QStringList boxes
            = beaten ? QStringList {farewell, recordSaved} : QStringList {farewell};
        QCOMPARE(m_messages, boxes);
        QCOMPARE(
            bytesOf(file("atabkesr8.txt")), beaten ? QByteArray::number(rights) + "\r\n" : stored);
        QVERIFY(s->hasEnded() && m_narrator->stopped);
        const auto c = challenges.at(0).at(0).value<ChallengeRecord>();
        QCOMPARE(QList<int>({c.right, c.wrong, int(c.setRecord)}), QList<int>({rights, 0, beaten}));
    }

    void failedSaveIsToldAndKeepsTheOldRecord()
    {
        put(file("atabkesr8.txt"), "4\r\n");
        begin();
        score(5);
        QVERIFY(QFile::remove(file("ntabkesr8.txt")) && QDir().mkdir(file("ntabkesr8.txt")));
        s->sayGoodbye();
        QVERIFY(m_messages.last().startsWith(
            QStringLiteral("Mi dispiace, non sono riuscito a salvare il tuo record")));
        QCOMPARE(bytesOf(file("atabkesr8.txt")), QByteArray("4\r\n"));
    }

    void endingWithoutFarewellStoresNothingAndStopsEverything()
    {
        begin();
        score(3);
        s->end();
        s->newExercise();
        s->checkAnswer(QStringLiteral("56"));
        s->sayGoodbye();
        m_challenge->tick();
        QCOMPARE(m_messages, QStringList());
        QCOMPARE(s->counters().right, 3);
        QCOMPARE(bytesOf(file("atabkesr8.txt")), QByteArray());
    }

    // A ripasso: the lesson chooses, a miss is corrected with the whole fact, no clock and no
    // record, every answer marked as ripasso, and the end tells how many facts went up. Its
    // lesson comes later (from the school's server): the wizard introduces meanwhile.
    void ripassoAsksTheLessonsFactsCorrectsAndEnds()
    {
        auto *lesson = new ScriptedLesson;
        lesson->facts = {{8, 7}, {6, 3}};
        lesson->risen = {{6, 3}};
        QPromise<std::shared_ptr<LessonPlan>> later;
        QString pupilAsked;
        make(std::make_unique<RipassoMode>([&](const QString &pupil) {
            pupilAsked = pupil;
            return later.future();
        }));
        QSignalSpy left(s.get(), &DrillSession::questionsLeftChanged);
        QSignalSpy answered(s.get(), &DrillSession::answered);
        QSignalSpy finished(s.get(), &DrillSession::lessonFinished);
        QSignalSpy clock(s.get(), &DrillSession::clockChanged);
        later.start();
        s->start(QStringLiteral("Ugo "), m_dir->path());
        s->windowOnScreen();
        s->releaseNarrator();
        QTest::qWait(20);
        QCOMPARE(s->state(), DrillSession::State::Beginning);
        QCOMPARE(m_narrator->log.at(5), QStringLiteral("Speak ") + lessonIntroduction());
        QCOMPARE(pupilAsked, QStringLiteral("Ugo"));
        later.addResult(std::shared_ptr<LessonPlan>(lesson));
        later.finish();
        QTRY_COMPARE(s->state(), DrillSession::State::Asking);
        QCOMPARE(s->exercise().factor, 7);
        s->checkAnswer(QStringLiteral("54"));
        QCOMPARE(m_narrator->log.mid(m_narrator->log.size() - 3),
            (QStringList {QStringLiteral("Height 205"), QStringLiteral("Speak Sbagliato"),
                QStringLiteral("Speak 8 per sette fa 56")}));
        s->newExercise();
        QCOMPARE(s->exercise().table * 10 + s->exercise().factor, 63);
        s->checkAnswer(QStringLiteral("18"));
        s->newExercise();
        QCOMPARE(s->state(), DrillSession::State::LessonOver);
        QVERIFY(m_narrator->log.last().contains(u"Adesso conosci meglio 6 per tre."));
        QVERIFY(m_narrator->log.last().contains(u"su 8 per sette")); // missed: to practise
        QCOMPARE(finished.at(0).at(0).value<QList<Fact>>(), (QList<Fact> {{6, 3}}));
        QCOMPARE(lesson->answers.size(), 2);
        QCOMPARE(lesson->answers.at(0).first, false);
        QCOMPARE(left.last().at(0).toInt(), 0);
        QCOMPARE(answered.at(1).at(0).value<AnswerRecord>().mode, DrillMode::Ripasso);
        QVERIFY(clock.isEmpty());
        s->sayGoodbye();
        QCOMPARE(m_messages, QStringList {farewell});
        QCOMPARE(bytesOf(file("atabkesr8.txt")), QByteArray("<missing>"));
    }
};

QTEST_MAIN(DrillSessionTest)
#include "tst_drillsession.moc"

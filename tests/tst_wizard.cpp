#include "wizard/wizard.h"
#include "wizard/wizardwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace calvenza;
using namespace Qt::Literals::StringLiterals;

const QString greeting = u"Ciao! Io sono Merlino, il mago delle tabelline."_s;

// His clock is stepped by hand: minutes of speech and motion pass in a moment.
class WizardTest : public QObject
{
    Q_OBJECT
private:
    std::shared_ptr<SteppedClock> m_clock;
    std::unique_ptr<Wizard> m_wizard;
    QList<quint64> m_done;
    qsizetype m_performed = 0;
    QHash<quint64, qint64> m_doneMs;

    void build(bool translucent = true)
    {
        cleanup(); // one stepped clock at a time
        m_clock = std::make_shared<SteppedClock>();
        WizardOptions options;
        options.clock = m_clock;
        options.translucencyWorks = [translucent] { return translucent; };
        m_wizard = std::make_unique<Wizard>(options);
        connect(m_wizard.get(), &Wizard::scriptDone, this, [this](quint64 id) {
            m_done << id;
            m_doneMs[id] = m_clock->nowMs();
        });
    }
    quint64 perform(
        const NarratorScript &script, Narrator::Pending pending = Narrator::Pending::Keep)
    {
        ++m_performed;
        return m_wizard->perform(script, pending);
    }
    // Each request on its own: a script of one.
    void performEach(const NarratorScript &script)
    {
        for (const NarratorRequest &r : script)
            perform({r});
    }
    // His window, as the pupil finds it on screen.
    static WizardWindow *window()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *wizard = qobject_cast<WizardWindow *>(w))
                return wizard;
        return nullptr;
    }
    // How long the voice takes to say the text.
    static qint64 spokenMs(const QString &text)
    {
        Voice voice;
        qint64 bytes = 0;
        connect(
            &voice, &Voice::chunk, [&](quint64, const QByteArray &pcm) { bytes += pcm.size(); });
        QSignalSpy finished(&voice, &Voice::finished);
        voice.speak(text);
        finished.wait(5000);
        return pcmDurationUs(bytes) / 1000;
    }
    // Steps the clock until the queue is done (or a signal spy fills).
    // The voice synthesizes on a thread of its own, in real time: on a loaded machine a clock
    // stepped freely would race past it and find his speech late. So the clock never runs more
    // than four times faster than real time (still far slower than the voice on an idle
    // machine), and the bound is real time.
    void runUntilIdle(const QSignalSpy *until = nullptr)
    {
        QElapsedTimer real;
        real.start();
        qint64 steppedMs = 0;
        while ((until ? until->isEmpty() : m_done.size() < m_performed) && real.elapsed() < 30000) {
            m_clock->advance(10);
            steppedMs += 10;
            while (real.elapsed() * 4 < steppedMs)
                QThread::msleep(1);
        }
    }

private slots:
    void init() { build(); }
    void cleanup()
    {
        m_wizard.reset();
        m_clock.reset();
        m_done.clear();
        m_performed = 0;
        m_doneMs.clear();
    }

    // In order, one at a time, each as long as it should take (speech: as long as its audio).
    void requestsRunLaterOneAfterAnotherInOrderAndTakeTheirTime()
    {
        const NarratorScript script {NarratorRequest::show(),
            NarratorRequest::moveTo(narratorX, narratorY), NarratorRequest::height(narratorHeight),
            NarratorRequest::speak(u"sette"_s), NarratorRequest::play(u"Dance"_s),
            NarratorRequest::play(u"aNNounce"_s)};
        performEach(script);
        const quint64 empty = perform({});
        QVERIFY(m_done.isEmpty()); // nothing done inside the calls
        runUntilIdle();
        m_clock->advance(10);
        QCOMPARE(m_done, (QList<quint64> {empty, 1, 2, 3, 4, 5, 6}));
        const qint64 announce = m_doneMs[6] - m_doneMs[5];
        const int announceMs = animationDurationMs(WizardAnimation::Announce);
        QVERIFY(announce >= announceMs && announce < announceMs + 40);
        QCOMPARE(m_doneMs[5], m_doneMs[4]); // "Dance" he does not know
        const qint64 sette = m_doneMs[4] - m_doneMs[3];
        const qint64 setteMs = spokenMs(u"sette"_s);
        QVERIFY(sette >= setteMs && sette < setteMs + 200);
        WizardWindow *w = window(); // where the program put him, as tall as asked
        QCOMPARE(w->geometry().topLeft(), QPoint(narratorX, narratorY));
        QCOMPARE(w->height(), narratorHeight);
        m_clock->advance(2100); // when nothing moves, nothing ticks
        QVERIFY(!w->isMoving());
        QVERIFY(w->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus)
            && w->testAttribute(Qt::WA_ShowWithoutActivating)); // never takes the keyboard
        QVERIFY(w->focusPolicy() == Qt::NoFocus && w->balloon().focusPolicy() == Qt::NoFocus);
    }

    // Without a compositor a fading balloon is a grey box: there it goes at once instead.
    void balloonShowsTheWordsAsTheyAreHeardThenGoes_data()
    {
        QTest::addColumn<bool>("translucent");
        QTest::newRow("compositor") << true;
        QTest::newRow("none") << false;
    }
    void balloonShowsTheWordsAsTheyAreHeardThenGoes()
    {
        QFETCH(bool, translucent);
        build(translucent);
        // Three of the long words already overflow the balloon; four leave a margin.
        const QString text = u"uno, due, tre, quattro e cinque. "_s
            + u"precipitevolissimevolmente "_s.repeated(4) + u"fine"_s;
        QStringList shown;
        WizardWindow *w = window();
        Balloon &balloon = w->balloon();
        connect(&balloon, &Balloon::textChanged, this, [&](const QString &s) { shown << s; });
        performEach({NarratorRequest::show(), NarratorRequest::speak(text)});
        runUntilIdle();
        QCOMPARE(shown.first(), u"uno,"_s);
        QCOMPARE(shown.last(), text);
        for (int i = 1; i < shown.size(); ++i)
            QVERIFY2(shown[i].startsWith(shown[i - 1]), qPrintable(shown[i]));
        // A long speech keeps its latest words in view, for the eye and for screen readers.
        const QString inView = balloon.findChild<QLabel *>()->text();
        QVERIFY(inView.startsWith(u"… "_s) && inView.endsWith(u"mente fine"_s));
        QCOMPARE(balloon.shownText(), inView);
        QCOMPARE(balloon.accessibleDescription(), inView);
        QCOMPARE(w->accessibleDescription(), inView);
        QCOMPARE(w->mask().isEmpty(), translucent); // shaped to him when nothing blends
        m_clock->advance(1450);
        QVERIFY(balloon.isShown());
        m_clock->advance(150);
        QCOMPARE(balloon.isShown() && w->isMoving(), translucent);
        m_clock->advance(600);
        QVERIFY(!balloon.isShown() && w->accessibleDescription().isEmpty());
    }

    // A quick pupil: what has not begun is dropped and its scripts are done at once; a script
    // under way finishes whole ("8 per" keeps its factor) unless its speech may be cut (the
    // introduction), and then it goes whole.
    void droppingLeavesOnlyWhatIsUnderWay_data()
    {
        QTest::addColumn<bool>("interruptible");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<QList<quint64>>("doneAtOnce");
        QTest::addColumn<QList<quint64>>("doneInTheEnd");
        QTest::addColumn<QString>("heard");
        QTest::newRow("keep") << false << false << QList<quint64> {} << QList<quint64> {1, 2, 3}
                              << greeting + u" per otto sette"_s;
        QTest::newRow("drop") << false << true << QList<quint64> {2} << QList<quint64> {2, 1, 3}
                              << greeting + u" per sette"_s;
        QTest::newRow("drop the introduction")
            << true << true << QList<quint64> {1, 2} << QList<quint64> {1, 2, 3} << u"sette"_s;
    }
    void droppingLeavesOnlyWhatIsUnderWay()
    {
        QFETCH(bool, interruptible);
        QFETCH(bool, drop);
        QFETCH(QList<quint64>, doneAtOnce);
        QFETCH(QList<quint64>, doneInTheEnd);
        QFETCH(QString, heard);
        QSignalSpy audio(m_wizard.get(), &Wizard::speechAudioStarted);
        QCOMPARE(perform({interruptible ? NarratorRequest::speakInterruptibly(greeting)
                                        : NarratorRequest::speak(greeting),
                     NarratorRequest::speak(u"per"_s)}),
            1u);
        perform({NarratorRequest::speak(u"otto"_s)});
        runUntilIdle(&audio);
        m_clock->advance(500);
        perform({NarratorRequest::speak(u"sette"_s)},
            drop ? Narrator::Pending::Drop : Narrator::Pending::Keep);
        QCOMPARE(m_done, doneAtOnce);
        QStringList shown;
        connect(&window()->balloon(), &Balloon::textChanged, this, [&](const QString &s) {
            if (!s.isEmpty())
                shown << s;
        });
        const qint64 droppedAtMs = m_clock->nowMs();
        runUntilIdle();
        QCOMPARE(m_done, doneInTheEnd);
        const qint64 greetingMs = spokenMs(greeting);
        // Cut short, he is on to the next words at once.
        QCOMPARE(m_doneMs[1] < droppedAtMs + 100, interruptible);
        QVERIFY(interruptible || m_doneMs[1] >= greetingMs);
        // What went up in the balloon from then on, each balloon as it was at its fullest.
        QStringList whole;
        for (int i = 0; i < shown.size(); ++i)
            if (i + 1 == shown.size() || !shown[i + 1].startsWith(shown[i]))
                whole << shown[i];
        QCOMPARE(whole.join(u' '), heard);
    }

    void stopAllDropsAFullQueueAtOnceAndDestroyingMidSpeechDoesNotHang()
    {
        QSignalSpy audio(m_wizard.get(), &Wizard::speechAudioStarted);
        for (int i = 0; i < 40; ++i)
            perform({NarratorRequest::speak(greeting)});
        runUntilIdle(&audio);
        m_wizard->stopAll();
        QCOMPARE(m_done.size(), 40); // every script is done, dropped
        m_clock->advance(600);
        QCOMPARE(audio.size(), 1);
        audio.clear(); // still usable afterwards, and he can go while speaking
        perform({NarratorRequest::speak(greeting)});
        runUntilIdle(&audio);
        QCOMPARE(audio.size(), 1);
        m_wizard.reset();
    }
};

QTEST_MAIN(WizardTest)
#include "tst_wizard.moc"

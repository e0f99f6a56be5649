#include "wizard/wizardcharacters.h"
#include "wizard/wizardwindow.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace calvenza;
using namespace Qt::Literals::StringLiterals;

// His clock is stepped by hand: minutes of speech and motion pass in a moment.
class WizardTest : public QObject
{
    Q_OBJECT
private:
    std::shared_ptr<SteppedClock> m_clock;
    std::unique_ptr<WizardNarrator> m_agent;
    WizardCharacter *m_wizard = nullptr;

    void build(bool translucent = true)
    {
        cleanup(); // one stepped clock at a time
        m_clock = std::make_shared<SteppedClock>();
        WizardOptions options;
        options.clock = m_clock;
        options.translucencyWorks = [translucent] { return translucent; };
        m_agent = std::make_unique<WizardNarrator>(options);
        QVERIFY(m_agent->summon());
        m_wizard = m_agent->wizard();
    }
    // Steps the clock until the queue is done (or a signal spy fills).
    void runUntilIdle(const QSignalSpy *until = nullptr)
    {
        for (int ms = 0; (until ? until->isEmpty() : m_wizard->isBusy()) && ms < 60000; ms += 10)
            m_clock->advance(10);
    }

private slots:
    void init() { build(); }
    void cleanup()
    {
        m_agent.reset();
        m_clock.reset();
    }

    // In order, one at a time, each as long as it should take (speech: as long as its audio).
    void requestsRunLaterOneAfterAnotherInOrderAndTakeTheirTime()
    {
        QStringList events;
        QHash<QString, qint64> took;
        for (auto signal : {&WizardCharacter::requestStarted, &WizardCharacter::requestFinished})
            connect(m_wizard, signal, this, [&, signal](const QString &r) {
                events << r;
                took[r] = m_clock->nowMs() - took.value(r);
            });
        const NarratorScript script {NarratorRequest::show(),
            NarratorRequest::moveTo(narratorX, narratorY), NarratorRequest::height(narratorHeight),
            NarratorRequest::speak(u"sette"_s), NarratorRequest::play(u"Dance"_s),
            NarratorRequest::play(u"aNNounce"_s)};
        m_agent->perform(script);
        QVERIFY(events.isEmpty() && m_wizard->isBusy()); // nothing done inside the calls
        runUntilIdle();
        QStringList expected;
        for (const NarratorRequest &r : script)
            expected << r.toString() << r.toString();
        QCOMPARE(events, expected);
        const int announce = animationDurationMs(WizardAnimation::Announce);
        QVERIFY(took[u"Play aNNounce"_s] >= announce && took[u"Play aNNounce"_s] < announce + 40);
        QCOMPARE(took[u"Play Dance"_s], 0);
        const qint64 sette = synthesizeSpeech(u"sette"_s)->durationMs();
        QVERIFY(took[u"Speak sette"_s] >= sette && took[u"Speak sette"_s] < sette + 200);
        WizardWindow *w = m_wizard->window(); // where the program put him, as tall as asked
        QCOMPARE(w->geometry().topLeft(), QPoint(narratorX, narratorY));
        QCOMPARE(w->height(), narratorHeight);
        m_clock->advance(2100); // when nothing moves, nothing ticks
        QVERIFY(!w->isMoving() && !m_wizard->audio().isActive());
        QVERIFY(w->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus)
            && w->testAttribute(Qt::WA_ShowWithoutActivating)); // never takes the keyboard
        QVERIFY(w->focusPolicy() == Qt::NoFocus
            && w->findChild<QLabel *>()->focusPolicy() == Qt::NoFocus);
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
        WizardWindow *w = m_wizard->window();
        connect(w, &WizardWindow::balloonTextChanged, this, [&](const QString &s) { shown << s; });
        m_wizard->Show();
        m_wizard->Speak(text);
        runUntilIdle();
        QCOMPARE(shown.first(), u"uno,"_s);
        QCOMPARE(shown.last(), text);
        for (int i = 1; i < shown.size(); ++i)
            QVERIFY2(shown[i].startsWith(shown[i - 1]), qPrintable(shown[i]));
        // A long speech keeps its latest words in view, for the eye and for screen readers.
        auto *label = w->findChild<QLabel *>(u"balloon"_s);
        QVERIFY(label->text().startsWith(u"… "_s) && label->text().endsWith(u"mente fine"_s));
        QCOMPARE(w->accessibleDescription(), label->text());
        QCOMPARE(w->mask().isEmpty(), translucent); // shaped to him when nothing blends
        m_clock->advance(1450);
        QVERIFY(w->balloonShown());
        m_clock->advance(150);
        QCOMPARE(w->balloonShown() && w->isMoving(), translucent);
        m_clock->advance(600);
        QVERIFY(!w->balloonShown() && w->accessibleDescription().isEmpty());
    }

    // Steps: "+ms" lets time pass once he is done, "*Name" plays an animation, the rest is said.
    void balloonStartsAfreshForEachUtterance_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("balloon");
        QTest::newRow("dictation") << u"8|per|sette"_s << u"8 per sette"_s;
        QTest::newRow("answer while the introduction lingers")
            << u"Premi invio.|*Greet|8|per|sette"_s << u"8 per sette"_s;
        QTest::newRow("reaction") << u"8|sette|*Congratulate|Esatto"_s << u"Esatto"_s;
        QTest::newRow("after the linger") << u"otto|+1600|sette"_s << u"sette"_s;
    }
    void balloonStartsAfreshForEachUtterance()
    {
        QFETCH(QString, steps);
        QFETCH(QString, balloon);
        for (const QString &step : steps.split(u'|')) {
            if (step.startsWith(u'+')) {
                runUntilIdle();
                m_clock->advance(step.toInt());
            } else if (step.startsWith(u'*'))
                m_wizard->Play(step.mid(1));
            else
                m_wizard->Speak(step);
        }
        runUntilIdle();
        QCOMPARE(m_wizard->window()->balloonText(), balloon);
        QCOMPARE(m_wizard->window()->accessibleDescription(), balloon);
    }

    void stopAllDropsAFullQueueAtOnceAndDestroyingMidSpeechDoesNotHang()
    {
        QSignalSpy started(m_wizard, &WizardCharacter::requestStarted);
        QSignalSpy audio(m_wizard, &WizardCharacter::speechAudioStarted);
        for (int i = 0; i < 40; ++i)
            m_wizard->Speak(u"Ciao! Io sono Merlino, il mago delle tabelline."_s);
        runUntilIdle(&audio);
        m_agent->stopAll();
        QVERIFY(!m_wizard->isBusy() && !m_wizard->audio().isActive());
        m_clock->advance(600);
        QCOMPARE(started.size(), 1);
        audio.clear(); // still usable afterwards, and he can go while speaking
        m_wizard->Speak(u"Ciao! Io sono Merlino, il mago delle tabelline."_s);
        runUntilIdle(&audio);
        QCOMPARE(started.size(), 2);
        m_agent.reset();
    }
};

QTEST_MAIN(WizardTest)
#include "tst_wizard.moc"

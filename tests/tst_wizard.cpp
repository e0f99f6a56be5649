#include "wizard/wizardcharacters.h"
#include "wizard/wizardwindow.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace calvenza;
using namespace Qt::Literals::StringLiterals;

namespace {
NarratorScript exercise()
{
    return {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(u"Greet"_s), NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(u"8"_s), NarratorRequest::speak(u"per"_s),
        NarratorRequest::speak(u"sette"_s)};
}
} // namespace

// His clock is stepped by hand: minutes of speech and motion pass in a moment.
class WizardTest : public QObject
{
    Q_OBJECT
private:
    std::shared_ptr<SteppedClock> m_clock;
    std::unique_ptr<WizardCharacters> m_agent;
    WizardCharacter *m_wizard = nullptr;

    void build(bool translucent = true)
    {
        cleanup(); // one stepped clock at a time
        m_clock = std::make_shared<SteppedClock>();
        WizardOptions options;
        options.clock = m_clock;
        options.translucencyWorks = [translucent] { return translucent; };
        m_agent = std::make_unique<WizardCharacters>(options);
        QVERIFY(m_agent->Load(u"Merlin"_s, QString::fromUtf16(narratorLoadKey)));
        m_wizard = m_agent->wizard(u"Merlin"_s);
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

    // One wizard per id whatever its case, never available before Load.
    void idsMatchWhateverTheirCase_data()
    {
        QTest::addColumn<QString>("prepared");
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("found");
        QTest::newRow("as given") << QString() << u"Merlin"_s << u"Merlin"_s << true;
        QTest::newRow("loaded lower") << QString() << u"merlin"_s << u"Merlin"_s << true;
        QTest::newRow("prepared upper") << u"MERLIN"_s << u"merlin"_s << u"mErLiN"_s << true;
        QTest::newRow("unknown") << u"Morgana"_s << u"Morgana"_s << u"Morgana"_s << false;
    }
    void idsMatchWhateverTheirCase()
    {
        QFETCH(QString, prepared);
        QFETCH(QString, loaded);
        QFETCH(QString, asked);
        QFETCH(bool, found);
        cleanup();
        WizardCharacters agent;
        agent.prepare(prepared);
        QCOMPARE(agent.Item(asked), nullptr);
        QCOMPARE(agent.Load(loaded, u"C:\\nowhere\\x.acs"_s), found);
        QCOMPARE(agent.errorString().contains(u"«"_s + loaded + u"» sconosciuto"_s), !found);
        WizardCharacter *wizard = agent.wizard(asked);
        QCOMPARE(wizard != nullptr, found);
        QCOMPARE(agent.Item(asked), wizard);
        QVERIFY(agent.Load(u"MERLIN"_s, {}));
        QCOMPARE(agent.wizard(u"merlin"_s) == wizard, found);
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
    }

    // Each request in turn, in order, taking as long as it should: an unknown animation is
    // skipped, a known one matches whatever its case, speech lasts as long as its audio would.
    void requestsRunLaterOneAfterAnotherInOrderAndTakeTheirTime()
    {
        QStringList events;
        QHash<QString, qint64> took;
        for (auto signal : {&WizardCharacter::requestStarted, &WizardCharacter::requestFinished})
            connect(m_wizard, signal, this, [&, signal](const QString &r) {
                events << r;
                took[r] = m_clock->nowMs() - took.value(r);
            });
        NarratorScript script = exercise();
        script << NarratorRequest::play(u"Dance"_s) << NarratorRequest::play(u"aNNounce"_s);
        issue(*m_wizard, script);
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
        QVERIFY2(took[u"Speak sette"_s] >= sette && took[u"Speak sette"_s] < sette + 200,
            qPrintable(QString::number(took[u"Speak sette"_s])));
        // He ends where the program put him, as tall as asked, and at rest.
        WizardWindow *w = m_wizard->window();
        QCOMPARE(w->pos(), QPoint(narratorX, narratorY));
        const QRectF frame = w->artwork().artFrame();
        QCOMPARE(w->wizardSize(),
            QSize(qRound(narratorHeight * frame.width() / frame.height()), narratorHeight));
        m_clock->advance(2100); // when nothing moves, nothing ticks
        QVERIFY(!w->isMoving() && !m_wizard->audio().isActive());
    }

    void windowNeverTakesTheKeyboard()
    {
        WizardWindow *w = m_wizard->window();
        const auto needed = Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
        QCOMPARE(w->windowFlags() & needed, needed);
        QVERIFY(w->testAttribute(Qt::WA_ShowWithoutActivating));
        const QList<QWidget *> widgets = w->findChildren<QWidget *>() << w;
        for (QWidget *widget : widgets)
            QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
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
        QVERIFY2(label->text().startsWith(u"… "_s), qPrintable(label->text()));
        QVERIFY(label->text().endsWith(u"mente fine"_s));
        QCOMPARE(w->accessibleDescription(), label->text());
        QCOMPARE(w->mask().isEmpty(), translucent); // shaped to him when nothing blends
        m_clock->advance(1450);
        QVERIFY(w->balloonShown());
        m_clock->advance(150);
        QCOMPARE(w->balloonShown() && w->isMoving(), translucent);
        m_clock->advance(600);
        QVERIFY(!w->balloonShown() && w->accessibleDescription().isEmpty());
    }

    // Steps: "+ms" lets time pass, "*Name" plays an animation, anything else is said.
    void balloonStartsAfreshForEachUtterance_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("balloon");
        QTest::newRow("dictation")
            << QStringList {u"8"_s, u"per"_s, u"sette"_s} << u"8 per sette"_s;
        QTest::newRow("answered while the introduction lingers") << QStringList {u"Premi invio."_s,
            u"*Greet"_s, u"8"_s, u"per"_s, u"sette"_s} << u"8 per sette"_s;
        QTest::newRow("reaction after the dictation")
            << QStringList {u"8"_s, u"sette"_s, u"*Congratulate"_s, u"Esatto"_s} << u"Esatto"_s;
        QTest::newRow("after the linger")
            << QStringList {u"otto"_s, u"+1600"_s, u"sette"_s} << u"sette"_s;
    }
    void balloonStartsAfreshForEachUtterance()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, balloon);
        m_wizard->Show();
        for (const QString &step : steps) {
            if (step.startsWith(u'+'))
                runUntilIdle(), m_clock->advance(step.toInt());
            else if (step.startsWith(u'*'))
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
        const QString sentence = u"Ciao! Io sono Merlino, il mago delle tabelline."_s;
        QSignalSpy started(m_wizard, &WizardCharacter::requestStarted);
        QSignalSpy audio(m_wizard, &WizardCharacter::speechAudioStarted);
        m_wizard->Show();
        m_wizard->Speak(sentence);
        for (int i = 0; i < 20; ++i)
            issue(*m_wizard, exercise());
        runUntilIdle(&audio);
        QCOMPARE(started.size(), 2);
        m_agent->stopAll();
        QVERIFY(!m_wizard->isBusy() && !m_wizard->audio().isActive());
        m_clock->advance(600);
        QCOMPARE(started.size(), 2);
        // Still usable afterwards, and he can go while speaking.
        audio.clear();
        m_wizard->Speak(sentence);
        runUntilIdle(&audio);
        QCOMPARE(started.size(), 3);
        m_agent.reset();
    }
};

QTEST_MAIN(WizardTest)
#include "tst_wizard.moc"

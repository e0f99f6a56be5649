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

int wizardWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<WizardWindow *>(w) != nullptr;
    return n;
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
        m_agent.reset();
        m_clock.reset(); // one stepped clock at a time
        m_clock = std::make_shared<SteppedClock>();
        WizardOptions options;
        options.clock = m_clock;
        options.translucencyWorks = [translucent] { return translucent; };
        m_agent = std::make_unique<WizardCharacters>(options);
        QVERIFY(m_agent->Load(u"Merlin"_s, QString::fromUtf16(narratorLoadKey)));
        m_wizard = m_agent->wizard(u"Merlin"_s);
    }
    // Clock milliseconds until the queue is done.
    qint64 runUntilIdle()
    {
        const qint64 start = m_clock->nowMs();
        while (m_wizard->isBusy() && m_clock->nowMs() - start < 60000)
            m_clock->advance(10);
        return m_clock->nowMs() - start;
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
        QTest::newRow("empty") << QString() << QString() << QString() << false;
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
        QCOMPARE(agent.Load(u"MERLIN"_s, {}), true);
        QCOMPARE(agent.wizard(u"merlin"_s) == wizard, found);
        QCOMPARE(wizardWindows(), 1);
    }

    void requestsRunLaterOneAfterAnotherInOrder()
    {
        QStringList events;
        connect(m_wizard, &WizardCharacter::requestStarted, this,
            [&](const QString &r) { events << u"start "_s + r; });
        connect(m_wizard, &WizardCharacter::requestFinished, this,
            [&](const QString &r) { events << u"end "_s + r; });
        issue(*m_wizard, exercise());
        QVERIFY(m_wizard->isBusy());
        QVERIFY(events.isEmpty()); // nothing was done inside the calls
        QVERIFY(runUntilIdle() < 60000);
        QStringList expected;
        for (const NarratorRequest &r : exercise())
            expected << u"start "_s + r.toString() << u"end "_s + r.toString();
        QCOMPARE(events, expected);
    }

    void requestsTakeTheirTime_data()
    {
        QTest::addColumn<bool>("speak");
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        const QString text = u"Sei pronto? Allora cominciamo!"_s;
        const auto audio = synthesizeSpeech(text);
        QVERIFY(audio);
        // Without a device, speech lasts as long as its audio would.
        const int ms = int(audio->durationMs());
        QTest::newRow("speech") << true << text << ms << ms + 200;
        const int announce = animationDurationMs(WizardAnimation::Announce);
        QTest::newRow("animation, any case") << false << u"aNNounce"_s << announce << announce + 50;
        QTest::newRow("unknown animation") << false << u"Dance"_s << 0 << 20;
    }
    void requestsTakeTheirTime()
    {
        QFETCH(bool, speak);
        QFETCH(QString, what);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        m_wizard->Show();
        runUntilIdle();
        speak ? m_wizard->Speak(what) : m_wizard->Play(what);
        const qint64 took = runUntilIdle();
        QVERIFY2(took >= minMs && took <= maxMs, qPrintable(QString::number(took)));
    }

    void exerciseLeavesHimWhereAndAsTallAsAskedAndAtRest()
    {
        issue(*m_wizard, exercise());
        runUntilIdle();
        WizardWindow *w = m_wizard->window();
        QVERIFY(w->isVisible());
        QCOMPARE(w->pos(), QPoint(narratorX, narratorY));
        QCOMPARE(w->height(), narratorHeight);
        const QRectF frame = w->artwork().artFrame();
        QCOMPARE(w->wizardSize(),
            QSize(qRound(narratorHeight * frame.width() / frame.height()), narratorHeight));
        QCOMPARE(w->balloonText(), u"8 per sette"_s);
        m_clock->advance(2100); // when nothing moves, nothing ticks
        QVERIFY(!w->isMoving());
        QVERIFY(!m_wizard->audio().isActive());
        // A visible wizard glides: on the way he is somewhere in between.
        m_wizard->MoveTo(650, 375);
        m_clock->advance(200);
        QVERIFY(w->pos() != QPoint(narratorX, narratorY) && w->pos() != QPoint(650, 375));
        m_wizard->Height(120);
        runUntilIdle();
        QCOMPARE(w->pos(), QPoint(650, 375));
        QCOMPARE(w->height(), 120);
    }

    void hiddenWizardJumpsAndPupilCanDragHim()
    {
        WizardWindow *w = m_wizard->window();
        m_wizard->MoveTo(narratorX, narratorY);
        QCOMPARE(runUntilIdle(), 10);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->pos(), QPoint(narratorX, narratorY));
        m_wizard->Show();
        runUntilIdle();
        // Grabbing him mid-glide ends the move where he is, and the queue goes on.
        m_wizard->MoveTo(700, 500);
        m_wizard->Speak(u"otto"_s);
        m_clock->advance(200);
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(60, 100));
        const QPoint grabbed = w->pos();
        QTest::mouseMove(w, QPoint(90, 130));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(90, 130));
        runUntilIdle();
        QCOMPARE(w->pos(), grabbed + QPoint(30, 30));
        QVERIFY(grabbed != QPoint(narratorX, narratorY) && grabbed != QPoint(700, 500));
    }

    void windowNeverTakesTheKeyboard()
    {
        WizardWindow *w = m_wizard->window();
        const Qt::WindowFlags needed = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | Qt::WindowDoesNotAcceptFocus;
        QCOMPARE(w->windowFlags() & needed, needed);
        QVERIFY(w->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(!w->testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
        for (QWidget *child : w->findChildren<QWidget *>())
            QCOMPARE(child->focusPolicy(), Qt::NoFocus);
    }

    void balloonShowsTheWordsAsTheyAreHeard()
    {
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
        m_clock->advance(2100); // shortly after he stops, the balloon goes
        QVERIFY(!w->balloonShown() && w->balloonText().isEmpty());
        QVERIFY(w->accessibleDescription().isEmpty());
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
        QTest::newRow("reaction after the dictation") << QStringList {u"8"_s, u"per"_s, u"sette"_s,
            u"*Congratulate"_s, u"Esatto"_s} << u"Esatto"_s;
        QTest::newRow("after the linger")
            << QStringList {u"otto"_s, u"+1600"_s, u"sette"_s} << u"sette"_s;
    }
    void balloonStartsAfreshForEachUtterance()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, balloon);
        m_wizard->Show();
        for (const QString &step : steps) {
            if (step.startsWith(u'+')) {
                runUntilIdle();
                m_clock->advance(step.toInt());
            } else if (step.startsWith(u'*')) {
                m_wizard->Play(step.mid(1));
            } else {
                m_wizard->Speak(step);
            }
        }
        runUntilIdle();
        QCOMPARE(m_wizard->window()->balloonText(), balloon);
        QCOMPARE(m_wizard->window()->accessibleDescription(), balloon);
    }

    // Without a compositor a fading balloon is a grey box: it goes at once instead.
    void withoutCompositorTheBalloonGoesWithoutAFade_data()
    {
        QTest::addColumn<bool>("translucent");
        QTest::newRow("compositor") << true;
        QTest::newRow("none") << false;
    }
    void withoutCompositorTheBalloonGoesWithoutAFade()
    {
        QFETCH(bool, translucent);
        build(translucent);
        WizardWindow *w = m_wizard->window();
        m_wizard->Show();
        m_wizard->Speak(u"otto"_s);
        runUntilIdle();
        QCOMPARE(w->mask().isEmpty(), translucent); // shaped to him when nothing blends
        m_clock->advance(1450);
        QVERIFY(w->balloonShown());
        m_clock->advance(150);
        QCOMPARE(w->balloonShown(), translucent);
        QCOMPARE(w->isMoving(), translucent);
        m_clock->advance(600);
        QVERIFY(!w->balloonShown());
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
        while (audio.isEmpty() && m_clock->nowMs() < 10000)
            m_clock->advance(10);
        QCOMPARE(started.size(), 2);
        QVERIFY(m_wizard->audio().isActive());
        m_agent->stopAll();
        QVERIFY(!m_wizard->isBusy());
        QVERIFY(!m_wizard->audio().isActive());
        m_clock->advance(600);
        QCOMPARE(started.size(), 2);
        // Still usable afterwards, and he can go while speaking.
        m_wizard->Speak(sentence);
        while (audio.size() < 2 && m_clock->nowMs() < 20000)
            m_clock->advance(10);
        QCOMPARE(started.size(), 3);
        m_agent.reset();
    }

    void missingArtworkIsReportedInItalian()
    {
        WizardArtwork missing(u":/nowhere/none.svg"_s);
        QVERIFY(!missing.isValid());
        QVERIFY(missing.errorString().contains(u"Disegno del mago"_s));
    }

    void everyAnimationComesBackToRest_data()
    {
        QTest::addColumn<int>("animation");
        for (auto a : {WizardAnimation::Appear, WizardAnimation::Announce, WizardAnimation::Greet,
                 WizardAnimation::Congratulate, WizardAnimation::DoMagic1,
                 WizardAnimation::DoMagic2, WizardAnimation::Breathe})
            QTest::newRow(qPrintable(QString::number(int(a)))) << int(a);
    }
    // No jump when it ends and he stands at rest again; somewhere in the middle he moves.
    void everyAnimationComesBackToRest()
    {
        QFETCH(int, animation);
        const auto a = WizardAnimation(animation);
        WizardArtwork art;
        art.setHeight(205);
        const QImage rest = art.render({});
        const QImage end = art.render(poseAt(a, 1.0));
        int differing = 0;
        for (int y = 0; y < rest.height(); ++y)
            for (int x = 0; x < rest.width(); ++x)
                differing += rest.pixel(x, y) != end.pixel(x, y);
        QVERIFY2(differing < 20, qPrintable(QString::number(differing)));
        QVERIFY(poseAt(a, 0.5) != WizardPose {});
    }
};

QTEST_MAIN(WizardTest)
#include "tst_wizard.moc"

#include "wizard/wizardcharacters.h"
#include "wizard/wizardwindow.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace calvenza;
using namespace Qt::Literals::StringLiterals;

namespace {
const QString merlin = QStringLiteral("Merlin");

NarratorScript exercise()
{
    return {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(QStringLiteral("Greet")), NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(QStringLiteral("8")), NarratorRequest::speak(QStringLiteral("per")),
        NarratorRequest::speak(QStringLiteral("sette"))};
}

} // namespace

class WizardQueueTest : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<WizardCharacters> m_agent;
    WizardCharacter *m_wizard = nullptr;

    bool waitIdle(int ms = 15000)
    {
        if (!m_wizard->isBusy())
            return true;
        QSignalSpy idle(m_wizard, &WizardCharacter::idle);
        return idle.wait(ms);
    }

private slots:
    void init()
    {
        m_agent = std::make_unique<WizardCharacters>();
        QVERIFY(m_agent->Load(merlin, QString::fromUtf16(narratorLoadKey)));
        m_wizard = m_agent->wizard(merlin);
        QVERIFY(m_wizard);
        QCOMPARE(m_wizard->audio().mode(), AudioOut::Mode::Silent); // CTest runs us silent
    }
    void cleanup()
    {
        m_agent.reset();
        m_wizard = nullptr;
    }

    void onlyMerlinCanBeLoaded_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("loads");
        QTest::newRow("Merlin") << merlin << true;
        QTest::newRow("other") << QStringLiteral("Genie") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void onlyMerlinCanBeLoaded()
    {
        QFETCH(QString, id);
        QFETCH(bool, loads);
        WizardCharacters agent;
        QCOMPARE(agent.Load(id, QStringLiteral("C:\\nowhere\\x.acs")), loads);
        QCOMPARE(agent.Item(id) != nullptr, loads);
        QCOMPARE(agent.errorString().contains(u"«"_s + id + u"» sconosciuto"_s), !loads);
    }

    void requestsAreQueuedAndRunOneAfterAnotherInOrder()
    {
        QStringList events;
        connect(m_wizard, &WizardCharacter::requestStarted, this,
            [&](const QString &r) { events << u"start "_s + r; });
        connect(m_wizard, &WizardCharacter::requestFinished, this,
            [&](const QString &r) { events << u"end "_s + r; });
        QElapsedTimer t;
        t.start();
        issue(*m_wizard, exercise());
        QVERIFY2(t.elapsed() < 50, qPrintable(QString::number(t.elapsed())));
        QVERIFY(m_wizard->isBusy());
        QVERIFY(!m_wizard->window()->isVisible()); // nothing was done inside the calls
        QVERIFY(waitIdle());
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
        const QString text = QStringLiteral("Sei pronto? Allora cominciamo!");
        const auto audio = synthesizeSpeech(text);
        QVERIFY(audio);
        // Without a device, speech lasts as long as its audio would.
        const int ms = int(audio->durationMs());
        QTest::newRow("speech") << true << text << ms - 50 << ms + 400;
        // Names in any case are tried out in tst_wizardart.
        QTest::newRow("animation") << false << QStringLiteral("announce") << 800 << 2700;
        QTest::newRow("unknown animation") << false << QStringLiteral("Dance") << 0 << 60;
    }
    void requestsTakeTheirTime()
    {
        QFETCH(bool, speak);
        QFETCH(QString, what);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        m_wizard->Show();
        QVERIFY(waitIdle());
        QElapsedTimer t;
        t.start();
        speak ? m_wizard->Speak(what) : m_wizard->Play(what);
        QVERIFY(waitIdle());
        QVERIFY2(
            t.elapsed() >= minMs && t.elapsed() <= maxMs, qPrintable(QString::number(t.elapsed())));
    }

    void exerciseLeavesHimWhereAndAsTallAsAskedAndAtRest()
    {
        issue(*m_wizard, exercise());
        QVERIFY(waitIdle());
        WizardWindow *w = m_wizard->window();
        QVERIFY(w->isVisible());
        QCOMPARE(w->pos(), QPoint(narratorX, narratorY));
        QCOMPARE(w->height(), narratorHeight);
        const QSize art = w->wizardSize();
        QCOMPARE(art.height(), narratorHeight);
        const QRectF frame = w->artwork().artFrame();
        QCOMPARE(art.width(), qRound(narratorHeight * frame.width() / frame.height()));
        // Sayings in a row share one balloon.
        QCOMPARE(w->balloonText(), QStringLiteral("8 per sette"));
        // When nothing moves, nothing ticks.
        QTRY_VERIFY_WITH_TIMEOUT(!w->isMoving(), 4000);
        QVERIFY(!m_wizard->audio().isActive());
        // A visible wizard glides: half-way he is somewhere in between.
        m_wizard->MoveTo(650, 375);
        QTRY_VERIFY(w->pos() != QPoint(narratorX, narratorY));
        QVERIFY(w->pos() != QPoint(650, 375));
        m_wizard->Height(120);
        QVERIFY(waitIdle());
        QCOMPARE(w->pos(), QPoint(650, 375));
        QCOMPARE(w->height(), 120);
    }

    void hiddenWizardJumpsAndPupilCanDragHim()
    {
        WizardWindow *w = m_wizard->window();
        QElapsedTimer t;
        t.start();
        m_wizard->MoveTo(narratorX, narratorY);
        QVERIFY(waitIdle());
        QVERIFY(t.elapsed() < 100);
        QCOMPARE(w->pos(), QPoint(narratorX, narratorY));
        QVERIFY(!w->isVisible());
        m_wizard->Show();
        QVERIFY(waitIdle());
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(60, 100));
        QTest::mouseMove(w, QPoint(90, 130));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(60, 100));
        QCOMPARE(w->pos(), QPoint(narratorX + 30, narratorY + 30));
        // Grabbing him mid-glide ends the move where he is, and the queue goes on.
        m_wizard->MoveTo(700, 500);
        m_wizard->Speak(QStringLiteral("otto"));
        QTRY_VERIFY(w->pos() != QPoint(narratorX + 30, narratorY + 30));
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(60, 100));
        const QPoint held = w->pos();
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(60, 100));
        QVERIFY(waitIdle());
        QCOMPARE(w->pos(), held);
    }

    void windowNeverTakesTheKeyboard()
    {
        WizardWindow *w = m_wizard->window();
        const Qt::WindowFlags needed = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | Qt::WindowDoesNotAcceptFocus;
        QCOMPARE(w->windowFlags() & needed, needed);
        QVERIFY(w->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(w->testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(!w->testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
        for (QWidget *child : w->findChildren<QWidget *>())
            QCOMPARE(child->focusPolicy(), Qt::NoFocus);
    }

    void balloonShowsTheWordsAsTheyAreHeard()
    {
        // Three of the long words already overflow the balloon; four leave a margin.
        const QString text = QStringLiteral("uno, due, tre, quattro e cinque. ")
            + QStringLiteral("precipitevolissimevolmente ").repeated(4) + QStringLiteral("fine");
        QStringList shown;
        WizardWindow *w = m_wizard->window();
        connect(w, &WizardWindow::balloonTextChanged, this, [&](const QString &s) { shown << s; });
        m_wizard->Show();
        m_wizard->Speak(text);
        QVERIFY(waitIdle(30000));
        QCOMPARE(shown.first(), QStringLiteral("uno,"));
        QCOMPARE(shown.last(), text);
        for (int i = 1; i < shown.size(); ++i)
            QVERIFY2(shown[i].startsWith(shown[i - 1]), qPrintable(shown[i]));
        // A long speech keeps its latest words in view; readers of the screen get them all.
        auto *label = w->findChild<QLabel *>(QStringLiteral("balloon"));
        QVERIFY2(label->text().startsWith(u'…'), qPrintable(label->text()));
        QVERIFY(label->text().endsWith(QStringLiteral("mente fine")));
        QCOMPARE(w->accessibleDescription(), text);
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(label);
        QVERIFY(a && a->text(QAccessible::Name).endsWith(QStringLiteral("mente fine")));
        // Shortly after he stops, the balloon goes.
        QTRY_VERIFY_WITH_TIMEOUT(!w->balloonShown(), 3500);
        QVERIFY(w->balloonText().isEmpty());
    }

    void stopAllDropsAFullQueueAtOnceAndDestroyingMidSpeechDoesNotHang()
    {
        const QString sentence = QStringLiteral("Ciao! Io sono Merlino, il mago delle tabelline.");
        QSignalSpy started(m_wizard, &WizardCharacter::requestStarted);
        QSignalSpy audio(m_wizard, &WizardCharacter::speechAudioStarted);
        m_wizard->Show();
        m_wizard->Speak(sentence);
        for (int i = 0; i < 20; ++i)
            issue(*m_wizard, exercise());
        QTRY_COMPARE_WITH_TIMEOUT(started.size(), 2, 5000);
        QTRY_VERIFY(m_wizard->audio().isActive());
        QElapsedTimer t;
        t.start();
        m_agent->stopAll();
        QVERIFY(t.elapsed() < 50);
        QVERIFY(!m_wizard->isBusy());
        QVERIFY(!m_wizard->audio().isActive());
        QTest::qWait(600);
        QCOMPARE(started.size(), 2);
        // Still usable afterwards.
        audio.clear();
        m_wizard->Speak(sentence);
        QVERIFY(audio.wait(5000));
        QCOMPARE(started.size(), 3);
        t.start();
        m_agent.reset();
        QVERIFY2(t.elapsed() < 300, qPrintable(QString::number(t.elapsed())));
    }
};

QTEST_MAIN(WizardQueueTest)
#include "tst_wizardqueue.moc"

#include "app/controls.h"
#include "challenge/challengemode.h"
#include "drill/drillsession.h"
#include "memory/historyreader.h"
#include "progress/factmodel.h"
#include "progress/progresswindow.h"
#include "ripasso/ripassomode.h"
#include "support.h"

#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace calvenza;
using namespace calvenza::testing;
using namespace Qt::StringLiterals;

class TavolaTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Harness> h;

    QString file(const char *name) const { return m_dir->filePath(QLatin1String(name)); }
    QString caption(const char *name) const { return h->control<QLabel>(name)->text(); }
    void start(const QString &name = QStringLiteral("Ugo"), int table = defaultTable)
    {
        h = std::make_unique<Harness>(m_dir->path(), table);
        h->random->values = {drawing(2), drawing(7)};
        h->startUp(name);
        h->tavola->show();
        QTRY_VERIFY(h->narrator->log.contains(QStringLiteral("Speak per")));
    }
    // The pupil types and presses Enter, then Enter again on the next-exercise button.
    void answer(const QString &typed, int nextFactor = 7)
    {
        QTest::keyClicks(h->control("answerBox"), typed);
        QTest::keyClick(h->control("answerBox"), Qt::Key_Return);
        h->random->values = {drawing(3), drawing(nextFactor)};
        QTest::keyClick(h->tavola->focusWidget(), Qt::Key_Return);
    }
    void score(int rights)
    {
        for (int i = 0; i < rights; ++i)
            answer(QString::number(h->tavola->session().exercise().product));
    }

private slots:
    // The real boxes under a platform that is not X11 (here offscreen): a sentence for the child,
    // the system's words behind the details.
    void aRealBoxCarriesItsDetailsAwayFromX11()
    {
        QString details;
        QTimer::singleShot(0, this, [&details] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            details = box->detailedText();
            box->accept();
        });
        QtDialogs().messageBox(nullptr, u"Non riesco."_s, u"Calvenza"_s, u"disk I/O error"_s);
        QCOMPARE(details, u"disk I/O error"_s);
    }

    // The school's pupils by the beginning of the name, whatever its case and accents.
    void theNameBoxOffersNamesAsThePupilTypes()
    {
        QLineEdit box;
        offerNames(&box, {u"Nico \u00B7 4B"_s, u"Nicolò \u00B7 4B"_s, u"Marco \u00B7 3A"_s});
        box.completer()->setCompletionPrefix(u"NICOLO"_s);
        QCOMPARE(box.completer()->currentCompletion(), u"Nicolò \u00B7 4B"_s);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        h.reset();
    }

    void startUpAsksGreetsIntroducesAndShowsTheRecord_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("shownName");
        QTest::newRow("name") << QStringLiteral("Luca") << QStringLiteral("Luca");
        QTest::newRow("empty or cancelled") << QString() << QStringLiteral("Amico");
        QTest::newRow("markup stays text")
            << QStringLiteral("<b>Ugo</b>") << QStringLiteral("<b>Ugo</b>");
    }
    void startUpAsksGreetsIntroducesAndShowsTheRecord()
    {
        QFETCH(QString, answer);
        QFETCH(QString, shownName);
        put(file("atabkesr8.txt"), "<i>9</i>\r\n");
        Harness h(m_dir->path());
        h.startUp(answer);
        QCOMPARE(h.dialogs->log,
            (QStringList {QStringLiteral("Come ti chiami?"),
                QStringLiteral(" ") + answer
                    + QStringLiteral(" vediamo se sei un vero campione  ")}));
        QVERIFY(!h.dialogs->parents.contains(nullptr)); // every box opens over the window
        QCOMPARE(h.control<QLabel>("pupilNameLabel")->text(), shownName);
        QCOMPARE(h.control<QLabel>("recordPointsLabel")->text(), QStringLiteral("<i>9</i>\r\n"));
        for (const QLabel *label : h.tavola->findChildren<CaptionLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(bytesOf(file("ntabkesr8.txt")), QByteArray()); // a missing file is created empty
        QCOMPARE(h.tavola->session().mode().secondsLeft(), 420);
    }

    // Typing shows the factors, Enter shows the verdict and counters and moves to the button,
    // whose Enter brings the next exercise back to a cleared answer box.
    void keysAndClicksReachTheSessionAndItsAnswersShow_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("right") << 8 << "56"
                               << "Esatto. Sei forte!!!";
        QTest::newRow("wrong, the seven") << 7 << "50"
                                          << "Sbagliato!! 49";
    }
    void keysAndClicksReachTheSessionAndItsAnswersShow()
    {
        QFETCH(int, table);
        QFETCH(QString, typed);
        QFETCH(QString, verdict);
        start(QStringLiteral("Ugo"), table);
        QCOMPARE(h->tavola->focusWidget(), h->control("answerBox"));
        QTest::keyClicks(h->control("answerBox"), typed);
        QVERIFY(h->control("secondFactorLabel")->isVisible());
        QCOMPARE(caption("firstFactorLabel") + caption("secondFactorLabel"),
            QString::number(table) + u'7');
        QTest::keyClick(h->control("answerBox"), Qt::Key_Return);
        QVERIFY(!h->control("secondFactorLabel")->isVisible());
        QCOMPARE(caption("verdictLabel"), verdict);
        const bool isRight = verdict.startsWith(u'E');
        QCOMPARE(
            caption("rightCountLabel") + caption("wrongCountLabel") + caption("totalCountLabel"),
            QStringLiteral("%1%2%3").arg(int(isRight)).arg(int(!isRight)).arg(1));
        QCOMPARE(h->tavola->focusWidget(), h->control("nextButton"));
        QTest::keyClick(h->tavola->focusWidget(), Qt::Key_Return);
        QCOMPARE(h->tavola->focusWidget(), h->control("answerBox"));
        QCOMPARE(h->control<QLineEdit>("answerBox")->text(), QString());
        QCOMPARE(caption("verdictLabel"), QString());
        QCOMPARE(h->tavola->windowTitle().endsWith(u" - tabellina del sette"), table == 7);
    }

    // A screen reader reads only what takes the focus: the window its record, the answer box the
    // exercise and the clock, the next button the verdict and counters. The box must take the
    // focus before it is cleared, or the reader enters it without a word.
    void whatChangedTravelsWithTheFocus()
    {
        put(file("atabkesr8.txt"), "3\r\n");
        put(file("ntabkesr8.txt"), "Eva\r\n");
        start();
        QCOMPARE(
            h->tavola->accessibleDescription(), QStringLiteral("Il record è di Eva, con 3 punti"));
        auto *box = h->control<QLineEdit>("answerBox");
        QVERIFY(box->accessibleDescription().startsWith(u"8 per sette. Tempo restante 7 minuti."));
        QTest::keyClicks(box, QStringLiteral("56"));
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(
            h->control("nextButton")
                ->accessibleDescription()
                .startsWith(u"Esatto, 8 per sette fa 56. Risposte esatte 1, errate 0, totali 1."));
        QString typedWhenFocused;
        const QObject watch; // the watch ends with this test
        connect(qApp, &QApplication::focusChanged, &watch, [&](QWidget *, QWidget *now) {
            if (now == box)
                typedWhenFocused = box->text();
        });
        h->random->values = {drawing(3), drawing(9)};
        QTest::keyClick(h->tavola->focusWidget(), Qt::Key_Return);
        QCOMPARE(typedWhenFocused, QStringLiteral("56"));
        QCOMPARE(box->text(), QString());
        QVERIFY(box->accessibleDescription().startsWith(u"8 per nove. Tempo restante"));
    }

    // A ripasso without a name: no alarm clock, no name, the questions left on screen and, from
    // the first exercise on, in what a screen reader says.
    void ripassoCountsTheQuestionsLeft()
    {
        auto *lesson = new ScriptedLesson;
        lesson->facts = {{8, 7}, {6, 3}, {7, 2}};
        h = std::make_unique<Harness>(m_dir->path(), defaultTable, Harness::History::None,
            std::make_unique<RipassoMode>([lesson](const QString &) {
                return QtFuture::makeReadyFuture(std::shared_ptr<LessonPlan>(lesson));
            }));
        h->startUp(QString());
        h->tavola->show();
        QTRY_COMPARE(h->tavola->session().state(), DrillSession::State::Asking);
        QVERIFY(!h->control("alarmClockPicture")->isVisible()
            && !h->control("pupilNameLabel")->isVisible());
        QCOMPARE(caption("clockHeading") + u'|' + caption("clockLabel"),
            QStringLiteral("Domande rimaste|2"));
        QCOMPARE(h->control("answerBox")->accessibleDescription(),
            QStringLiteral("8 per sette. Domande rimaste 2. Scrivi il risultato e premi Invio"));
    }

    // The boxes the session asks for open over the window, and the clock shows its count.
    void messagesAndClockShowInTheWindow()
    {
        start();
        static_cast<ChallengeMode &>(h->tavola->session().mode()).tick();
        QCOMPARE(caption("clockLabel"), QStringLiteral("00:06:59"));
        QSignalSpy ended(h->tavola.get(), &Tavola::programEnded);
        h->dialogs->log.clear();
        QTest::mouseClick(h->control("exitButton"), Qt::LeftButton);
        QCOMPARE(h->dialogs->log, QStringList {farewell});
        QVERIFY(!h->dialogs->parents.contains(nullptr));
        QCOMPARE(ended.count(), 1);
        QVERIFY(!h->tavola->isVisible());
    }

    // A pupil of 3A: his answers reach the history under his class; the picture opens from the
    // menu and shows them.
    void answersAreKeptAndThePictureOpensFromTheMenu()
    {
        h = std::make_unique<Harness>(m_dir->path(), defaultTable, Harness::History::Kept);
        h->random->values = {drawing(2), drawing(7)};
        h->tavola->startUp(QStringLiteral("Ugo"), QStringLiteral("3A"));
        h->tavola->show();
        QTRY_VERIFY(h->narrator->log.contains(QStringLiteral("Speak per")));
        answer(QStringLiteral("56"));
        // Another program holds the history a moment: the last answer reaches it later, and the
        // picture at the end of a lesson waits for it.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        other.setDatabaseName(QDir(m_dir->path()).filePath(QStringLiteral("storia.sqlite")));
        QVERIFY(other.open() && other.exec(QStringLiteral("BEGIN IMMEDIATE")).isActive());
        answer(QStringLiteral("1"));
        emit h->tavola->session().lessonFinished({}, QString());
        QTest::qWait(300);
        QVERIFY(!h->tavola->findChild<ProgressWindow *>());
        QVERIFY(other.commit());
        QTRY_VERIFY(h->tavola->findChild<ProgressWindow *>());
        const AnswerRecord last = answersOf(m_dir->path(), u"UGO \u00B7 3A"_s).value(1);
        QCOMPARE(last.typed, QStringLiteral("1"));
        auto *picture = h->tavola->findChild<ProgressWindow *>();
        QCOMPARE(
            picture->model()->index(last.table - 1, last.factor - 1).data(Qt::AccessibleTextRole),
            factSpokenText({last.table, last.factor},
                factsOf(m_dir->path(), pupilLabel(last.pupil, last.pupilClass))
                    .at(last.table, last.factor)));
        delete picture;
        for (QAction *a : h->tavola->findChildren<QAction *>())
            if (a->text() == u"La mia tavola pitagorica")
                a->trigger();
        QVERIFY(h->tavola->findChild<ProgressWindow *>()->isVisible());
    }
};

QTEST_MAIN(TavolaTest)
#include "tst_tavola.moc"

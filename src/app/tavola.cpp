#include "app/tavola.h"

#include "app/controls.h"
#include "challenge/recordstore.h"
#include "drill/randomsource.h"
#include "narrator/narrator.h"
#include "narrator/numberwords.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"
#include "ui_tavola.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>

namespace calvenza {

namespace {

// The small square pointer shown over the next-exercise button and the verdict.
QCursor iconPointer()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(3, 3, 9, 9);
    p.fillRect(5, 5, 6, 6, Qt::black);
    return QCursor(pm, 8, 8);
}

QIcon picture(const char *name)
{
    return QIcon(QStringLiteral(":/calvenza/pictures/") + QLatin1String(name));
}

// The form gives fonts as pixel sizes (and the clock's weight) in dynamic properties: the layout
// was drawn at 96 dpi in fractional point sizes, which a form's whole point sizes cannot hold.
void applyPixelFonts(QWidget *root)
{
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : std::as_const(widgets)) {
        const QVariant pixels = w->property("fontPixelSize");
        if (!pixels.isValid())
            continue;
        QFont font = w->font();
        font.setPixelSize(pixels.toInt());
        if (const QVariant weight = w->property("fontWeight"); weight.isValid())
            font.setWeight(QFont::Weight(weight.toInt()));
        w->setFont(font);
    }
}

} // namespace

Tavola::Tavola(TavolaServices services, int table, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::Tavola>())
    , m_services(std::move(services))
    , m_table(isTable(table) ? table : defaultTable)
{
    setUpControls();
    createMenus();
    setFixedSize(sizeHint());
}

Tavola::~Tavola()
{
    if (m_services.narrator)
        m_services.narrator->stopAll();
}

void Tavola::setUpControls()
{
    m_ui->setupUi(this);
    if (m_table != defaultTable)
        setWindowTitle(windowTitle() + QStringLiteral(" - tabellina ") + tableWithArticle(m_table));
    setWindowIcon(picture("calvenza.svg"));
    applyPixelFonts(m_ui->clientArea);

    m_ui->nextButton->setPictures(
        picture("face_up.svg"), picture("face_pressed.svg"), picture("face_disabled.svg"));
    const QIcon exitPicture = picture("exit.svg");
    m_ui->exitButton->setPictures(exitPicture, exitPicture, exitPicture);
    m_ui->alarmClockPicture->setPixmap(picture("alarmclock.svg").pixmap(32, 32));
    m_ui->nextButton->setCursor(iconPointer());
    m_ui->verdictLabel->setCursor(iconPointer());

    // Auto-size labels fit their captions in the fonts and frames just given.
    for (CaptionLabel *l : m_ui->clientArea->findChildren<CaptionLabel *>())
        l->setCaption(l->text());

    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &Tavola::onClockTick);
    connect(m_ui->nextButton, &QPushButton::clicked, this, &Tavola::newExercise);
    connect(m_ui->exitButton, &QPushButton::clicked, this, &Tavola::sayGoodbye);
    m_ui->answerBox->installEventFilter(this);
    m_ui->exitButton->setFocus();
}

void Tavola::createMenus()
{
    QMenu *info = menuBar()->addMenu(QStringLiteral("&Informazioni"));
    info->addAction(QStringLiteral("Calvenza versione ") + QLatin1String(CALVENZA_VERSION));
    info->addAction(
        QStringLiteral("Un mago che insegna la tabellina ") + tableWithArticle(m_table));
    info->addAction(QStringLiteral("Ideato e realizzato dal gruppo Calvenza"));
    info->addAction(QStringLiteral("Voce di eSpeak NG, grafica disegnata a mano"));
    QMenu *dedication = menuBar()->addMenu(QStringLiteral("&Dedica"));
    dedication->addAction(
        QStringLiteral("A tutti i bambini che contano sulle dita: un giorno conteranno le stelle"));
}

void Tavola::present(const NarratorScript &script)
{
    if (!m_narratorReady)
        return;
    // Until the window has been painted his requests wait, in order: appearing in the same
    // instant, his window held the drill's first paint back by several milliseconds.
    if (!m_windowPainted) {
        m_heldForPaint += script;
        return;
    }
    m_services.narrator->perform(script);
}

void Tavola::setFactorsVisible(bool visible)
{
    m_ui->firstFactorLabel->setVisible(visible);
    m_ui->timesSignLabel->setVisible(visible);
    m_ui->secondFactorLabel->setVisible(visible);
}

void Tavola::say(const QString &text)
{
    m_services.dialogs->messageBox(this, text, appTitle);
}

void Tavola::startUp()
{
    m_counters = {};

    const QString answer
        = m_services.dialogs->inputBox(this, QStringLiteral("Come ti chiami?"), appTitle);
    // While the greeting waits for the pupil, draw the window once off screen: its fonts and
    // pictures are then ready, and it appears at once when the box is closed.
    QTimer::singleShot(150, this, [this] {
        if (isVisible() || m_ended)
            return;
        QImage warm(size(), QImage::Format_ARGB32_Premultiplied);
        render(&warm);
        winId(); // the native window too
    });
    say(QStringLiteral(" ") + answer + QStringLiteral(" vediamo se sei un vero campione  "));
    m_pupilName = answer.isEmpty() ? QStringLiteral("Amico") : answer;
    m_ui->pupilNameLabel->setCaption(m_pupilName);

    armClock();
    m_dataDirectory = m_services.dataDirectory->location();
    bool warned = false;

    // A record that cannot be kept must not end the drill: say so, show it empty, go on.
    const RecordStore store(m_dataDirectory, m_table);
    QString error;
    std::optional<Record> record;
    if (store.ensureFilesExist(&error))
        record = store.read(&error); // under the lock: points and name of the same pupil
    if (!record) {
        say(QStringLiteral("Non riesco a conservare il record su questo computer: si gioca lo "
                           "stesso, ma il record non potrà essere salvato.\n\n")
            + error);
        warned = true;
    }
    m_recordPoints = record ? record->points : QString();
    m_recordName = record ? record->name : QString();
    m_ui->recordPointsLabel->setCaption(m_recordPoints);
    m_ui->recordNameLabel->setCaption(m_recordName);

    m_narratorReady = m_services.narrator->summon();
    if (!m_narratorReady) {
        say(QStringLiteral("Il mago oggi non può venire: gli esercizi si leggono sullo schermo."
                           "\n\n")
            + m_services.narrator->errorString());
        warned = true;
    }
    // The seconds spent reading a warning are not taken from the pupil's seven minutes.
    if (warned)
        armClock();
    present({NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(QStringLiteral("Announce")), NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(introduction(m_table))});

    setFactorsVisible(false);
}

void Tavola::beginChallenge()
{
    if (m_ended)
        return;
    newExercise();
    m_counters = {};
    showClock(clockStartText);
}

void Tavola::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Tied to the first showing, not to activation: with no window manager no activation ever
    // comes, and the wizard's own window must never start the challenge again.
    if (!m_challengeBegun) {
        m_challengeBegun = true;
        QMetaObject::invokeMethod(this, &Tavola::beginChallenge, Qt::QueuedConnection);
        // A window that is never painted still lets the wizard in.
        m_ui->clientArea->installEventFilter(this);
        QTimer::singleShot(250, this, &Tavola::releaseNarrator);
    }
}

void Tavola::releaseNarrator()
{
    if (m_windowPainted)
        return;
    m_windowPainted = true;
    present(std::exchange(m_heldForPaint, {}));
}

void Tavola::newExercise()
{
    if (m_ended)
        return;
    setFactorsVisible(false);
    m_ui->verdictLabel->setCaption(QString());

    m_exercise = drawExercise(*m_services.random, m_table);
    m_ui->firstFactorLabel->setCaption(QString::number(m_exercise.table));
    m_ui->secondFactorLabel->setCaption(QString::number(m_exercise.factor));
    present(dictation(
        QString::number(m_exercise.table), numlett(Currency::fromWhole(m_exercise.factor))));

    m_ui->answerBox->clear();
    m_ui->answerBox->setFocus();
    m_ui->clientArea->setGradient(m_exercise.table, m_exercise.greenShade);
}

bool Tavola::eventFilter(QObject *watched, QEvent *event)
{
    // Queued, so he comes in once the paint has reached the screen.
    if (watched == m_ui->clientArea && event->type() == QEvent::Paint && !m_windowPainted)
        QMetaObject::invokeMethod(this, &Tavola::releaseNarrator, Qt::QueuedConnection);
    if (watched == m_ui->answerBox && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            onAnswerKey(QChar(u'\r'));
        else if (key->key() == Qt::Key_Backspace)
            onAnswerKey(QChar(u'\b'));
        else if (!key->text().isEmpty())
            onAnswerKey(key->text().front());
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tavola::onAnswerKey(QChar key)
{
    if (m_ended)
        return;
    m_ui->clientArea->clearDrawing();
    setFactorsVisible(true);
    if (key == u'\r')
        checkAnswer();
}

void Tavola::checkAnswer()
{
    if (m_ended)
        return;
    setFactorsVisible(false);

    const auto colourVerdict = [this](QColor colour) {
        QPalette pal = m_ui->verdictLabel->palette();
        pal.setColor(QPalette::WindowText, colour);
        m_ui->verdictLabel->setPalette(pal);
    };
    const QString product = QString::number(m_exercise.product);
    if (isRightAnswer(m_ui->answerBox->text(), product)) {
        colourVerdict(QColor(0, 0, 255));
        m_ui->verdictLabel->setCaption(verdictRight);
        // The praise ladder counts from the score before this answer.
        const int scoreBefore = m_counters.right;
        m_counters.addRight();
        present(reactionToRight(scoreBefore, m_pupilName, product));
    } else {
        colourVerdict(QColor(255, 0, 0));
        m_ui->verdictLabel->setCaption(verdictWrong(product));
        m_counters.addWrong();
        present(reactionToWrong(product));
        m_ui->wrongCountLabel->setCaption(QString::number(m_counters.wrong));
    }
    m_ui->rightCountLabel->setCaption(QString::number(m_counters.right));
    m_ui->totalCountLabel->setCaption(QString::number(m_counters.total()));
    m_ui->nextButton->setEnabled(true);
    m_ui->nextButton->setFocus();
}

void Tavola::sayGoodbye()
{
    // One farewell only: a tick or a second click while its box is open is held back.
    if (m_farewellStarted || m_ended)
        return;
    m_farewellStarted = true;
    m_clockTimer->stop();

    say(QStringLiteral("Ciao. Ti aspetto per la prossima sfida "));
    // Compared with the record stored now, under the store's lock: another program on this
    // computer may have raised it since start-up. No right answer is no record, and no reason to
    // touch the files.
    QString error;
    const auto outcome = m_counters.right > 0
        ? RecordStore(m_dataDirectory, m_table)
              .storeIfBeaten(QString::number(m_counters.right), m_pupilName, &error)
        : RecordStore::Outcome::NotBeaten;
    switch (outcome) {
    case RecordStore::Outcome::Stored:
        say(QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\""));
        break;
    case RecordStore::Outcome::Failed:
        say(QStringLiteral("Mi dispiace, non sono riuscito a salvare il tuo record: il record "
                           "di prima resta com'era.\n\n")
            + error);
        break;
    case RecordStore::Outcome::NotBeaten:
        break;
    }
    endProgram();
}

void Tavola::onClockTick()
{
    if (m_farewellStarted || m_ended)
        return;
    if (m_clockShown == clockEndText) {
        sayGoodbye();
        return;
    }
    m_clock.countDown();
    showClock(m_clock.text());
}

void Tavola::armClock()
{
    m_clockTimer->start();
    m_clock.arm(challengeSecondsFromEnvironment());
}

void Tavola::showClock(const QString &text)
{
    m_clockShown = text;
    m_ui->clockLabel->setCaption(text);
}

void Tavola::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    m_clockTimer->stop();
    m_services.narrator->stopAll();
    hide();
    emit programEnded();
}

void Tavola::closeEvent(QCloseEvent *event)
{
    // Closing the window ends the program without the farewell and without storing the record.
    event->accept();
    endProgram();
}

} // namespace calvenza

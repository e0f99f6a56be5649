#include "app/tavola.h"

#include "app/accessibletexts.h"
#include "app/controls.h"
#include "challenge/challengemode.h"
#include "drill/drillsession.h"
#include "drill/randomsource.h"
#include "memory/historywriter.h"
#include "narrator/narrator.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"
#include "progress/progresswindow.h"
#include "ui_tavola.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
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
    : Tavola(std::move(services), std::make_unique<ChallengeMode>(table), parent)
{
}

Tavola::Tavola(TavolaServices services, std::unique_ptr<SessionMode> mode, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::Tavola>())
    , m_services(std::move(services))
    , m_session(
          std::make_unique<DrillSession>(*m_services.narrator, *m_services.random, std::move(mode)))
{
    setUpControls();
    createMenus();
    connectSession();
    setFixedSize(sizeHint());
}

Tavola::~Tavola()
{
    // The wizard falls silent with the window, and nothing is shown any more.
    m_session->disconnect(this);
    m_session->end();
}

void Tavola::setUpControls()
{
    m_ui->setupUi(this);
    if (m_session->table() != defaultTable)
        setWindowTitle(
            windowTitle() + QStringLiteral(" - tabellina ") + tableWithArticle(m_session->table()));
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

    m_ui->answerBox->installEventFilter(this);
    m_ui->exitButton->setFocus();
}

void Tavola::createMenus()
{
    QMenu *info = menuBar()->addMenu(QStringLiteral("&Informazioni"));
    info->addAction(QStringLiteral("Calvenza versione ") + QLatin1String(CALVENZA_VERSION));
    info->addAction(QStringLiteral("Un mago che insegna la tabellina ")
            + tableWithArticle(m_session->table()))
        ->setObjectName(QStringLiteral("whatIsTaught"));
    info->addAction(QStringLiteral("Ideato e realizzato dal gruppo Calvenza"));
    info->addAction(QStringLiteral("Voce di eSpeak NG, grafica disegnata a mano"));
    QMenu *dedication = menuBar()->addMenu(QStringLiteral("&Dedica"));
    dedication->addAction(
        QStringLiteral("A tutti i bambini che contano sulle dita: un giorno conteranno le stelle"));
    QMenu *progress = menuBar()->addMenu(QStringLiteral("&Progressi"));
    progress->addAction(
        QStringLiteral("La mia tavola pitagorica"), this, [this] { showProgressPicture(); });
}

void Tavola::connectSession()
{
    DrillSession *s = m_session.get();
    connect(m_ui->nextButton, &QPushButton::clicked, s, &DrillSession::newExercise);
    connect(m_ui->exitButton, &QPushButton::clicked, s, &DrillSession::sayGoodbye);
    connect(s, &DrillSession::pupilNameChanged, m_ui->pupilNameLabel, &CaptionLabel::setCaption);
    connect(
        s, &DrillSession::recordChanged, this, [this](const QString &points, const QString &name) {
            m_ui->recordPointsLabel->setCaption(points);
            m_ui->recordNameLabel->setCaption(name);
            setAccessibleDescription(recordDescription(points, name));
        });
    connect(s, &DrillSession::clockChanged, m_ui->clockLabel, &CaptionLabel::setCaption);
    connect(s, &DrillSession::questionsLeftChanged, this,
        [this](int left) { m_ui->clockLabel->setCaption(QString::number(left)); });
    connect(s, &DrillSession::exerciseChanged, this, &Tavola::showExercise);
    connect(s, &DrillSession::answerJudged, this, &Tavola::showJudgement);
    connect(s, &DrillSession::message, this, &Tavola::say);
    connect(s, &DrillSession::ended, this, &Tavola::onSessionEnded);
    connect(s, &DrillSession::lessonFinished, this,
        [this](const QList<Fact> &movedUp, const QString &summary) {
            // The last answers may still be on their way to the disk: the picture waits for them,
            // without holding up the window, but not longer than a stalled disk deserves.
            auto show = std::make_shared<std::function<void()>>([this, movedUp, summary] {
                // A screen reader reads it with the picture, which takes the focus.
                showProgressPicture(movedUp)->setAccessibleDescription(summary);
            });
            const auto once = [show] {
                if (*show)
                    std::exchange(*show, nullptr)();
            };
            if (!m_services.history)
                return once();
            m_services.history->whenWritten(this, once);
            QTimer::singleShot(2000, this, once);
        });
    if (HistoryWriter *history = m_services.history.get()) {
        connect(s, &DrillSession::answered, history,
            qOverload<const AnswerRecord &>(&HistoryWriter::record));
        connect(s, &DrillSession::challengeEnded, history,
            qOverload<const ChallengeRecord &>(&HistoryWriter::record));
        connect(history, &HistoryWriter::unavailable, this,
            [this](const Problem &problem) { say(problem.sentence, problem.details); });
    }
}

void Tavola::setFactorsVisible(bool visible)
{
    m_ui->firstFactorLabel->setVisible(visible);
    m_ui->timesSignLabel->setVisible(visible);
    m_ui->secondFactorLabel->setVisible(visible);
}

void Tavola::say(const QString &text, const QString &details)
{
    m_services.dialogs->messageBox(this, text, appTitle, details);
}

void Tavola::startUp()
{
    startUp(askPupilName(*m_services.dialogs, this));
}

void Tavola::startUp(const QString &answer, const QString &pupilClass)
{
    // While the greeting waits for the pupil, draw the window once off screen: its fonts and
    // pictures are then ready, and it appears at once when the box is closed.
    QTimer::singleShot(150, this, [this] {
        if (isVisible() || m_session->hasEnded())
            return;
        QImage warm(size(), QImage::Format_ARGB32_Premultiplied);
        render(&warm);
        winId(); // the native window too
    });
    say(QStringLiteral(" ") + answer + QStringLiteral(" vediamo se sei un vero campione  "));
    if (m_session->mode().kind() == DrillMode::Ripasso)
        showAsRipasso(answer.trimmed().isEmpty());
    m_dataDirectory = m_services.dataDirectory->location();
    m_session->start(answer, m_dataDirectory,
        m_services.history ? m_services.history->openError() : Problem {}, pupilClass);
    setFactorsVisible(false);
}

void Tavola::showAsRipasso(bool nameless)
{
    // No clock and no record: the clock's panel counts the questions left.
    setWindowTitle(windowTitle() + QStringLiteral(" - ripasso"));
    // Two lines where the alarm clock was: one line is wider than the panel.
    m_ui->clockHeading->setGeometry(611, 22, 131, 60);
    m_ui->clockHeading->setWordWrap(true);
    m_ui->clockHeading->setAlignment(Qt::AlignCenter);
    m_ui->clockHeading->setCaption(QStringLiteral("Domande rimaste"));
    m_ui->clockLabel->setCaption(QString());
    m_ui->alarmClockPicture->hide();
    for (CaptionLabel *l : {m_ui->recordHeading, m_ui->recordNameLabel, m_ui->recordPointsHeading,
             m_ui->recordPointsLabel})
        l->hide();
    // The challenge's stand-in name is a boy's; a ripasso without a name shows none.
    if (nameless) {
        m_ui->challengerHeading->hide();
        m_ui->pupilNameLabel->hide();
    }
    if (auto *taught = findChild<QAction *>(QStringLiteral("whatIsTaught")))
        taught->setText(QStringLiteral("Un mago che ripassa con te le tabelline"));
}

void Tavola::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Tied to the first showing, not to activation: with no window manager no activation ever
    // comes.
    if (m_session->state() == DrillSession::State::WaitingForWindow) {
        m_session->windowOnScreen();
        // A window that is never painted still lets the wizard in.
        m_ui->clientArea->installEventFilter(this);
        QTimer::singleShot(250, m_session.get(), &DrillSession::releaseNarrator);
    }
}

void Tavola::showExercise(const Exercise &exercise)
{
    setFactorsVisible(false);
    m_ui->verdictLabel->setCaption(QString());
    m_ui->firstFactorLabel->setCaption(QString::number(exercise.table));
    m_ui->secondFactorLabel->setCaption(QString::number(exercise.factor));
    const SessionMode &mode = m_session->mode();
    const std::optional<int> seconds = mode.secondsLeft();
    const std::optional<int> questions = mode.questionsLeft();
    m_ui->answerBox->setAccessibleDescription(answerBoxDescription(exercise,
        seconds ? spokenTimeLeft(*seconds)
                : (questions ? spokenQuestionsLeft(*questions) : QString()),
        m_session->counters().total() == 0));
    // Focus first, then clear: a box cleared before it has the focus is entered without a word
    // from the screen reader.
    m_ui->answerBox->setFocus();
    m_ui->answerBox->clear();
    m_ui->clientArea->setGradient(exercise.table, exercise.greenShade);
}

bool Tavola::eventFilter(QObject *watched, QEvent *event)
{
    // Queued, so he comes in once the paint has reached the screen.
    if (watched == m_ui->clientArea && event->type() == QEvent::Paint) {
        m_ui->clientArea->removeEventFilter(this);
        QMetaObject::invokeMethod(
            m_session.get(), &DrillSession::releaseNarrator, Qt::QueuedConnection);
    }
    if (watched == m_ui->answerBox && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->text().isEmpty() || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter
            || key->key() == Qt::Key_Backspace)
            onAnswerKey(key->key());
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tavola::onAnswerKey(int key)
{
    if (!m_session->takesAnswers())
        return;
    m_ui->clientArea->clearDrawing();
    setFactorsVisible(true);
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        m_session->checkAnswer(m_ui->answerBox->text());
}

void Tavola::showJudgement(const Judgement &judgement)
{
    setFactorsVisible(false);
    QPalette pal = m_ui->verdictLabel->palette();
    pal.setColor(QPalette::WindowText, judgement.right ? QColor(0, 0, 255) : QColor(255, 0, 0));
    m_ui->verdictLabel->setPalette(pal);
    m_ui->verdictLabel->setCaption(judgement.verdict);
    m_ui->rightCountLabel->setCaption(QString::number(judgement.counters.right));
    m_ui->wrongCountLabel->setCaption(QString::number(judgement.counters.wrong));
    m_ui->totalCountLabel->setCaption(QString::number(judgement.counters.total()));
    m_ui->nextButton->setAccessibleDescription(judgementDescription(
        judgement, m_session->exercise(), m_session->pupilName(), judgement.counters.total() == 1));
    m_ui->nextButton->setEnabled(true);
    m_ui->nextButton->setFocus();
}

void Tavola::onSessionEnded()
{
    hide();
    emit programEnded();
}

ProgressWindow *Tavola::showProgressPicture(const QList<Fact> &movedUp)
{
    ProgressWindow *picture = showProgress(this, m_dataDirectory,
        pupilLabel(calvenza::pupilName(m_session->pupilName()), m_session->pupilClass()), movedUp);
    // Beside the wizard, who stays on top, rather than under him.
    const QRect screen = this->screen()->availableGeometry();
    const QPoint besideWizard(geometry().left() + narratorX + narratorHeight, geometry().top());
    picture->move(qBound(screen.left(), besideWizard.x(), screen.right() - picture->width()),
        qBound(screen.top(), besideWizard.y(), screen.bottom() - picture->height()));
    // At the end of a ripasso the picture is the last thing he sees: closing it ends the drill.
    if (m_session->state() == DrillSession::State::LessonOver)
        connect(picture, &QDialog::finished, m_session.get(), &DrillSession::end);
    return picture;
}

void Tavola::closeEvent(QCloseEvent *event)
{
    // Closing the window ends the program without the farewell and without storing the record.
    event->accept();
    m_session->end();
}

} // namespace calvenza

#include "app/tavola.h"

#include "app/controls.h"
#include "challenge/recordstore.h"
#include "narrator/narrator.h"
#include "narrator/numberwords.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"
#include "drill/randomsource.h"

#include <QBitmap>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>

namespace calvenza {

namespace {

// The design's point sizes at 96 dpi; pixel sizes keep the layout exact at any screen density.
QFont designFont(const QString &family, qreal points, bool bold = false, bool italic = false)
{
    QFont f(family);
    f.setPixelSize(qRound(points * 96.0 / 72.0));
    f.setBold(bold);
    f.setItalic(italic);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}
QFont sansFont(qreal pt, bool bold = false, bool italic = false)
{
    return designFont(QStringLiteral("Liberation Sans"), pt, bold, italic);
}
QFont arialFont(qreal pt, bool bold = false)
{
    return designFont(QStringLiteral("Liberation Sans"), pt, bold);
}
QFont timesFont(qreal pt, bool bold = false)
{
    return designFont(QStringLiteral("Liberation Serif"), pt, bold);
}
QFont blackFont(qreal pt)
{
    QFont f = designFont(QStringLiteral("DejaVu Sans"), pt, true);
    f.setWeight(QFont::Black);
    return f;
}

// A close match of the classic grey desktop theme.
const QColor classicFace(212, 208, 200);
const QColor scrollBarColour = classicFace;
const QColor inactiveCaptionText = classicFace;

void setColours(QWidget *w, std::optional<QColor> background, std::optional<QColor> text)
{
    QPalette pal = w->palette();
    if (background) {
        pal.setColor(QPalette::Window, *background);
        pal.setColor(QPalette::Base, *background);
        pal.setColor(QPalette::Button, *background);
        w->setAutoFillBackground(true);
    }
    if (text) {
        pal.setColor(QPalette::WindowText, *text);
        pal.setColor(QPalette::Text, *text);
        pal.setColor(QPalette::ButtonText, *text);
    }
    w->setPalette(pal);
}

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

} // namespace

Tavola::Tavola(TavolaServices services, QWidget *parent)
    : QMainWindow(parent)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("Tavola"));
    setWindowTitle(QString(83, u' ') + QStringLiteral("CALVENZA"));
    setWindowIcon(picture("calvenza.svg"));
    createControls();
    createMenus();
    setFixedSize(sizeHint());
}

Tavola::~Tavola()
{
    if (m_services.agent)
        m_services.agent->stopAll();
}

void Tavola::createControls()
{
    m_client = new ClientArea(this);
    m_client->setObjectName(QStringLiteral("clientArea"));
    m_client->setFixedSize(785, 556);
    setColours(m_client, scrollBarColour, inactiveCaptionText);
    m_client->setFont(sansFont(8.25));
    setCentralWidget(m_client);

    const auto hiddenBox = [this](const char *name, const QString &text, QRect geometry) {
        auto *box = new QLineEdit(text, m_client);
        box->setObjectName(QLatin1String(name));
        box->setGeometry(geometry);
        box->setFocusPolicy(Qt::NoFocus);
        box->hide();
        return box;
    };
    const auto label
        = [this](const char *name, const QString &caption, QRect geometry, bool autoSize) {
              auto *l = new CaptionLabel(m_client, autoSize);
              l->setObjectName(QLatin1String(name));
              l->setGeometry(geometry);
              l->setText(caption);
              return l;
          };
    const auto bordered = [](QLabel *l) {
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setLineWidth(1);
    };

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &Tavola::Timer1_Timer);

    Txtnome1 = hiddenBox("Txtnome1", QStringLiteral("Text8"), {552, 248, 89, 41});
    Text7 = hiddenBox("Text7", QStringLiteral("Text7"), {304, 232, 73, 73});
    Text6 = hiddenBox("Text6", QStringLiteral("Text6"), {688, 384, 161, 73});

    Command3 = new QPushButton(QStringLiteral("verifica"), m_client);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setGeometry(288, 128, 65, 29);
    Command3->setFocusPolicy(Qt::NoFocus);
    Command3->hide();
    connect(Command3, &QPushButton::clicked, this, &Tavola::Command3_Click);

    Text3 = new QLineEdit(QStringLiteral("Text3"), m_client);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setGeometry(208, 336, 457, 75);
    setColours(Text3, QColor(255, 255, 128), QColor(0, 0, 255));
    Text3->setFont(arialFont(48));
    Text3->setAlignment(Qt::AlignCenter);
    Text3->setMaxLength(250);
    Text3->setToolTip(QStringLiteral("Scrivi il numero e poi premi  il tasto Return (Invio)"));
    Text3->setAccessibleName(QStringLiteral("Risultato"));
    Text3->installEventFilter(this);

    Text1 = hiddenBox("Text1", QStringLiteral("0"), {240, 136, 129, 27});
    setColours(Text1, QColor(255, 128, 255), std::nullopt);
    Text1->setFont(sansFont(12, true));
    Text1->setMaxLength(12);

    cmdNext = new PictureButton(QStringLiteral("&Nuovo calcolo"), m_client);
    cmdNext->setObjectName(QStringLiteral("cmdNext"));
    cmdNext->setGeometry(208, 424, 121, 57);
    setColours(cmdNext, QColor(255, 128, 255), QColor(Qt::black));
    cmdNext->setAutoFillBackground(false);
    cmdNext->setFont(sansFont(8.25, true));
    QPalette nextPalette = cmdNext->palette();
    // Fusion's pale disabled text all but vanishes on the pink face.
    nextPalette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 80, 120));
    cmdNext->setPalette(nextPalette);
    cmdNext->setEnabled(false);
    cmdNext->setCursor(iconPointer());
    cmdNext->setToolTip(QStringLiteral("Usa il tasto Return(invio) per l'esercizio successivo"));
    cmdNext->setPictures(
        picture("face_up.svg"), picture("face_pressed.svg"), picture("face_disabled.svg"));
    connect(cmdNext, &QPushButton::clicked, this, &Tavola::cmdNext_Click);

    cmdExit1 = new PictureButton(QStringLiteral("E&xit"), m_client);
    cmdExit1->setObjectName(QStringLiteral("cmdExit1"));
    cmdExit1->setGeometry(544, 424, 121, 57);
    setColours(cmdExit1, QColor(0, 192, 192), QColor(Qt::black));
    cmdExit1->setAutoFillBackground(false);
    cmdExit1->setFont(sansFont(8.25, true));
    cmdExit1->setToolTip(QStringLiteral("Ti prego resta ancora, forse riuscirai a farmi uscire "));
    const QIcon exitPicture = picture("exit.svg");
    cmdExit1->setPictures(exitPicture, exitPicture, exitPicture);
    connect(cmdExit1, &QPushButton::clicked, this, &Tavola::cmdExit1_Click);

    lblMessage = label("lblMessage", QStringLiteral("io"), {424, 136, 87, 85}, true);
    setColours(lblMessage, std::nullopt, QColor(255, 0, 0));
    lblMessage->setFont(sansFont(24, true, true));
    lblMessage->setAlignment(Qt::AlignCenter);
    lblMessage->setCursor(iconPointer());

    lblconto = label("lblconto", clockStartText, {624, 80, 105, 25}, false);
    setColours(lblconto, QColor(128, 128, 255), QColor(255, 255, 0));
    lblconto->setFont(blackFont(12));
    lblconto->setAlignment(Qt::AlignCenter);
    bordered(lblconto);

    const auto factorLabel = [&](const char *name, const QString &caption, QRect geometry,
                                 QColor background, bool bold, bool autoSize, bool border) {
        CaptionLabel *l = label(name, caption, geometry, autoSize);
        setColours(l, background, std::nullopt);
        l->setFont(arialFont(48, bold));
        l->setAlignment(Qt::AlignCenter);
        if (border)
            bordered(l);
        l->hide();
        return l;
    };
    lblNum1 = factorLabel("lblNum1", {}, {256, 0, 23, 79}, QColor(0, 255, 255), true, true, true);
    Label10 = factorLabel("Label10", QStringLiteral("X"), {376, 8, 41, 65}, QColor(128, 255, 255),
        false, false, false);
    lblNum2 = factorLabel("lblNum2", {}, {504, 0, 23, 79}, QColor(0, 255, 255), true, true, true);

    Image1 = new QLabel(m_client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(659, 8, 32, 32);
    Image1->setPixmap(picture("alarmclock.svg").pixmap(32, 32));
    Image1->setToolTip(QStringLiteral("Clicca sotto di me per impostare il Timer"));

    const QColor yellow(255, 255, 0), lightYellow(255, 255, 128), purple(192, 0, 192),
        blue(0, 0, 255), red(255, 0, 0);
    Label11 = label("Label11", QStringLiteral("Tempo restante"), {618, 48, 121, 41}, false);
    setColours(Label11, std::nullopt, yellow);
    Label11->setFont(timesFont(14.25));

    Label14 = label("Label14", QStringLiteral("Sfidante"), {8, 424, 95, 28}, true);
    setColours(Label14, std::nullopt, yellow);
    Label14->setFont(sansFont(13.5));
    Label14->setAlignment(Qt::AlignCenter);
    bordered(Label14);

    lblnome1 = label("lblnome1", {}, {8, 480, 43, 28}, true);
    setColours(lblnome1, std::nullopt, yellow);
    lblnome1->setFont(sansFont(13.5, true));
    bordered(lblnome1);

    Label12 = label("Label12", QStringLiteral("Il record  è di "), {8, 512, 153, 25}, false);
    setColours(Label12, std::nullopt, purple);
    Label12->setFont(sansFont(18));

    lblnome = label("lblnome", QStringLiteral("nome"), {160, 512, 66, 29}, true);
    setColours(lblnome, std::nullopt, blue);
    lblnome->setFont(sansFont(18, true));

    Label13 = label("Label13", QStringLiteral("con punti"), {400, 512, 97, 29}, true);
    setColours(Label13, std::nullopt, purple);
    Label13->setFont(sansFont(18));

    lblpunti = label("lblpunti", QStringLiteral("0"), {512, 512, 13, 29}, true);
    setColours(lblpunti, std::nullopt, purple);
    lblpunti->setFont(sansFont(18));

    const auto counterLabel = [&](const char *name, const QString &caption, QRect geometry,
                                  QColor colour, bool bold, bool centred) {
        CaptionLabel *l = label(name, caption, geometry, true);
        setColours(l, std::nullopt, colour);
        l->setFont(timesFont(21.75, bold));
        if (centred)
            l->setAlignment(Qt::AlignCenter);
        bordered(l);
        return l;
    };
    Label1 = counterLabel(
        "Label1", QStringLiteral("Risposte errate"), {24, 104, 173, 37}, red, false, false);
    Label3 = counterLabel(
        "Label3", QStringLiteral("Risposte totali"), {24, 192, 167, 37}, blue, false, false);
    lblScore2
        = counterLabel("lblScore2", QStringLiteral("0"), {104, 240, 21, 36}, blue, true, true);
    lblScore1 = counterLabel("lblScore1", QStringLiteral("0"), {104, 144, 20, 36}, red, true, true);
    lblScore
        = counterLabel("lblScore", QStringLiteral("0"), {96, 56, 21, 36}, lightYellow, true, true);
    lblScore->setToolTip(QStringLiteral("Questo è il tuo punteggio. Forza con il  record"));
    Label6 = counterLabel(
        "Label6", QStringLiteral("Risposte esatte"), {24, 16, 175, 37}, lightYellow, false, true);

    m_client->setShapes({
        {QStringLiteral("Shape1"), {192, 328, 489, 89}, QColor(0, 255, 255), false},
        {QStringLiteral("Shape2"), {8, 8, 209, 281}, QColor(0, 255, 255), false},
        {QStringLiteral("Shape3"), {567, 3, 220, 131}, QColor(0, 255, 255), true},
        {QStringLiteral("Shape4"), {0, 0, 225, 297}, QColor(0, 192, 192), false},
        {QStringLiteral("Shape5"), {560, 0, 233, 137}, QColor(0, 192, 192), true},
    });

    // Auto-size labels fit their captions in the fonts and frames just given.
    for (CaptionLabel *l : m_client->findChildren<CaptionLabel *>())
        l->setCaption(l->caption());

    // Only the visible, enabled controls take the keyboard, in the order of their tab indexes.
    setTabOrder(cmdExit1, Text3);
    setTabOrder(Text3, cmdNext);
    cmdExit1->setFocus();
}

void Tavola::createMenus()
{
    QMenu *info = menuBar()->addMenu(QStringLiteral("&Informazioni"));
    info->addAction(QStringLiteral("Calvenza versione ") + QLatin1String(CALVENZA_VERSION));
    info->addAction(QStringLiteral("Un mago che insegna la tabellina dell'otto"));
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
    if (Character *merlin = m_services.agent->Item(QString::fromUtf16(narratorId)))
        issue(*merlin, script);
}

void Tavola::setFactorsVisible(bool visible)
{
    lblNum1->setVisible(visible);
    Label10->setVisible(visible);
    lblNum2->setVisible(visible);
}

void Tavola::say(const QString &text)
{
    m_services.dialogs->messageBox(text, appTitle);
}

void Tavola::Form_Load()
{
    m_counters = {};

    const QString answer
        = m_services.dialogs->inputBox(QStringLiteral("Come ti chiami?"), appTitle);
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
    lblnome1->setCaption(answer);
    if (lblnome1->caption().isEmpty())
        lblnome1->setCaption(QStringLiteral("Amico"));
    Txtnome1->setText(lblnome1->caption());

    ImpostaTimer();
    m_dirwindows = GetSystemDir();

    // A record that cannot be kept must not end the drill: say so, show it empty, go on.
    const RecordStore store(m_dirwindows);
    QString error;
    std::optional<Record> record;
    if (store.ensureFilesExist(&error))
        record = store.read(&error); // under the lock: points and name of the same pupil
    if (!record) {
        say(QStringLiteral("Non riesco a conservare il record su questo computer: si gioca lo "
                           "stesso, ma il record non potrà essere salvato.\n\n")
            + error);
    }
    lblpunti->setCaption(record ? record->points : QString());
    lblnome->setCaption(record ? record->name : QString());

    m_narratorReady = m_services.agent->Load(
        QString::fromUtf16(narratorId), QString::fromUtf16(narratorLoadKey));
    if (!m_narratorReady) {
        say(QStringLiteral("Il mago oggi non può venire: gli esercizi si leggono sullo schermo."
                           "\n\n")
            + m_services.agent->errorString());
    }
    present({NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(QStringLiteral("Announce")), NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(introduction)});

    setFactorsVisible(false);
}

void Tavola::Form_Activate()
{
    if (m_ended)
        return;
    cmdNext_Click();
    m_counters = {};
    lblconto->setCaption(clockStartText);
}

void Tavola::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Activation is tied to the first showing: with no window manager no activation ever comes,
    // and the wizard's own window must never run it again.
    if (!m_activated) {
        m_activated = true;
        QMetaObject::invokeMethod(this, &Tavola::Form_Activate, Qt::QueuedConnection);
    }
}

void Tavola::cmdNext_Click()
{
    if (m_ended)
        return;
    setFactorsVisible(false);
    lblMessage->setCaption(QString());

    m_exercise = drawExercise(*m_services.random);
    Text1->setText(QString::number(m_exercise.num1));
    lblNum1->setCaption(QString::number(m_exercise.num1));
    Text6->setText(QString::number(m_exercise.num2));
    lblNum2->setCaption(QString::number(m_exercise.num2));
    Text7->setText(QString::number(m_exercise.prodotto));
    Text6->setText(numlett(Text6->text()));

    present(dictation(Text1->text(), Text6->text()));

    Text3->clear();
    Text3->setFocus();
    m_client->setGradient(m_exercise.num1, m_exercise.numcolore);
}

bool Tavola::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text3 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            Text3_KeyPress(QChar(13));
        else if (key->key() == Qt::Key_Backspace)
            Text3_KeyPress(QChar(8));
        else if (!key->text().isEmpty())
            Text3_KeyPress(key->text().front());
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tavola::Text3_KeyPress(QChar keyAscii)
{
    if (m_ended)
        return;
    m_client->clearDrawing();
    setFactorsVisible(true);
    if (keyAscii.unicode() == 13)
        Command3_Click();
}

void Tavola::Command3_Click()
{
    if (m_ended)
        return;
    setFactorsVisible(false);

    const auto colourMessage = [this](QColor colour) {
        QPalette pal = lblMessage->palette();
        pal.setColor(QPalette::WindowText, colour);
        lblMessage->setPalette(pal);
    };
    if (isRightAnswer(Text3->text(), Text7->text())) {
        colourMessage(QColor(0, 0, 255));
        lblMessage->setCaption(verdictRight);
        m_counters.addRight();
        // The score shown is still the one before this answer: the ladder counts from it.
        present(reactionToRight(lblScore->caption().toInt(), Txtnome1->text(), Text7->text()));
    } else {
        colourMessage(QColor(255, 0, 0));
        lblMessage->setCaption(verdictWrong(Text7->text()));
        m_counters.addWrong();
        present(reactionToWrong(Text7->text()));
        lblScore1->setCaption(QString::number(m_counters.numerrate));
    }
    lblScore->setCaption(QString::number(m_counters.numesatte));
    lblScore2->setCaption(QString::number(m_counters.total()));
    cmdNext->setEnabled(true);
    cmdNext->setFocus();
}

void Tavola::cmdExit1_Click()
{
    // One farewell only: a tick or a second click while its box is open is held back.
    if (m_farewellStarted || m_ended)
        return;
    m_farewellStarted = true;
    Timer1->stop();

    say(QStringLiteral("Ciao. Ti aspetto per la prossima sfida "));
    const double record = recordValue(lblpunti->caption());
    const double score = recordValue(lblScore->caption());
    if (record < score) {
        QString error;
        if (RecordStore(m_dirwindows).write(lblScore->caption(), lblnome1->caption(), &error)) {
            say(QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\""));
        } else {
            say(QStringLiteral("Mi dispiace, non sono riuscito a salvare il tuo record: il record "
                               "di prima resta com'era.\n\n")
                + error);
        }
    }
    endProgram();
}

void Tavola::Timer1_Timer()
{
    if (m_farewellStarted || m_ended)
        return;
    if (lblconto->caption() == clockEndText) {
        cmdExit1_Click();
        return;
    }
    m_clock.countDown();
    lblconto->setCaption(m_clock.text());
}

void Tavola::ImpostaTimer()
{
    Timer1->start();
    m_clock.arm();
}

QString Tavola::GetSystemDir() const
{
    return m_services.dataDirectory->location();
}

QString Tavola::numlett(const QString &number) const
{
    return calvenza::numlett(Currency::fromText(number));
}

void Tavola::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    Timer1->stop();
    m_services.agent->stopAll();
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

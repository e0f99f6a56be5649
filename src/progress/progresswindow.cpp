#include "progress/progresswindow.h"

#include "memory/historyreader.h"
#include "platform/dialogs.h"
#include "progress/challengechart.h"
#include "progress/factmodel.h"
#include "school/schoolhistory.h"
#include "school/serviceconfig.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QImageWriter>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace calvenza {

namespace {

const QString title = QStringLiteral("Calvenza");
const QColor outlineColour(0x1a, 0x3a, 0x8f);

// The window's title and the picture's heading; the challenge's stand-in name for a pupil who
// typed none is a boy's, so that pupil is named otherwise.
QString pictureTitle(const QString &pupil)
{
    if (pupilKey(pupil) == pupilKey(QString()))
        return QStringLiteral("La tavola pitagorica di chi gioca senza nome");
    return QStringLiteral("La tavola pitagorica di %1").arg(pupil);
}

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText); // a name is shown as typed, never as markup
    label->setWordWrap(true);
    return label;
}

// The colours, and the outline when some fact is outlined.
QWidget *legend(QWidget *parent, bool withOutline)
{
    auto *box = new QWidget(parent);
    auto *layout = new QGridLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    int place = 0;
    for (const FactStanding standing : {FactStanding::NeverAsked, FactStanding::MostlyWrong,
             FactStanding::Learning, FactStanding::Known}) {
        layout->addWidget(standingSwatch(standing, box), place / 2, place % 2 * 2);
        auto *words = plainLabel(standingWords(standing), box);
        words->setWordWrap(false);
        layout->addWidget(words, place / 2, place % 2 * 2 + 1);
        ++place;
    }
    if (withOutline) {
        QPixmap frame(16, 16);
        frame.fill(Qt::white);
        QPainter painter(&frame);
        painter.setPen(QPen(outlineColour, 3));
        painter.drawRect(frame.rect().adjusted(1, 1, -2, -2));
        auto *swatch = new QLabel(box);
        swatch->setPixmap(frame);
        layout->addWidget(swatch, place / 2, place % 2 * 2);
        auto *words = plainLabel(QStringLiteral("migliorata oggi"), box);
        words->setWordWrap(false);
        layout->addWidget(words, place / 2, place % 2 * 2 + 1);
    }
    return box;
}

} // namespace

void FactCellDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The cell keeps its colour when chosen: the keyboard's place is a black frame.
    QStyleOptionViewItem plain = option;
    plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    QStyledItemDelegate::paint(painter, plain, index);
    painter->save();
    if (index.data(FactModel::OutlinedRole).toBool()) {
        painter->setPen(QPen(outlineColour, 3));
        painter->drawRect(option.rect.adjusted(2, 2, -2, -2));
    }
    if (option.state & QStyle::State_HasFocus) {
        painter->setPen(QPen(Qt::black, 2, Qt::DashLine));
        painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
    }
    painter->restore();
}

QLabel *standingSwatch(FactStanding standing, QWidget *parent)
{
    auto *swatch = new QLabel(parent);
    swatch->setFixedSize(16, 16);
    swatch->setAutoFillBackground(true);
    QPalette palette = swatch->palette();
    palette.setColor(QPalette::Window, standingColour(standing));
    swatch->setPalette(palette);
    swatch->setFrameShape(QFrame::Box);
    return swatch;
}

ProgressWindow::ProgressWindow(
    const QString &dataDirectory, const QString &pupil, const QList<Fact> &movedUp, QWidget *parent)
    : QDialog(parent)
    , m_model(new FactModel(this))
    , m_pupil(pupilName(pupil))
{
    // Shown as first typed, whatever the case typed now.
    for (const QString &known : knownPupils(dataDirectory))
        if (pupilKey(known) == pupilKey(pupil))
            m_pupil = known;
    Problem factsProblem;
    Problem challengesProblem;
    // This machine's answers at once; the school's, when there is one, as soon as they come.
    build(factsOf(dataDirectory, m_pupil, &factsProblem), factsProblem,
        challengesOf(dataDirectory, m_pupil, &challengesProblem), challengesProblem, movedUp);
    schoolAnswersLater(dataDirectory, m_pupil)
        .then(this,
            [this, atSchool = schoolServiceDefined()](
                const std::optional<QList<AnswerRecord>> &there) {
                if (there)
                    m_model->setFacts(FactTable::fromAnswers(*there));
                else if (atSchool)
                    m_schoolNote->show();
            });
}

ProgressWindow::ProgressWindow(const QString &pupil, const FactTable &facts,
    const QList<ChallengeRecord> &challenges, const Problem &challengesNote, QWidget *parent)
    : QDialog(parent)
    , m_model(new FactModel(this))
    , m_pupil(pupilName(pupil))
{
    build(facts, {}, challenges, challengesNote, {});
}

void ProgressWindow::build(const FactTable &facts, const Problem &factsProblem,
    const QList<ChallengeRecord> &challenges, const Problem &challengesProblem,
    const QList<Fact> &movedUp)
{
    setWindowTitle(pictureTitle(m_pupil));
    m_model->setFacts(facts);
    m_model->setOutlined(movedUp);

    m_picture = new QWidget(this);
    m_picture->setAutoFillBackground(true);
    auto *pictureLayout = new QVBoxLayout(m_picture);
    auto *heading = plainLabel(pictureTitle(m_pupil), m_picture);
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    pictureLayout->addWidget(heading);

    m_view = new QTableView(m_picture);
    m_view->setModel(m_model);
    m_view->setItemDelegate(new FactCellDelegate(m_view));
    m_view->setAccessibleName(pictureTitle(m_pupil));
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setTabKeyNavigation(false);
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->horizontalHeader()->setDefaultSectionSize(48);
    m_view->verticalHeader()->setDefaultSectionSize(32);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_view->verticalHeader()->setFixedWidth(32);
    m_view->horizontalHeader()->setFixedHeight(26);
    const int frame = 2 * m_view->frameWidth();
    m_view->setFixedSize(32 + 10 * 48 + frame, 26 + 10 * 32 + frame);
    m_view->setCurrentIndex(m_model->index(0, 0));
    pictureLayout->addWidget(m_view, 0, Qt::AlignHCenter);
    pictureLayout->addWidget(legend(m_picture, !movedUp.isEmpty()));
    // The picture (and the image saved of it) says the sentence; the details are for the console.
    if (!factsProblem.isEmpty()) {
        pictureLayout->addWidget(plainLabel(factsProblem.sentence, m_picture));
        qWarning("calvenza: %s", qUtf8Printable(factsProblem.details));
    }

    m_schoolNote = plainLabel(QStringLiteral("Il server della scuola non risponde: qui ci sono "
                                             "solo le risposte date su questo computer."),
        m_picture);
    m_schoolNote->hide();
    pictureLayout->addWidget(m_schoolNote);

    pictureLayout->addWidget(
        plainLabel(QStringLiteral("Le sfide giorno per giorno: risposte giuste in ogni sfida, "
                                  "una linea per tabellina"),
            m_picture));
    m_chart = new ChallengeChart(m_picture);
    m_chart->setChallenges(challenges);
    pictureLayout->addWidget(m_chart, 1);
    if (factsProblem.isEmpty() && !challengesProblem.isEmpty()) {
        pictureLayout->addWidget(plainLabel(challengesProblem.sentence, m_picture));
        if (!challengesProblem.details.isEmpty())
            qWarning("calvenza: %s", qUtf8Printable(challengesProblem.details));
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto *save = buttons->addButton(
        QStringLiteral("&Salva come immagine..."), QDialogButtonBox::ActionRole);
    QPushButton *close = buttons->button(QDialogButtonBox::Close);
    close->setText(QStringLiteral("&Chiudi"));
    // A pupil still pressing Enter from the drill neither opens a save box nor closes the picture
    // before he has seen it: it closes with Esc or Chiudi.
    save->setAutoDefault(false);
    close->setAutoDefault(false);
    connect(save, &QPushButton::clicked, this, &ProgressWindow::askWhereToSave);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->addWidget(m_picture, 1);
    layout->addWidget(buttons);
    m_view->setFocus();
}

bool ProgressWindow::savePicture(const QString &path, QString *error, QString *details) const
{
    QImageWriter writer(path, "png");
    if (writer.write(m_picture->grab().toImage()))
        return true;
    if (error)
        *error = QStringLiteral("Non riesco a salvare l'immagine lì: prova in un'altra cartella.");
    if (details)
        *details = QDir::toNativeSeparators(path) + QStringLiteral(": ") + writer.errorString();
    return false;
}

void ProgressWindow::askWhereToSave()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Salva la tavola"),
        QDir(folder).filePath(pictureTitle(m_pupil) + QStringLiteral(".png")),
        QStringLiteral("Immagini PNG (*.png)"));
    if (path.isEmpty())
        return;
    QString error;
    QString details;
    if (!savePicture(path, &error, &details))
        QtDialogs().messageBox(this, error, title, details);
}

ProgressWindow *showProgress(
    QWidget *parent, const QString &dataDirectory, const QString &pupil, const QList<Fact> &movedUp)
{
    auto *window = new ProgressWindow(dataDirectory, pupil, movedUp, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QString choosePupil(QWidget *parent, const QString &dataDirectory)
{
    Problem problem;
    const QStringList pupils = knownPupils(dataDirectory, &problem);
    if (!problem.isEmpty())
        qWarning("calvenza: %s", qUtf8Printable(problem.details));
    if (pupils.isEmpty()) {
        QMessageBox::information(parent, title,
            problem.isEmpty() ? QStringLiteral("Su questo computer non c'è ancora nessuna "
                                               "risposta: gioca una sfida e poi torna qui.")
                              : problem.sentence);
        return {};
    }
    QInputDialog chooser(parent);
    chooser.setWindowTitle(title);
    chooser.setLabelText(QStringLiteral("Di chi vuoi vedere la tavola pitagorica?"));
    chooser.setComboBoxItems(pupils);
    chooser.setComboBoxEditable(false);
    return chooser.exec() == QDialog::Accepted ? chooser.textValue() : QString();
}

namespace {

// A name alone also stands for the one pupil of that name in a class, when this computer knows
// no other of that name.
QString knownAs(const QString &dataDirectory, const QString &pupil)
{
    QStringList inAClass;
    for (const QString &known : knownPupils(dataDirectory)) {
        if (pupilKey(known) == pupilKey(pupil))
            return pupil;
        if (pupilKey(splitPupilLabel(known).name) == pupilKey(pupil))
            inAClass << known;
    }
    return inAClass.size() == 1 ? inAClass.constFirst() : pupil;
}

} // namespace

int runProgressPicture(const QString &dataDirectory, const QString &pupil)
{
    const QString shown = pupil.trimmed().isEmpty() ? choosePupil(nullptr, dataDirectory)
                                                    : knownAs(dataDirectory, pupil);
    if (shown.isEmpty())
        return 0;
    ProgressWindow window(dataDirectory, shown);
    window.exec();
    return 0;
}

} // namespace calvenza

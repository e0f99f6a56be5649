#include "progress/progresswindow.h"

#include "drill/answer.h"
#include "memory/historyreader.h"
#include "platform/dialogs.h"
#include "progress/challengechart.h"
#include "progress/factmodel.h"
#include "school/schoolhistory.h"
#include "school/serviceconfig.h"
#include "ui_progresswindow.h"

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

// The colours, two a row, and the outline when some fact is outlined.
void fillLegend(QGridLayout *layout, bool withOutline)
{
    QWidget *box = layout->parentWidget();
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

void fitTavola(QTableView *view, int rowHeaderWidth, int columnHeaderHeight)
{
    QHeaderView *columns = view->horizontalHeader();
    QHeaderView *rows = view->verticalHeader();
    for (QHeaderView *header : {columns, rows})
        header->setSectionResizeMode(QHeaderView::Fixed);
    rows->setFixedWidth(rowHeaderWidth);
    columns->setFixedHeight(columnHeaderHeight);
    const int frame = 2 * view->frameWidth();
    view->setFixedSize(
        rowHeaderWidth + view->model()->columnCount() * columns->defaultSectionSize() + frame,
        columnHeaderHeight + view->model()->rowCount() * rows->defaultSectionSize() + frame);
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
    , m_ui(std::make_unique<Ui::ProgressWindow>())
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
                    m_ui->schoolNote->show();
            });
}

ProgressWindow::ProgressWindow(const QString &pupil, const FactTable &facts,
    const QList<ChallengeRecord> &challenges, const Problem &challengesNote, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ProgressWindow>())
    , m_model(new FactModel(this))
    , m_pupil(pupilName(pupil))
{
    build(facts, {}, challenges, challengesNote, {});
}

ProgressWindow::~ProgressWindow() = default;

QTableView *ProgressWindow::view() const
{
    return m_ui->view;
}

QLabel *ProgressWindow::schoolNote() const
{
    return m_ui->schoolNote;
}

void ProgressWindow::build(const FactTable &facts, const Problem &factsProblem,
    const QList<ChallengeRecord> &challenges, const Problem &challengesProblem,
    const QList<Fact> &movedUp)
{
    m_ui->setupUi(this);
    setWindowTitle(pictureTitle(m_pupil));
    m_model->setFacts(facts);
    m_model->setOutlined(movedUp);

    m_ui->heading->setText(pictureTitle(m_pupil));
    // Larger than the desktop's own font, whatever size that is.
    QFont headingFont = m_ui->heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    m_ui->heading->setFont(headingFont);

    QTableView *view = m_ui->view;
    view->setModel(m_model);
    view->setItemDelegate(new FactCellDelegate(view));
    view->setAccessibleName(pictureTitle(m_pupil));
    view->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    fitTavola(view, 32, 26);
    view->setCurrentIndex(m_model->index(0, 0));
    fillLegend(m_ui->legendLayout, !movedUp.isEmpty());
    // The picture (and the image saved of it) says the sentence; the details are for the console.
    if (!factsProblem.isEmpty()) {
        m_ui->factsNote->setText(factsProblem.sentence);
        m_ui->factsNote->show();
        qWarning("calvenza: %s", qUtf8Printable(factsProblem.details));
    }

    m_ui->chart->setChallenges(challenges);
    if (factsProblem.isEmpty() && !challengesProblem.isEmpty()) {
        m_ui->challengesNote->setText(challengesProblem.sentence);
        m_ui->challengesNote->show();
        if (!challengesProblem.details.isEmpty())
            qWarning("calvenza: %s", qUtf8Printable(challengesProblem.details));
    }

    // A form cannot put buttons of its own in a button box.
    auto *save = m_ui->buttons->addButton(
        QStringLiteral("&Salva come immagine..."), QDialogButtonBox::ActionRole);
    QPushButton *close = m_ui->buttons->button(QDialogButtonBox::Close);
    close->setText(QStringLiteral("&Chiudi"));
    // A pupil still pressing Enter from the drill neither opens a save box nor closes the picture
    // before he has seen it: it closes with Esc or Chiudi.
    save->setAutoDefault(false);
    close->setAutoDefault(false);
    connect(save, &QPushButton::clicked, this, &ProgressWindow::askWhereToSave);
    view->setFocus();
}

bool ProgressWindow::savePicture(const QString &path, QString *error, QString *details) const
{
    QImageWriter writer(path, "png");
    if (writer.write(m_ui->picture->grab().toImage()))
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

QString choosePupil(QWidget *parent, const QString &dataDirectory, const QString &pupilClass)
{
    Problem problem;
    QStringList pupils = knownPupils(dataDirectory, &problem);
    if (!problem.isEmpty())
        qWarning("calvenza: %s", qUtf8Printable(problem.details));
    if (!pupilClass.isEmpty())
        pupils = pupilsOfClass(pupils, pupilClass);
    if (pupils.isEmpty()) {
        const QString none = pupilClass.isEmpty()
            ? QStringLiteral("Su questo computer non c'è ancora nessuna risposta: gioca una "
                             "sfida e poi torna qui.")
            : QStringLiteral("Su questo computer non c'è ancora nessuna risposta della classe "
                             "%1: gioca una sfida e poi torna qui.")
                  .arg(pupilClass);
        QMessageBox::information(parent, title, problem.isEmpty() ? none : problem.sentence);
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

int runProgressPicture(
    const QString &dataDirectory, const QString &pupil, const QString &pupilClass)
{
    const QString shown = pupil.trimmed().isEmpty()
        ? choosePupil(nullptr, dataDirectory, pupilClass)
        : knownAs(dataDirectory, pupil);
    if (shown.isEmpty())
        return 0;
    ProgressWindow window(dataDirectory, shown);
    window.exec();
    return 0;
}

} // namespace calvenza

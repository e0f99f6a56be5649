#include "register/registerwindow.h"

#include "progress/factmodel.h"
#include "progress/progresswindow.h"
#include "register/classlist.h"
#include "register/registermodels.h"
#include "register/registerprint.h"
#include "register/serverclasssource.h"
#include "ui_mergepupils.h"
#include "ui_registerwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QStringListModel>
#include <QTableView>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

namespace calvenza {

namespace {

const QString title = QStringLiteral("Registro di classe");

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText); // a pupil's name is shown as typed, never as markup
    label->setWordWrap(true);
    return label;
}

QString tablesText(const QList<int> &tables)
{
    QStringList numbers;
    for (const int table : tables)
        numbers << QString::number(table);
    return numbers.join(QStringLiteral(", "));
}

// The standings' colours, one a row.
void fillLegend(QGridLayout *layout)
{
    QWidget *box = layout->parentWidget();
    int place = 0;
    for (const FactStanding standing : {FactStanding::Known, FactStanding::Learning,
             FactStanding::MostlyWrong, FactStanding::NeverAsked}) {
        layout->addWidget(standingSwatch(standing, box), place, 0);
        layout->addWidget(plainLabel(classStandingWords(standing), box), place, 1);
        ++place;
    }
}

} // namespace

RegisterWindow::RegisterWindow(ClassSource &source, OpenPupil openPupil, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::RegisterWindow>())
    , m_source(source)
    , m_openPupil(std::move(openPupil))
    , m_classModel(new ClassFactModel(this))
    , m_pupilModel(new PupilTableModel(this))
    , m_pupilProxy(new QSortFilterProxyModel(this))
    , m_missedModel(new QStringListModel(this))
    , m_machineModel(new MachineTableModel(this))
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint);

    m_ui->classView->setModel(m_classModel);
    m_ui->classView->setItemDelegate(new FactCellDelegate(m_ui->classView));
    fitTavola(m_ui->classView, 30, 26);
    m_ui->classView->setCurrentIndex(m_classModel->index(0, 0));
    fillLegend(m_ui->legendLayout);

    m_pupilProxy->setSourceModel(m_pupilModel);
    m_pupilProxy->setSortRole(PupilTableModel::SortRole);
    m_ui->pupilView->setModel(m_pupilProxy);
    m_ui->pupilView->sortByColumn(PupilTableModel::Name, Qt::AscendingOrder);
    connect(m_ui->pupilView, &QTableView::activated, this, &RegisterWindow::openPupilAt);

    m_ui->missedView->setModel(m_missedModel);
    m_ui->machineView->setModel(m_machineModel);
    // A computer falls silent with nothing new from the server: its line is looked at again.
    auto *clock = new QTimer(this);
    clock->setInterval(60 * 1000);
    connect(clock, &QTimer::timeout, this,
        [this] { m_machineModel->setNow(QDateTime::currentDateTimeUtc()); });
    clock->start();

    connect(m_ui->refreshButton, &QPushButton::clicked, this, &RegisterWindow::refresh);
    auto *refreshKey = new QShortcut(QKeySequence::Refresh, this);
    connect(refreshKey, &QShortcut::activated, this, &RegisterWindow::refresh);

    // A form cannot put buttons of its own in a button box.
    QDialogButtonBox *buttons = m_ui->buttons;
    auto *printButton
        = buttons->addButton(QStringLiteral("&Stampa..."), QDialogButtonBox::ActionRole);
    auto *pdfButton
        = buttons->addButton(QStringLiteral("Salva come &PDF..."), QDialogButtonBox::ActionRole);
    auto *exportButton
        = buttons->addButton(QStringLiteral("&Esporta..."), QDialogButtonBox::ActionRole);
    exportButton->setToolTip(QStringLiteral("Gli alunni della classe in un foglio di calcolo"));
    QPushButton *close = buttons->button(QDialogButtonBox::Close);
    close->setText(QStringLiteral("&Chiudi"));
    // Enter in the pupils' table opens a pupil; it must not also press a button.
    for (QPushButton *button : {printButton, pdfButton, exportButton, close})
        button->setAutoDefault(false);
    connect(printButton, &QPushButton::clicked, this, &RegisterWindow::print);
    connect(pdfButton, &QPushButton::clicked, this, &RegisterWindow::askWhereToSavePdf);
    connect(exportButton, &QPushButton::clicked, this, &RegisterWindow::askWhereToExport);

    const std::pair<QPushButton *, void (RegisterWindow::*)()> keeping[] = {
        {m_ui->importButton, &RegisterWindow::importClassList},
        {m_ui->addPupilButton, &RegisterWindow::addPupil},
        {m_ui->renameButton, &RegisterWindow::renamePupil},
        {m_ui->moveButton, &RegisterWindow::movePupil},
        {m_ui->mergeButton, &RegisterWindow::mergePupils},
        {m_ui->tablesButton, &RegisterWindow::chooseTables},
    };
    // The box's buttons join the end of the Tab order; the row kept for the school's server
    // comes after them.
    QWidget *previous = close;
    for (const auto &[button, action] : keeping) {
        connect(button, &QPushButton::clicked, this, action);
        QWidget::setTabOrder(previous, button);
        previous = button;
    }

    connect(m_ui->classChooser, &QComboBox::currentIndexChanged, this, &RegisterWindow::refresh);
    loadClasses();
    m_ui->pupilView->setFocus();
}

RegisterWindow::~RegisterWindow()
{
    for (QThread *reader : std::as_const(m_readers)) {
        disconnect(reader, nullptr, this, nullptr);
        reader->wait();
        delete reader;
    }
}

QTableView *RegisterWindow::pupilView() const
{
    return m_ui->pupilView;
}

QTableView *RegisterWindow::classView() const
{
    return m_ui->classView;
}

void RegisterWindow::readAside(std::function<std::function<void()>()> read)
{
    auto then = std::make_shared<std::function<void()>>();
    QThread *reader = QThread::create([read = std::move(read), then] { *then = read(); });
    m_readers << reader;
    connect(reader, &QThread::finished, this, [this, reader, then] {
        m_readers.removeOne(reader);
        reader->deleteLater();
        (*then)();
    });
    reader->start();
}

void RegisterWindow::loadClasses()
{
    if (isReading()) {
        m_readAgain = true; // once the read under way is done
        return;
    }
    m_ui->status->setText(QStringLiteral("Leggo le classi..."));
    ClassSource *source = &m_source;
    readAside([this, source]() -> std::function<void()> {
        auto problem = std::make_shared<Problem>();
        auto classes = std::make_shared<QList<SchoolClass>>(source->classes(problem.get()));
        return [this, problem, classes] {
            // The class in sight stays in sight when the list is read again.
            const bool wasShown = m_ui->classChooser->currentIndex() >= 0;
            const QString shown = chosenClassId();
            m_classes = *classes;
            {
                const QSignalBlocker quiet(m_ui->classChooser);
                m_ui->classChooser->clear();
                for (const SchoolClass &schoolClass : std::as_const(m_classes)) {
                    m_ui->classChooser->addItem(schoolClass.name);
                    if (wasShown && schoolClass.id == shown)
                        m_ui->classChooser->setCurrentIndex(m_ui->classChooser->count() - 1);
                }
            }
            if (!problem->isEmpty()) {
                m_ui->status->setText(problem->sentence);
                qWarning("calvenza: %s", qUtf8Printable(problem->fullText()));
            }
            m_readAgain = false;
            // With none (the server refused), F5 or the server's return reads them again.
            if (!m_classes.isEmpty())
                refresh();
        };
    });
}

void RegisterWindow::refresh()
{
    if (m_classes.isEmpty()) {
        loadClasses(); // the server may have been away when the window opened
        return;
    }
    const int chosen = m_ui->classChooser->currentIndex();
    if (chosen < 0 || chosen >= m_classes.size())
        return;
    if (isReading()) {
        m_readAgain = true;
        return;
    }
    ClassSource *source = &m_source;
    ServerClassSource *keeper = m_keeper;
    const SchoolClass schoolClass = m_classes.at(chosen);
    readAside([this, source, keeper, schoolClass]() -> std::function<void()> {
        auto problem = std::make_shared<Problem>();
        auto report = std::make_shared<ClassReport>(
            source->report(schoolClass, QDateTime::currentDateTimeUtc(), problem.get()));
        Problem otherProblem;
        auto machines = std::make_shared<QList<MachineContact>>(
            problem->isEmpty() ? source->machines(&otherProblem) : QList<MachineContact>());
        std::optional<QList<int>> tables;
        if (keeper && problem->isEmpty() && !schoolClass.id.isEmpty())
            tables = keeper->classTables(schoolClass.id, &otherProblem);
        return [this, problem, report, machines, tables] {
            m_ui->tablesLabel->setVisible(tables.has_value());
            if (tables)
                m_ui->tablesLabel->setText(tables->isEmpty()
                        ? QStringLiteral("Ripasso di questa settimana: ogni computer sceglie le "
                                         "tabelline da sé.")
                        : QStringLiteral("Ripasso di questa settimana: %1.")
                              .arg(tablesText(*tables)));
            showReport(*report, *problem, *machines);
            if (std::exchange(m_readAgain, false))
                refresh();
        };
    });
}

void RegisterWindow::showReport(
    const ClassReport &report, const Problem &problem, const QList<MachineContact> &machines)
{
    m_machineModel->setMachines(machines, report.at);
    m_ui->machineView->setVisible(!machines.isEmpty());
    m_ui->machineLabel->setVisible(!machines.isEmpty());
    m_ui->machineView->resizeColumnsToContents();
    // Where the teacher stands in the pupils' table stays there as the figures change.
    const QModelIndex current = m_ui->pupilView->currentIndex();
    const QString currentId = current.isValid()
        ? m_pupilModel->pupil(m_pupilProxy->mapToSource(current).row()).id
        : QString();
    m_report = report;
    m_classModel->setReport(m_report);
    m_pupilModel->setReport(m_report);
    m_ui->pupilView->resizeColumnsToContents();
    QStringList missed;
    for (const Fact &fact : m_report.missedMost())
        missed << missedFactText(fact, m_report.fact(fact), int(m_report.pupils.size()));
    if (missed.isEmpty())
        missed << QStringLiteral("Nessuna moltiplicazione è sbagliata spesso.");
    m_missedModel->setStringList(missed);
    int row = 0;
    for (int i = 0; i < m_report.pupils.size(); ++i)
        if (m_report.pupils.at(i).id == currentId)
            row = m_pupilProxy->mapFromSource(m_pupilModel->index(i, 0)).row();
    if (m_pupilProxy->rowCount() > 0)
        m_ui->pupilView->setCurrentIndex(
            m_pupilProxy->index(row, current.isValid() ? current.column() : 0));

    const QString when = QLocale(QLocale::Italian, QLocale::Italy)
                             .toString(m_report.at.toLocalTime().time(), QStringLiteral("HH:mm"));
    if (!problem.isEmpty()) {
        m_ui->status->setText(problem.fullText());
        qWarning("calvenza: %s", qUtf8Printable(problem.details));
    } else if (m_report.pupils.isEmpty())
        m_ui->status->setText(QStringLiteral("Nessun alunno ha ancora risposto in questa classe. "
                                             "Aggiornato alle %1.")
                                  .arg(when));
    else
        m_ui->status->setText(QStringLiteral("%1 alunni. Aggiornato alle %2 (F5 per aggiornare).")
                                  .arg(m_report.pupils.size())
                                  .arg(when));
    emit refreshed();
}

void RegisterWindow::openPupilAt(const QModelIndex &index)
{
    const QModelIndex source = m_pupilProxy->mapToSource(index);
    if (source.isValid() && m_openPupil)
        m_openPupil(this, m_pupilModel->pupil(source.row()));
}

void RegisterWindow::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Registro di classe - %1").arg(m_report.className));
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Stampa il registro"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    registerDocument(m_report, m_source)->print(&printer);
}

void RegisterWindow::askWhereToSavePdf()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Salva come PDF"),
        QDir(folder).filePath(QStringLiteral("registro di classe.pdf")),
        QStringLiteral("Documenti PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveRegisterPdf(path, m_report, m_source, &error))
        QMessageBox::warning(this, title, error);
}

void RegisterWindow::setClassKeeper(ServerClassSource *keeper)
{
    m_keeper = keeper;
    m_ui->keeperButtons->setVisible(keeper != nullptr);
}

QString RegisterWindow::chosenClassId() const
{
    const int chosen = m_ui->classChooser->currentIndex();
    return chosen >= 0 && chosen < m_classes.size() ? m_classes.at(chosen).id : QString();
}

const PupilFigures *RegisterWindow::chosenPupil() const
{
    const QModelIndex source = m_pupilProxy->mapToSource(m_ui->pupilView->currentIndex());
    return source.isValid() ? &m_pupilModel->pupil(source.row()) : nullptr;
}

void RegisterWindow::changeAside(std::function<bool(ServerClassSource &, Problem *)> change)
{
    if (!m_keeper)
        return;
    ServerClassSource *keeper = m_keeper;
    m_ui->status->setText(QStringLiteral("Scrivo sul server della scuola..."));
    readAside([this, keeper, change = std::move(change)]() -> std::function<void()> {
        auto problem = std::make_shared<Problem>();
        const bool done = change(*keeper, problem.get());
        return [this, done, problem] {
            if (!done && !problem->isEmpty())
                QMessageBox::warning(this, title, problem->fullText());
            loadClasses(); // a class may be new
        };
    });
}

void RegisterWindow::importClassList()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Importa un elenco"),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        QStringLiteral("Elenchi CSV (*.csv *.txt);;Tutti i file (*)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    // A class list is a few kilobytes; a file much larger is not one.
    if (!file.open(QIODevice::ReadOnly) || file.size() > qint64(4) * 1024 * 1024) {
        QMessageBox::warning(this, title,
            QStringLiteral("Non riesco a leggere «%1»: %2.")
                .arg(QDir::toNativeSeparators(path),
                    file.isOpen() ? QStringLiteral("è troppo grande per un elenco")
                                  : file.errorString()));
        return;
    }
    const ClassList list = parseClassList(file.readAll());
    QString question = QStringLiteral("Nell'elenco ci sono %1 alunni.").arg(list.rows.size());
    if (!list.problems.isEmpty())
        question += QStringLiteral("\n\nRighe che non riesco a leggere (le salto):\n")
            + list.problems.mid(0, 15).join(u'\n')
            + (list.problems.size() > 15 ? QStringLiteral("\n...") : QString());
    if (list.rows.isEmpty()) {
        QMessageBox::warning(this, title, question);
        return;
    }
    if (QMessageBox::question(this, title, question + QStringLiteral("\n\nLi aggiungo?"))
        != QMessageBox::Yes)
        return;
    changeAside([rows = list.rows](ServerClassSource &keeper, Problem *problem) {
        return keeper.importClassList(rows, problem).has_value();
    });
}

void RegisterWindow::addPupil()
{
    const QString classId = chosenClassId();
    bool ok = false;
    const QString name = QInputDialog::getText(this, title,
        QStringLiteral("Nome e cognome del nuovo alunno:"), QLineEdit::Normal, {}, &ok);
    if (ok && !name.trimmed().isEmpty())
        changeAside([classId, name](ServerClassSource &keeper, Problem *problem) {
            return keeper.addPupil(classId, name, problem);
        });
}

void RegisterWindow::renamePupil()
{
    const PupilFigures *pupil = chosenPupil();
    if (!pupil)
        return;
    bool ok = false;
    const QString name = QInputDialog::getText(this, title,
        QStringLiteral("Il nuovo nome di %1:").arg(pupil->name), QLineEdit::Normal, pupil->name,
        &ok);
    if (ok && !name.trimmed().isEmpty())
        changeAside([id = pupil->id, name](ServerClassSource &keeper, Problem *problem) {
            return keeper.renamePupil(id, name, problem);
        });
}

void RegisterWindow::movePupil()
{
    const PupilFigures *pupil = chosenPupil();
    if (!pupil)
        return;
    QStringList names;
    for (const SchoolClass &schoolClass : std::as_const(m_classes))
        names << schoolClass.name;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, title,
        QStringLiteral("In quale classe va %1?").arg(pupil->name), names, 0, false, &ok);
    const qsizetype place = names.indexOf(chosen);
    if (ok && place >= 0)
        changeAside([id = pupil->id, classId = m_classes.at(place).id](ServerClassSource &keeper,
                        Problem *problem) { return keeper.movePupil(id, classId, problem); });
}

void RegisterWindow::mergePupils()
{
    const PupilFigures *chosen = chosenPupil();
    if (!chosen || m_report.pupils.size() < 2)
        return;
    QDialog dialog(this);
    Ui::MergePupils form;
    form.setupUi(&dialog);
    for (const PupilFigures &pupil : std::as_const(m_report.pupils)) {
        form.going->addItem(pupil.name, pupil.id);
        form.staying->addItem(pupil.name, pupil.id);
    }
    // The name chosen in the table goes; the one beside it in the list is offered to stay.
    const int place = form.going->findData(chosen->id);
    form.going->setCurrentIndex(place);
    form.staying->setCurrentIndex(place == 0 ? 1 : place - 1);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString going = form.going->currentData().toString();
    const QString staying = form.staying->currentData().toString();
    if (going == staying) {
        QMessageBox::warning(this, title, QStringLiteral("Scegli due nomi diversi."));
        return;
    }
    changeAside([going, staying](ServerClassSource &keeper, Problem *problem) {
        return keeper.mergePupils(staying, going, problem);
    });
}

void RegisterWindow::chooseTables()
{
    const QString classId = chosenClassId();
    if (classId.isEmpty())
        return;
    bool ok = false;
    const QString text = QInputDialog::getText(this, title,
        QStringLiteral("Le tabelline del ripasso di questa settimana (per esempio 6, 7, 8; "
                       "vuoto: ogni computer sceglie da sé):"),
        QLineEdit::Normal, {}, &ok);
    if (!ok)
        return;
    const std::optional<QList<int>> tables = parseTables(text);
    if (!tables) {
        QMessageBox::warning(
            this, title, QStringLiteral("Scrivi le tabelline con numeri da 1 a 10, come 6, 7, 8."));
        return;
    }
    changeAside([classId, tables = *tables](ServerClassSource &keeper, Problem *problem) {
        return keeper.setClassTables(classId, tables, problem);
    });
}

void RegisterWindow::askWhereToExport()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Esporta la classe"),
        QDir(folder).filePath(QStringLiteral("classe %1.csv").arg(m_report.className)),
        QStringLiteral("Fogli di calcolo CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportClass(m_report, path, &error))
        QMessageBox::warning(this, title, error);
}

int runRegister(const QString &dataDirectory)
{
    const QString service = registerServiceName();
    std::unique_ptr<ClassSource> source;
    RegisterWindow::OpenPupil openPupil;
    if (service.isEmpty()) {
        source = std::make_unique<LocalClassSource>(dataDirectory);
        openPupil = [dataDirectory](QWidget *parent, const PupilFigures &pupil) {
            showProgress(parent, dataDirectory, pupil.id);
        };
    } else {
        source = std::make_unique<ServerClassSource>(registerConnectOptions(service));
        openPupil = [](QWidget *parent, const PupilFigures &pupil) {
            auto *page = new ProgressWindow(pupil.name, pupil.facts, {},
                {QStringLiteral("Le sfide restano sui computer dove sono state fatte: il server "
                                "della scuola tiene le risposte."),
                    {}},
                parent);
            page->setAttribute(Qt::WA_DeleteOnClose);
            page->show();
        };
    }
    RegisterWindow window(*source, openPupil);
    // Live: each answer that reaches the server shows without the teacher touching anything.
    if (auto *server = dynamic_cast<ServerClassSource *>(source.get())) {
        QObject::connect(
            server, &ServerClassSource::answersArrived, &window, &RegisterWindow::refresh);
        window.setClassKeeper(server);
    }
    // Every column in sight where the screen allows it; a school's 1366 × 768 scrolls.
    window.resize(QSize(1500, 800).boundedTo(window.screen()->availableGeometry().size()));
    window.exec();
    return 0;
}

} // namespace calvenza

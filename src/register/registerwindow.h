#pragma once

#include "register/classreport.h"
#include "register/classsource.h"

#include <QDialog>
#include <functional>
#include <memory>

class QSortFilterProxyModel;
class QStringListModel;
class QTableView;
class QThread;

namespace Ui {
class RegisterWindow;
}

namespace calvenza {

class ClassFactModel;
class ServerClassSource;
class MachineTableModel;
class PupilTableModel;

// "Registro di classe": the teacher's view of a class, fact by fact and pupil by pupil, with its
// pages for the parents' meeting. It only shows what its source reads and forwards the choice of
// a pupil to openPupil.
class RegisterWindow : public QDialog
{
    Q_OBJECT
public:
    using OpenPupil = std::function<void(QWidget *parent, const PupilFigures &pupil)>;

    RegisterWindow(ClassSource &source, OpenPupil openPupil, QWidget *parent = nullptr);
    // Waits for a read still under way.
    ~RegisterWindow() override;

    // Reads the chosen class again, on a thread of its own; a call while a read is under way
    // reads once more after it.
    void refresh();
    [[nodiscard]] bool isReading() const { return !m_readers.isEmpty(); }

    // The school's server lets the teacher keep her class lists: the buttons for it show.
    void setClassKeeper(ServerClassSource *keeper);

    [[nodiscard]] const ClassReport &report() const { return m_report; }
    [[nodiscard]] ClassFactModel *classModel() const { return m_classModel; }
    [[nodiscard]] PupilTableModel *pupilModel() const { return m_pupilModel; }
    [[nodiscard]] QTableView *pupilView() const;
    [[nodiscard]] QTableView *classView() const;
    [[nodiscard]] QStringListModel *missedModel() const { return m_missedModel; }
    [[nodiscard]] MachineTableModel *machineModel() const { return m_machineModel; }

signals:
    // A class's figures are on screen.
    void refreshed();

private:
    // read runs on a thread of its own and gives back what to do with its result here.
    void readAside(std::function<std::function<void()>()> read);
    void loadClasses();
    void showReport(
        const ClassReport &report, const Problem &problem, const QList<MachineContact> &machines);
    void openPupilAt(const QModelIndex &index);
    // change runs on a thread of its own; then the classes are read again.
    void changeAside(std::function<bool(ServerClassSource &, Problem *)> change);
    [[nodiscard]] QString chosenClassId() const;
    [[nodiscard]] const PupilFigures *chosenPupil() const;
    void importClassList();
    void addPupil();
    void renamePupil();
    void movePupil();
    void mergePupils();
    void chooseTables();
    void askWhereToExport();
    void print();
    void askWhereToSavePdf();

    std::unique_ptr<Ui::RegisterWindow> m_ui;
    ClassSource &m_source;
    OpenPupil m_openPupil;
    QList<SchoolClass> m_classes;
    QList<QThread *> m_readers;
    bool m_readAgain = false;
    ClassReport m_report;
    ClassFactModel *m_classModel;
    PupilTableModel *m_pupilModel;
    QSortFilterProxyModel *m_pupilProxy;
    QStringListModel *m_missedModel;
    MachineTableModel *m_machineModel;
    ServerClassSource *m_keeper = nullptr;
};

// calvenza --registro: the register over this computer's history; the exit status.
int runRegister(const QString &dataDirectory);

} // namespace calvenza

#pragma once

#include "register/classlist.h"
#include "register/classsource.h"

#include <QObject>
#include <QThread>
#include <functional>
#include <optional>

namespace calvenza {

class ServerWorker;

// The service the teacher's register reads: "calvenza-registro" when her machine defines it
// (a machine that also sends answers as a lab computer keeps "calvenza" for that), else
// "calvenza"; empty when neither is defined.
[[nodiscard]] QString registerServiceName();
[[nodiscard]] QString registerConnectOptions(const QString &service, int connectSeconds = 5);

// The id of the class that holds the pupils no class has taken yet.
inline constexpr char noClassId[] = "";

// The school's server, read through the teacher's own role, whose rules show her only her
// classes. One connection on a thread of its own: every call waits for that thread, so the
// window calls from a thread of its own too, and a server that does not answer holds neither.
// While connected it listens for new answers and says so (answersArrived), with no polling.
class ServerClassSource : public QObject, public ClassSource
{
    Q_OBJECT
public:
    explicit ServerClassSource(const QString &connectOptions, QObject *parent = nullptr);
    ~ServerClassSource() override;

    [[nodiscard]] QList<SchoolClass> classes(Problem *problem = nullptr) override;
    [[nodiscard]] ClassReport report(
        const SchoolClass &schoolClass, const QDateTime &now, Problem *problem = nullptr) override;
    // The server keeps answers, not challenges: those stay on the lab's computers.
    [[nodiscard]] QList<ChallengeRecord> challengesOf(
        const PupilFigures &pupil, Problem *problem = nullptr) override;
    [[nodiscard]] QList<MachineContact> machines(Problem *problem = nullptr) override;

    // The class list. Each returns false with the teacher's sentence and the server's words.
    bool addPupil(const QString &classId, const QString &name, Problem *problem = nullptr);
    bool renamePupil(const QString &pupilId, const QString &name, Problem *problem = nullptr);
    bool movePupil(const QString &pupilId, const QString &classId, Problem *problem = nullptr);
    // Every answer of going passes to staying, and going is no more.
    bool mergePupils(const QString &staying, const QString &going, Problem *problem = nullptr);
    // The class named, made hers when new; its id, or empty.
    [[nodiscard]] QString takeClass(const QString &name, Problem *problem = nullptr);
    // A class list, all or nothing: each class made hers when new, each pupil not in his class
    // yet added. How many were added, or nullopt.
    [[nodiscard]] std::optional<int> importClassList(
        const QList<ClassListRow> &rows, Problem *problem = nullptr);
    // The tables the class's ripasso covers this week; none lets each machine choose.
    [[nodiscard]] QList<int> classTables(const QString &classId, Problem *problem = nullptr);
    bool setClassTables(
        const QString &classId, const QList<int> &tables, Problem *problem = nullptr);

signals:
    // New answers reached the server (any class's), or the link came back.
    void answersArrived();

private:
    void onWorker(const std::function<void()> &call);

    QThread m_thread;
    ServerWorker *m_worker; // lives on m_thread; deleted after it stops
};

} // namespace calvenza

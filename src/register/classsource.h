#pragma once

#include "drill/answer.h"
#include "platform/problem.h"
#include "register/classreport.h"

#include <QList>
#include <QString>

namespace calvenza {

// A class as the teacher chooses it.
struct SchoolClass
{
    QString id; // what the source knows it by
    QString name;
};

// A computer of the lab as the school's server last heard from it.
struct MachineContact
{
    QString id;
    QString login; // the role it signs in with
    QDateTime lastSeen; // UTC
};

// Where the register reads its classes and their figures. This computer's own history is one
// source, where every pupil who ever answered here is one class; the school's server, where a
// teacher has her real classes, is another. Reads happen on the calling thread; a problem, when
// given, receives why a read failed (its sentence for the teacher, the system's words as details).
class ClassSource
{
public:
    virtual ~ClassSource() = default;

    [[nodiscard]] virtual QList<SchoolClass> classes(Problem *problem = nullptr) = 0;
    // The class's figures at the moment now.
    [[nodiscard]] virtual ClassReport report(
        const SchoolClass &schoolClass, const QDateTime &now, Problem *problem = nullptr)
        = 0;
    // One pupil's challenges, oldest first, for his page.
    [[nodiscard]] virtual QList<ChallengeRecord> challengesOf(
        const PupilFigures &pupil, Problem *problem = nullptr)
        = 0;
    // The lab's computers, for a source that has more than one; none by default.
    [[nodiscard]] virtual QList<MachineContact> machines(Problem *problem = nullptr)
    {
        if (problem)
            *problem = {};
        return {};
    }
};

// The history of this computer's data directory, read-only.
class LocalClassSource final : public ClassSource
{
public:
    explicit LocalClassSource(const QString &dataDirectory);

    [[nodiscard]] QList<SchoolClass> classes(Problem *problem = nullptr) override;
    [[nodiscard]] ClassReport report(
        const SchoolClass &schoolClass, const QDateTime &now, Problem *problem = nullptr) override;
    [[nodiscard]] QList<ChallengeRecord> challengesOf(
        const PupilFigures &pupil, Problem *problem = nullptr) override;

    [[nodiscard]] QString dataDirectory() const { return m_dataDirectory; }

private:
    QString m_dataDirectory;
};

} // namespace calvenza

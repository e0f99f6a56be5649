#include "register/classsource.h"

#include "memory/historyreader.h"

namespace calvenza {

LocalClassSource::LocalClassSource(const QString &dataDirectory)
    : m_dataDirectory(dataDirectory)
{
}

QList<SchoolClass> LocalClassSource::classes(Problem *problem)
{
    if (problem)
        *problem = {};
    return {
        {QStringLiteral("questo-computer"), QStringLiteral("Tutti gli alunni di questo computer")}};
}

ClassReport LocalClassSource::report(
    const SchoolClass &schoolClass, const QDateTime &now, Problem *problem)
{
    const ClassPeriods periods = classPeriods(now);
    ClassReport report {schoolClass.name, now, {}};
    for (const PupilHistory &history : classHistory(m_dataDirectory, periods.recentStart, problem))
        report.pupils << pupilFigures(history, periods);
    // The history's own sentence is for a pupil; this one is read by the teacher, with the details.
    if (problem && !problem->isEmpty())
        problem->sentence
            = QStringLiteral("Non riesco a leggere la storia delle risposte di questo "
                             "computer, che resta com'è.");
    return report;
}

QList<ChallengeRecord> LocalClassSource::challengesOf(const PupilFigures &pupil, Problem *problem)
{
    return calvenza::challengesOf(m_dataDirectory, pupil.id, problem);
}

} // namespace calvenza

#include "school/roster.h"

#include "drill/answer.h"
#include "drill/timestable.h"
#include "memory/historydatabase.h"

#include <QVariant>
#include <algorithm>

namespace calvenza {

namespace {

// The class of the copy a name of a class stands for: "3a" is 3A.
QString classNamed(const Roster &roster, const QString &given)
{
    for (const RosterPupil &p : roster.pupils) {
        if (p.pupilClass.compare(given, Qt::CaseInsensitive) == 0)
            return p.pupilClass;
    }
    return {};
}

const RosterPupil *pupilIn(const Roster &roster, const QString &pupilClass, const QString &name)
{
    if (pupilClass.isEmpty())
        return nullptr;
    const QString key = pupilKey(name);
    const auto found = std::find_if(roster.pupils.cbegin(), roster.pupils.cend(),
        [&](const RosterPupil &p) { return p.pupilClass == pupilClass && p.nameKey == key; });
    return found == roster.pupils.cend() ? nullptr : &*found;
}

ResolvedPupil resolved(const RosterPupil &p)
{
    return {p.name, p.pupilClass, {}};
}

} // namespace

Roster readRoster(const QString &dataDirectory)
{
    Roster roster;
    HistoryDatabase db(dataDirectory, HistoryDatabase::Access::ReadOnly);
    if (!db.isOpen())
        return roster;
    QSqlQuery q = db.query();
    q.setForwardOnly(true);
    if (q.exec(QStringLiteral("SELECT class_name, pupil_name, name_key FROM roster"
                              " ORDER BY class_name, pupil_name"))) {
        while (q.next())
            roster.pupils.append(
                {q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
    }
    if (q.exec(QStringLiteral("SELECT class_name, tables FROM roster_tables"))) {
        while (q.next()) {
            if (const QList<int> tables = tablesFromText(q.value(1).toString()); !tables.isEmpty())
                roster.tables.insert(q.value(0).toString(), tables);
        }
    }
    return roster;
}

bool replaceRoster(HistoryDatabase &history, const Roster &roster)
{
    if (!history.beginWrite())
        return false;
    const bool written = [&] {
        if (!history.exec(QStringLiteral("DELETE FROM roster"))
            || !history.exec(QStringLiteral("DELETE FROM roster_tables")))
            return false;
        QSqlQuery pupil = history.query();
        pupil.prepare(QStringLiteral("INSERT OR IGNORE INTO roster (class_name, pupil_name,"
                                     " name_key) VALUES (?, ?, ?)"));
        for (const RosterPupil &p : roster.pupils) {
            pupil.bindValue(0, p.pupilClass);
            pupil.bindValue(1, p.name);
            pupil.bindValue(2, p.nameKey);
            if (!history.exec(pupil))
                return false;
        }
        QSqlQuery tables = history.query();
        tables.prepare(QStringLiteral("INSERT INTO roster_tables VALUES (?, ?)"));
        for (auto it = roster.tables.cbegin(); it != roster.tables.cend(); ++it) {
            QStringList numbers;
            for (const int table : it.value())
                numbers << QString::number(table);
            tables.bindValue(0, it.key());
            tables.bindValue(1, numbers.join(u','));
            if (!history.exec(tables))
                return false;
        }
        return true;
    }();
    if (written && history.commit())
        return true;
    history.rollback();
    return false;
}

QList<int> tablesFromText(const QString &text)
{
    QList<int> tables;
    for (const QString &item : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int table = item.trimmed().toInt(&ok);
        if (ok && isTable(table) && !tables.contains(table))
            tables << table;
    }
    return tables;
}

QStringList offeredNames(const Roster &roster, const QString &ownClass)
{
    const QString own = classNamed(roster, ownClass);
    QStringList first, others;
    for (const RosterPupil &p : roster.pupils)
        (p.pupilClass == own ? first : others) << pupilLabel(p.name, p.pupilClass);
    return first + others;
}

ResolvedPupil resolvePupil(const QString &typed, const Roster &roster, const QString &ownClass)
{
    const auto noClass = [&typed] { return ResolvedPupil {typed, {}, {}}; };
    if (typed.trimmed().isEmpty())
        return noClass();
    const PupilOfClass labelled = splitPupilLabel(typed);
    if (!labelled.pupilClass.isEmpty()) {
        const RosterPupil *p
            = pupilIn(roster, classNamed(roster, labelled.pupilClass), labelled.name);
        return p ? resolved(*p) : ResolvedPupil {labelled.name.trimmed(), {}, {}};
    }
    QList<const RosterPupil *> named;
    const QString key = pupilKey(typed);
    for (const RosterPupil &p : roster.pupils) {
        if (p.nameKey == key)
            named << &p;
    }
    if (!ownClass.isEmpty()) {
        if (const RosterPupil *p = pupilIn(roster, classNamed(roster, ownClass), typed))
            return resolved(*p);
    } else if (named.size() == 1) {
        return resolved(*named.first());
    } else if (named.size() > 1) {
        ResolvedPupil choose = noClass();
        for (const RosterPupil *p : std::as_const(named))
            choose.choices << pupilLabel(p->name, p->pupilClass);
        return choose;
    }
    // "Marco 3A", typed without the dot, when nobody is called "Marco 3A".
    if (named.isEmpty()) {
        const QString trimmed = typed.trimmed();
        const qsizetype space = trimmed.lastIndexOf(u' ');
        if (space > 0) {
            if (const RosterPupil *p = pupilIn(
                    roster, classNamed(roster, trimmed.sliced(space + 1)), trimmed.first(space)))
                return resolved(*p);
        }
    }
    return noClass();
}

} // namespace calvenza

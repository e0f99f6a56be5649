#include "register/registermodels.h"

#include "progress/factmodel.h"

#include <QLocale>

namespace calvenza {

void ClassFactModel::setReport(const ClassReport &report)
{
    for (int table = 1; table <= 10; ++table)
        for (int factor = 1; factor <= 10; ++factor)
            m_facts[std::size_t(factIndex({table, factor}))] = report.fact({table, factor});
    m_pupils = int(report.pupils.size());
    emit dataChanged(index(0, 0), index(9, 9));
}

int ClassFactModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 10;
}

int ClassFactModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 10;
}

QVariant ClassFactModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Fact fact {index.row() + 1, index.column() + 1};
    const ClassFact &figures = m_facts[std::size_t(factIndex(fact))];
    switch (role) {
    case Qt::DisplayRole:
        return fact.table * fact.factor;
    case Qt::BackgroundRole:
        return standingColour(classStanding(figures));
    case Qt::ForegroundRole:
        return QColor(Qt::black);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return classFactSpokenText(fact, figures, m_pupils);
    case Qt::AccessibleDescriptionRole:
        return classStandingWords(classStanding(figures));
    default:
        return {};
    }
}

QVariant ClassFactModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return tavolaHeaderData(section, orientation, role);
}

QColor attentionColour(const PupilFigures &pupil)
{
    if (!pupil.stuckOn.isEmpty())
        return {0xf8, 0xc8, 0xc0};
    if (!pupil.practisedThisWeek())
        return {0xf7, 0xe4, 0xa8};
    return {};
}

void PupilTableModel::setReport(const ClassReport &report)
{
    beginResetModel();
    m_pupils = report.pupils;
    m_now = report.at;
    endResetModel();
}

int PupilTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_pupils.size());
}

int PupilTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString PupilTableModel::columnTitle(int column)
{
    switch (column) {
    case Name:
        return QStringLiteral("Alunno");
    case LastPractice:
        return QStringLiteral("Ultima volta");
    case MinutesThisWeek:
        return QStringLiteral("Minuti\n(settimana)");
    case AnswersThisWeek:
        return QStringLiteral("Risposte\n(settimana)");
    case FactsKnown:
        return QStringLiteral("Imparate");
    case PercentRight:
        return QStringLiteral("Giuste\n(4 settimane)");
    case MedianTime:
        return QStringLiteral("Tempo\nmediano");
    case TrendColumn:
        return QStringLiteral("Andamento");
    case Attention:
        return QStringLiteral("Da notare");
    }
    return {};
}

QString PupilTableModel::columnWords(int column)
{
    switch (column) {
    case Name:
        return QStringLiteral("alunno");
    case LastPractice:
        return QStringLiteral("ultima volta");
    case MinutesThisWeek:
        return QStringLiteral("minuti questa settimana");
    case AnswersThisWeek:
        return QStringLiteral("risposte questa settimana");
    case FactsKnown:
        return QStringLiteral("moltiplicazioni imparate delle tabelline esercitate");
    case PercentRight:
        return QStringLiteral("risposte giuste nelle ultime 4 settimane");
    case MedianTime:
        return QStringLiteral("tempo mediano di risposta nelle ultime 4 settimane");
    case TrendColumn:
        return QStringLiteral("andamento: giuste questa settimana rispetto alla precedente");
    case Attention:
        return QStringLiteral("da notare");
    }
    return {};
}

QString PupilTableModel::cellText(const PupilFigures &p, int column) const
{
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    switch (column) {
    case Name:
        return p.name;
    case LastPractice:
        return lastPracticeText(p.lastPractice, m_now);
    case MinutesThisWeek:
        return QString::number(p.minutesThisWeek);
    case AnswersThisWeek:
        return QString::number(p.answersThisWeek);
    case FactsKnown:
        return p.factsOfTablesPractised == 0
            ? QStringLiteral("nessuna")
            : QStringLiteral("%1 su %2").arg(p.factsKnown).arg(p.factsOfTablesPractised);
    case PercentRight:
        return p.percentRight() < 0 ? QStringLiteral("nessuna risposta")
                                    : QStringLiteral("%1%").arg(p.percentRight());
    case MedianTime:
        return p.medianMs < 0
            ? QStringLiteral("non si sa")
            : italian.toString(double(p.medianMs) / 1000.0, 'f', 1) + QStringLiteral(" s");
    case TrendColumn:
        return trendText(p.trend());
    case Attention:
        return attentionText(p);
    }
    return {};
}

QVariant PupilTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const PupilFigures &p = m_pupils.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(p, column);
    case Qt::AccessibleTextRole:
        // Each cell names its pupil and column, so a row read cell by cell still makes sense.
        if (column == Name)
            return p.name;
        return QStringLiteral("%1, %2: %3")
            .arg(p.name, columnWords(column),
                column == Attention && attentionText(p).isEmpty() ? QStringLiteral("niente")
                                                                  : cellText(p, column));
    case Qt::AccessibleDescriptionRole:
    case Qt::ToolTipRole:
        return attentionText(p);
    case Qt::BackgroundRole: {
        const QColor colour = attentionColour(p);
        return colour.isValid() ? QVariant(colour) : QVariant();
    }
    case Qt::TextAlignmentRole:
        return column == Name || column == Attention || column == LastPractice
            ? int(Qt::AlignLeft | Qt::AlignVCenter)
            : int(Qt::AlignCenter);
    case SortRole:
        switch (column) {
        case Name:
            return p.name.toCaseFolded();
        case LastPractice:
            return p.lastPractice.isValid() ? p.lastPractice.toMSecsSinceEpoch() : qint64(-1);
        case MinutesThisWeek:
            return p.minutesThisWeek;
        case AnswersThisWeek:
            return p.answersThisWeek;
        case FactsKnown:
            return p.factsKnown;
        case PercentRight:
            return p.percentRight();
        case MedianTime:
            return p.medianMs;
        case TrendColumn:
            return p.trend() == Trend::Unknown ? -1000 : p.percentThisWeek - p.percentLastWeek;
        case Attention:
            return int(p.stuckOn.size()) * 2 + (p.practisedThisWeek() ? 0 : 1);
        }
        return {};
    default:
        return {};
    }
}

QVariant PupilTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return {};
    if (role == Qt::DisplayRole)
        return columnTitle(section);
    if (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
        return columnWords(section);
    return {};
}

bool isSilent(const MachineContact &machine, const QDateTime &now, const QTimeZone &zone)
{
    const QDateTime local = now.toTimeZone(zone);
    const bool schoolHours = local.date().dayOfWeek() <= 6 && local.time() >= QTime(8, 0)
        && local.time() < QTime(17, 0);
    return schoolHours && machine.lastSeen.secsTo(now) > qint64(silentMinutes) * 60;
}

void MachineTableModel::setMachines(const QList<MachineContact> &machines, const QDateTime &now)
{
    beginResetModel();
    m_machines = machines;
    m_now = now;
    endResetModel();
}

void MachineTableModel::setNow(const QDateTime &now)
{
    m_now = now;
    if (!m_machines.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_machines.size()) - 1, ColumnCount - 1));
}

int MachineTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_machines.size());
}

int MachineTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString MachineTableModel::cellText(const MachineContact &machine, int column) const
{
    switch (column) {
    case Machine:
        // Every computer of a lab may sign in with one role: its id's start tells them apart.
        return QStringLiteral("%1 (%2)").arg(machine.login, machine.id.left(8));
    case LastSeen: {
        const QString day = lastPracticeText(machine.lastSeen, m_now);
        return QStringLiteral("%1 alle %2")
            .arg(day,
                QLocale(QLocale::Italian, QLocale::Italy)
                    .toString(machine.lastSeen.toLocalTime().time(), QStringLiteral("HH:mm")));
    }
    case State:
        if (!isSilent(machine, m_now))
            return QStringLiteral("in contatto");
        if (machine.lastSeen.daysTo(m_now) >= 1)
            return QStringLiteral("in silenzio da ieri o prima");
        return QStringLiteral("in silenzio da %1 minuti").arg(machine.lastSeen.secsTo(m_now) / 60);
    }
    return {};
}

QVariant MachineTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_machines.size())
        return {};
    const MachineContact &machine = m_machines.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cellText(machine, index.column());
    case Qt::AccessibleTextRole:
        return QStringLiteral("%1, ultimo contatto %2, %3")
            .arg(cellText(machine, Machine), cellText(machine, LastSeen), cellText(machine, State));
    case Qt::BackgroundRole:
        return isSilent(machine, m_now) ? QVariant(QColor(0xf7, 0xe4, 0xa8)) : QVariant();
    }
    return {};
}

QVariant MachineTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Machine:
        return QStringLiteral("Computer");
    case LastSeen:
        return QStringLiteral("Ultimo contatto");
    case State:
        return QStringLiteral("Stato");
    }
    return {};
}

} // namespace calvenza

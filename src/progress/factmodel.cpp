#include "progress/factmodel.h"

#include "drill/timestable.h"

namespace calvenza {

QColor standingColour(FactStanding standing)
{
    switch (standing) {
    case FactStanding::NeverAsked:
        return QColor(0xd0, 0xd0, 0xd0);
    case FactStanding::MostlyWrong:
        return QColor(0xef, 0x6a, 0x5a);
    case FactStanding::Learning:
        return QColor(0xf5, 0xb8, 0x41);
    case FactStanding::Known:
        return QColor(0x6c, 0xc2, 0x6f);
    }
    return {};
}

FactModel::FactModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void FactModel::setFacts(const FactTable &facts)
{
    m_facts = facts;
    emit dataChanged(index(0, 0), index(9, 9));
}

void FactModel::setOutlined(const QList<Fact> &facts)
{
    m_outlined = facts;
    emit dataChanged(index(0, 0), index(9, 9));
}

int FactModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 10;
}

int FactModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 10;
}

Fact FactModel::factAt(const QModelIndex &index)
{
    return {index.row() + 1, index.column() + 1};
}

QVariant FactModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Fact fact = factAt(index);
    const FactSummary &summary = m_facts.at(fact.table, fact.factor);
    const bool outlined = m_outlined.contains(fact);
    switch (role) {
    case Qt::DisplayRole:
        return fact.table * fact.factor;
    case Qt::BackgroundRole:
        return standingColour(standingOf(summary));
    case Qt::ForegroundRole:
        return QColor(Qt::black);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return factSpokenText(fact, summary)
            + (outlined ? QStringLiteral(", migliorata oggi") : QString());
    case Qt::AccessibleDescriptionRole:
        return standingWords(standingOf(summary));
    case OutlinedRole:
        return outlined;
    default:
        return {};
    }
}

QVariant tavolaHeaderData(int section, Qt::Orientation orientation, int role)
{
    if (section < 0 || section >= 10)
        return {};
    if (role == Qt::DisplayRole)
        return orientation == Qt::Vertical ? QString::number(section + 1)
                                           : QStringLiteral("× %1").arg(section + 1);
    if (role == Qt::AccessibleTextRole)
        return orientation == Qt::Vertical
            ? QStringLiteral("tabellina ") + tableWithArticle(section + 1)
            : QStringLiteral("per %1").arg(section + 1);
    return {};
}

QVariant FactModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return tavolaHeaderData(section, orientation, role);
}

} // namespace calvenza

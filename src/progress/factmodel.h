#pragma once

#include "memory/factsummary.h"

#include <QAbstractTableModel>
#include <QColor>

namespace calvenza {

// The colour of each standing in the picture and its legend.
[[nodiscard]] QColor standingColour(FactStanding standing);

// The headers of a tavola pitagorica, the tables down and the factors across, shown and as a
// screen reader says them; for the pupil's picture and the class's alike.
[[nodiscard]] QVariant tavolaHeaderData(int section, Qt::Orientation orientation, int role);

// The tavola pitagorica of one pupil: rows the tables 1 to 10, columns the factors 1 to 10,
// each cell the product, coloured by how well he knows it and read out in full to a screen
// reader.
class FactModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // True for the facts that moved up today, which the picture outlines.
    static constexpr int OutlinedRole = Qt::UserRole + 1;

    explicit FactModel(QObject *parent = nullptr);

    void setFacts(const FactTable &facts);
    [[nodiscard]] const FactTable &facts() const { return m_facts; }
    void setOutlined(const QList<Fact> &facts);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(
        int section, Qt::Orientation orientation, int role) const override;

private:
    [[nodiscard]] static Fact factAt(const QModelIndex &index);

    FactTable m_facts;
    QList<Fact> m_outlined;
};

} // namespace calvenza

#pragma once

#include "register/classreport.h"
#include "register/classsource.h"

#include <QAbstractTableModel>

namespace calvenza {

// The class's tavola pitagorica: rows the tables, columns the factors, each cell the product,
// coloured by how much of the class knows it and read out with who misses it.
class ClassFactModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setReport(const ClassReport &report);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(
        int section, Qt::Orientation orientation, int role) const override;

private:
    std::array<ClassFact, factCount> m_facts;
    int m_pupils = 0;
};

// The pupils, one a row; SortRole gives each column's value to sort by.
class PupilTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        Name,
        LastPractice,
        MinutesThisWeek,
        AnswersThisWeek,
        FactsKnown,
        PercentRight,
        MedianTime,
        TrendColumn,
        Attention,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    void setReport(const ClassReport &report);
    [[nodiscard]] const PupilFigures &pupil(int row) const { return m_pupils.at(row); }

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(
        int section, Qt::Orientation orientation, int role) const override;

    // What a column's header says, and a screen reader with it.
    [[nodiscard]] static QString columnTitle(int column);
    [[nodiscard]] static QString columnWords(int column);
    // A cell's text as shown and printed.
    [[nodiscard]] QString cellText(const PupilFigures &pupil, int column) const;

private:
    QList<PupilFigures> m_pupils;
    QDateTime m_now;
};

// A lab computer silent for more than this during school hours (Monday to Saturday, 8:00 to
// 17:00 local time) stands out: its cable may be out, its answers wait on it.
inline constexpr int silentMinutes = 10;
[[nodiscard]] bool isSilent(const MachineContact &machine, const QDateTime &now,
    const QTimeZone &zone = QTimeZone::systemTimeZone());

// The lab's computers as the server last heard from them.
class MachineTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Machine, LastSeen, State, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void setMachines(const QList<MachineContact> &machines, const QDateTime &now);
    // Time passes with nothing new from the server: silence grows by itself.
    void setNow(const QDateTime &now);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(
        int section, Qt::Orientation orientation, int role) const override;

    [[nodiscard]] QString cellText(const MachineContact &machine, int column) const;

private:
    QList<MachineContact> m_machines;
    QDateTime m_now;
};

// The background of a pupil who stands out: not practised this week, or stuck on a fact.
[[nodiscard]] QColor attentionColour(const PupilFigures &pupil);

} // namespace calvenza

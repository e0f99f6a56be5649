#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace calvenza {

class HistoryDatabase;

// Answers of this machine that the school's server has not confirmed yet, oldest first.
struct OutboxBatch
{
    QString machineId;
    qint64 lastSeq = 0; // the highest local sequence in the batch
    QList<qint64> localSeqs;
    QStringList names, nameKeys, classNames; // class: empty for none
    QList<int> tables, factors;
    QList<qint64> answeredMs;
    QStringList typed;
    QList<bool> rights;
    QList<qint64> msTaken;
    QList<int> modes;
    [[nodiscard]] qsizetype size() const { return localSeqs.size(); }
};

// This machine's id and the sequence the server has confirmed up to; outboxState() gives nullopt
// when the history cannot be read (its problem() says why).
struct OutboxState
{
    QString machineId;
    qint64 sentUpto = 0;
    qint64 waiting = 0; // answers after sentUpto
};
[[nodiscard]] std::optional<OutboxState> outboxState(HistoryDatabase &history);

// Up to limit answers after the confirmed sequence; nullopt when the history cannot be read.
[[nodiscard]] std::optional<OutboxBatch> unsentAnswers(HistoryDatabase &history, int limit);

// Records that the server has committed everything up to lastSeq; never moves back, so two
// programs sending from one history cannot undo each other.
bool markSent(HistoryDatabase &history, qint64 lastSeq);

} // namespace calvenza

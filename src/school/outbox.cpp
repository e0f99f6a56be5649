#include "school/outbox.h"

#include "memory/historydatabase.h"

#include <QVariant>

namespace calvenza {

namespace {

std::optional<OutboxState> readOutbox(HistoryDatabase &history, bool countWaiting)
{
    QSqlQuery q = history.query();
    q.prepare(countWaiting ? QStringLiteral("SELECT machine_id, sent_upto, (SELECT count(*) FROM"
                                            " answer WHERE local_seq > sent_upto) FROM outbox")
                           : QStringLiteral("SELECT machine_id, sent_upto, 0 FROM outbox"));
    if (!history.exec(q) || !q.next())
        return std::nullopt;
    return OutboxState {q.value(0).toString(), q.value(1).toLongLong(), q.value(2).toLongLong()};
}

} // namespace

std::optional<OutboxState> outboxState(HistoryDatabase &history)
{
    return readOutbox(history, true);
}

std::optional<OutboxBatch> unsentAnswers(HistoryDatabase &history, int limit)
{
    const std::optional<OutboxState> state = readOutbox(history, false);
    if (!state)
        return std::nullopt;
    QSqlQuery q = history.query();
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT a.local_seq, p.name, p.name_key, a.times_table, a.factor, a.answered_at, a.typed,"
        " a.is_right, a.ms_taken, a.mode, p.class_name FROM answer a"
        " JOIN pupil p ON p.id = a.pupil_id"
        " WHERE a.local_seq > ? ORDER BY a.local_seq LIMIT ?"));
    q.addBindValue(state->sentUpto);
    q.addBindValue(limit);
    if (!history.exec(q))
        return std::nullopt;
    OutboxBatch batch;
    batch.machineId = state->machineId;
    while (q.next()) {
        batch.localSeqs << q.value(0).toLongLong();
        batch.names << q.value(1).toString();
        batch.nameKeys << q.value(2).toString();
        batch.tables << q.value(3).toInt();
        batch.factors << q.value(4).toInt();
        batch.answeredMs << q.value(5).toLongLong();
        batch.typed << q.value(6).toString();
        batch.rights << (q.value(7).toInt() != 0);
        batch.msTaken << q.value(8).toLongLong();
        batch.modes << q.value(9).toInt();
        batch.classNames << q.value(10).toString();
    }
    batch.lastSeq = batch.localSeqs.isEmpty() ? state->sentUpto : batch.localSeqs.last();
    return batch;
}

bool markSent(HistoryDatabase &history, qint64 lastSeq)
{
    QSqlQuery q = history.query();
    q.prepare(QStringLiteral("UPDATE outbox SET sent_upto = max(sent_upto, ?)"));
    q.addBindValue(lastSeq);
    return history.exec(q);
}

} // namespace calvenza

#include "school/servercheck.h"

#include "memory/historydatabase.h"
#include "school/outbox.h"
#include "school/schoolserver.h"
#include "school/serviceconfig.h"

#include <QDir>

namespace calvenza {

int checkSchoolServer(const QString &dataDirectory, QString *report)
{
    if (!schoolServiceDefined()) {
        QStringList files;
        for (const QString &file : serviceFiles())
            files << QDir::toNativeSeparators(file);
        *report = describe({LinkState::NoService, {}})
            + QStringLiteral("\nFile letti: %1.\n").arg(files.join(QStringLiteral(", ")));
        return 1;
    }
    SchoolServer server;
    if (const LinkStatus status = server.open(); !status.linked()) {
        *report = describe(status) + u'\n';
        return 1;
    }
    *report
        = QStringLiteral("Server della scuola: PostgreSQL %1, schema di Calvenza versione %2.\n")
              .arg(server.serverVersion())
              .arg(server.schemaVersion().value_or(0));
    HistoryDatabase history(dataDirectory, HistoryDatabase::Access::ReadOnly);
    const std::optional<OutboxState> outbox
        = history.isOpen() ? outboxState(history) : std::nullopt;
    if (!outbox) {
        *report += history.problem().isEmpty()
            ? QStringLiteral("Su questo computer non c'è ancora nessuna risposta.\n")
            : history.problem().fullText() + u'\n';
        return 0;
    }
    const std::optional<qint64> there = server.answersOfMachine(outbox->machineId);
    *report += QStringLiteral("Questo computer (%1): %2 risposte sul server, %3 in attesa di "
                              "partire.\n")
                   .arg(outbox->machineId,
                       there ? QString::number(*there) : QStringLiteral("non so quante"))
                   .arg(outbox->waiting);
    return 0;
}

} // namespace calvenza

#pragma once

#include "drill/answer.h"
#include "school/roster.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <optional>

namespace calvenza {

struct OutboxBatch;

// The layout of the school's server this build knows (calvenza.version).
inline constexpr int schoolSchemaVersion = 2;

// How the link to the school's server stands; each state has its own console note.
enum class LinkState {
    Linked,
    NoService,
    NoDriver,
    Unreachable,
    WrongPassword,
    NoSchema,
    NewerSchema,
    NotAllowed,
    Failed,
};

struct LinkStatus
{
    LinkState state = LinkState::Linked;
    QString detail; // the server's or Qt's own words, for a grown-up
    [[nodiscard]] bool linked() const { return state == LinkState::Linked; }
};

// One Italian sentence for the console or the technician, with the detail after it.
[[nodiscard]] QString describe(const LinkStatus &status);

// What a refused connection means, from libpq's words (in English or Italian: Qt gives no
// SQLSTATE for a connection that never opened).
[[nodiscard]] LinkState connectionFailure(const QString &libpqMessage);

// What a failed statement means, by its SQLSTATE: a lost connection (or one closed since),
// a missing layout, a refusal of the role, or something else.
[[nodiscard]] LinkState statementFailure(const QSqlError &error, bool stillOpen);

// One connection to the school's server through the libpq service, for the thread that makes
// it. Every statement of the PostgreSQL dialect lives here.
class SchoolServer
{
public:
    SchoolServer();
    ~SchoolServer();
    SchoolServer(const SchoolServer &) = delete;
    SchoolServer &operator=(const SchoolServer &) = delete;

    // Connects (at most connectSeconds), checks the layout's version and gives each later
    // statement at most statementSeconds.
    LinkStatus open(int connectSeconds = 5, int statementSeconds = 10);
    void close();

    // Cuts every open connection to the server, of any thread: their statements fail at once.
    // For a program that is ending, whose threads may wait on a server that no longer answers.
    static void cutEveryConnection();
    // Another open connection to the server, cut with the others; forgotten before it closes.
    static int watchConnection(const QSqlDatabase &db);
    static void forgetConnection(int socket);
    [[nodiscard]] bool isOpen() const;

    // Adds a batch in one statement, committed when it returns; answers the server already
    // has are skipped. The number of new answers, or the failure.
    std::optional<qint64> send(const OutboxBatch &batch, LinkStatus *failure);

    // One pupil's answers, oldest first: the pupil this machine's answers go to, named by his
    // key and class (empty: none), found as add_answers finds him. This machine's answers after
    // sentUpto are left out: they may or may not have arrived, and the caller has them from its
    // own history. nullopt with the failure.
    std::optional<QList<AnswerRecord>> answersOfPupil(const QString &pupilKey,
        const QString &pupilClass, const QString &machineId, qint64 sentUpto, LinkStatus *failure);

    // The school's class lists and each class's ripasso tables; nullopt with the failure.
    std::optional<Roster> classLists(LinkStatus *failure);

    // For the technician's check: empty or nullopt when the server does not say.
    [[nodiscard]] QString serverVersion();
    [[nodiscard]] std::optional<int> schemaVersion();
    [[nodiscard]] std::optional<qint64> answersOfMachine(const QString &machineId);

private:
    LinkStatus queryFailure(const QSqlError &error) const;
    void forgetSocket();

    QString m_connectionName;
    int m_socket = -1;
};

} // namespace calvenza

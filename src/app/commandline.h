#pragma once

#include "drill/timestable.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace calvenza {

// What the command line asks for. Refusals carry an Italian message for standard error.
struct CommandLine
{
    enum class Action {
        Run,
        ShowHelp,
        ShowVersion,
        Refuse,
        ShowProgress,
        Export,
        ShowRegister,
        CheckServer,
    };
    Action action = Action::Run;
    int table = defaultTable;
    QString message;
    // --ripasso: the drill that teaches; tables holds the tables given with --tabellina (one for
    // the challenge, a list such as 6,7,8 for the ripasso), empty when none was given.
    bool ripasso = false;
    QList<int> tables;
    QString pupil; // --progressi NOME; empty: the pupil is chosen from a list
    QString exportPath; // --esporta FILE.csv
    // --classe 3A: the class whose PC this is; the name box offers its pupils first and a name
    // alone is looked up there. Empty: a machine of no one class.
    QString pupilClass;
};

// The longest class name --classe takes.
inline constexpr int longestClassName = 40;

// The arguments after the program's name: --tabellina N (also -t N, --tabellina=N), --ripasso
// (-r), --classe CLASSE, --progressi [NOME], --esporta FILE.csv, --registro, --verifica-server,
// --help, --version.
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments);

[[nodiscard]] QString helpText();

// Exit status of a refused command line, as for any misused command.
inline constexpr int usageExitStatus = 2;

} // namespace calvenza

#pragma once

#include "drill/timestable.h"

#include <QString>
#include <QStringList>

namespace calvenza {

// What the command line asks for. Refusals carry an Italian message for standard error.
struct CommandLine
{
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };
    Action action = Action::Run;
    int table = defaultTable;
    QString message;
};

// The arguments after the program's name: --tabellina N (also -t N, --tabellina=N), --help,
// --version.
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments);

[[nodiscard]] QString helpText();

// Exit status of a refused command line, as for any misused command.
inline constexpr int usageExitStatus = 2;

} // namespace calvenza

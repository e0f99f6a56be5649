#pragma once

#include <QString>
#include <QStringList>

namespace calvenza {

struct CommandLine;

// The program beyond its name box: the window, the wizard and his voice, the history, the
// picture, the register and the export. It is built into a library of its own, which main() loads
// once the name box is on screen: the sound, speech and SQL libraries it needs then load while the
// pupil types, not before the box appears.
class Program
{
public:
    Program() = default;
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;
    virtual ~Program() = default;

    // --esporta: every answer to a CSV file, with no display; the exit status.
    virtual int exportAnswers() = 0;
    // --progressi: the picture alone, without the drill; the exit status.
    virtual int showProgress() = 0;
    // --registro: the teacher's register; the exit status.
    virtual int showRegister() = 0;
    // --verifica-server: the link to the school's server, told in Italian; the exit status.
    virtual int checkSchoolServer() = 0;
    // Builds the drill's window (hidden), the wizard and the history. Once; runDrill() does it
    // when nothing has yet.
    virtual void prepareDrill() = 0;
    // "Marco · 3A": the school's pupils, for the name box to offer as he types (none at home).
    // After prepareDrill(); read from the machine's own copy, never from the network.
    virtual QStringList namesOffered() = 0;
    // Greets the pupil by the name he gave (asking his class when the name is in several),
    // shows the window and runs the drill to the farewell; the exit status.
    virtual int runDrill(const QString &name) = 0;
};

// The library's one entry point, found by this name: a new Program for the command line, owned
// by the caller.
using MakeProgram = Program *(*)(const CommandLine &commandLine);
inline constexpr char makeProgramSymbol[] = "calvenza_make_program";

} // namespace calvenza

#include "app/commandline.h"

namespace calvenza {

namespace {

CommandLine refuse(const QString &why)
{
    return {CommandLine::Action::Refuse, defaultTable,
        QStringLiteral("calvenza: ") + why
            + QStringLiteral("\nProva «calvenza --help» per sapere come si usa.\n")};
}

const QString acceptedTables
    = QStringLiteral("scegli un numero intero da %1 a %2").arg(firstTable).arg(lastTable);

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == u"--help" || arg == u"-h")
            return {CommandLine::Action::ShowHelp, defaultTable, helpText()};
        if (arg == u"--version" || arg == u"-v")
            return {CommandLine::Action::ShowVersion, defaultTable,
                QStringLiteral("calvenza %1\n").arg(QLatin1String(CALVENZA_VERSION))};

        QString value;
        if (arg == u"--tabellina" || arg == u"-t") {
            if (i + 1 >= arguments.size())
                return refuse(QStringLiteral("manca il numero della tabellina dopo %1: %2.")
                                  .arg(arg, acceptedTables));
            value = arguments.at(++i);
        } else if (arg.startsWith(u"--tabellina=")) {
            value = arg.sliced(qsizetype(sizeof("--tabellina=") - 1));
        } else {
            return refuse(QStringLiteral("non conosco «%1».").arg(arg));
        }
        bool ok = false;
        const int table = value.toInt(&ok, 10);
        if (!ok || !isTable(table))
            return refuse(
                QStringLiteral("la tabellina «%1» non c'è: %2.").arg(value, acceptedTables));
        result.table = table;
    }
    return result;
}

QString helpText()
{
    return QStringLiteral(
        "Uso: calvenza [--tabellina N]\n"
        "Un mago parlante detta le tabelline: scrivi il risultato e premi Invio.\n"
        "Ogni tabellina ha il suo record.\n"
        "\n"
        "  -t, --tabellina N   la tabellina da esercitare, da %1 a %2 "
        "(senza: la tabellina dell'otto)\n"
        "  -h, --help          mostra questo aiuto\n"
        "  -v, --version       mostra la versione\n")
        .arg(firstTable)
        .arg(lastTable);
}

} // namespace calvenza

#include "app/commandline.h"

#include "drill/answer.h"

#include <optional>

namespace calvenza {

namespace {

CommandLine withMessage(CommandLine::Action action, const QString &message)
{
    CommandLine line;
    line.action = action;
    line.message = message;
    return line;
}

CommandLine refuse(const QString &why)
{
    return withMessage(CommandLine::Action::Refuse,
        QStringLiteral("calvenza: ") + why
            + QStringLiteral("\nProva «calvenza --help» per sapere come si usa.\n"));
}

const QString acceptedTables
    = QStringLiteral("scegli un numero intero da %1 a %2").arg(firstTable).arg(lastTable);

// The value of "--name VALUE" or "--name=VALUE"; nullopt when arg is not that option.
std::optional<QString> optionValue(
    const QStringList &arguments, qsizetype &i, QStringView longName, QStringView shortName = {})
{
    const QString &arg = arguments.at(i);
    if (arg == longName || (!shortName.isEmpty() && arg == shortName))
        return i + 1 < arguments.size() ? std::optional(arguments.at(++i)) : QString();
    if (arg.startsWith(longName) && arg.sliced(longName.size()).startsWith(u'='))
        return arg.sliced(longName.size() + 1);
    return std::nullopt;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    QString tablesGiven;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == u"--help" || arg == u"-h")
            return withMessage(CommandLine::Action::ShowHelp, helpText());
        if (arg == u"--version" || arg == u"-v")
            return withMessage(CommandLine::Action::ShowVersion,
                QStringLiteral("calvenza %1\n").arg(QLatin1String(CALVENZA_VERSION)));
        if (arg == u"--ripasso" || arg == u"-r") {
            result.ripasso = true;
            continue;
        }
        if (arg == u"--progressi" || arg.startsWith(u"--progressi=")) {
            result.action = CommandLine::Action::ShowProgress;
            // The name is optional: a following option is not a name.
            if (arg != u"--progressi")
                result.pupil = arg.sliced(qsizetype(sizeof("--progressi=") - 1));
            else if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(u'-'))
                result.pupil = arguments.at(++i);
            continue;
        }
        if (arg == u"--registro") {
            result.action = CommandLine::Action::ShowRegister;
            continue;
        }
        if (arg == u"--verifica-server") {
            result.action = CommandLine::Action::CheckServer;
            continue;
        }
        if (const auto path = optionValue(arguments, i, u"--esporta")) {
            if (path->isEmpty())
                return refuse(QStringLiteral("manca il nome del file dopo --esporta: per "
                                             "esempio calvenza --esporta risposte.csv."));
            result.action = CommandLine::Action::Export;
            result.exportPath = *path;
            continue;
        }
        if (const auto given = optionValue(arguments, i, u"--classe")) {
            result.pupilClass = given->trimmed();
            if (result.pupilClass.isEmpty() || result.pupilClass.startsWith(u'-')
                || result.pupilClass.size() > longestClassName)
                return refuse(QStringLiteral("dopo --classe scrivi il nome della classe di questo "
                                             "computer, al massimo %1 caratteri: per esempio "
                                             "calvenza --classe 3A.")
                                  .arg(longestClassName));
            continue;
        }
        const auto value = optionValue(arguments, i, u"--tabellina", u"-t");
        if (!value)
            return refuse(QStringLiteral("opzione sconosciuta «%1».").arg(arg));
        if (value->isNull())
            return refuse(QStringLiteral("manca il numero della tabellina dopo %1: %2.")
                              .arg(arg, acceptedTables));
        result.tables.clear();
        for (const QString &item : value->split(u',')) {
            bool ok = false;
            const int table = item.toInt(&ok, 10);
            if (!ok || !isTable(table))
                return refuse(
                    QStringLiteral("la tabellina «%1» non c'è: %2.").arg(item, acceptedTables));
            if (!result.tables.contains(table))
                result.tables << table;
        }
        tablesGiven = *value;
        result.table = result.tables.constFirst();
    }
    if (result.ripasso && result.action != CommandLine::Action::Run)
        return refuse(QStringLiteral(
            "--ripasso non va insieme a --progressi, --esporta, --verifica-server o --registro."));
    if (!result.pupilClass.isEmpty()) {
        switch (result.action) {
        case CommandLine::Action::Export:
        case CommandLine::Action::ShowRegister:
        case CommandLine::Action::CheckServer:
            return refuse(QStringLiteral("--classe va con la sfida, con --ripasso o con "
                                         "--progressi: l'esportazione, il registro e la verifica "
                                         "del server sono per tutte le classi."));
        case CommandLine::Action::ShowProgress:
            // "--progressi Marco --classe 3A" is Marco of 3A, as the name box would say it.
            if (!result.pupil.trimmed().isEmpty()
                && splitPupilLabel(result.pupil).pupilClass.isEmpty())
                result.pupil = pupilLabel(result.pupil.trimmed(), result.pupilClass);
            break;
        default:
            break;
        }
    }
    if (!result.ripasso && tablesGiven.contains(u','))
        return refuse(QStringLiteral("la sfida è su una tabellina sola, «%1» è un elenco: %2 "
                                     "(un elenco va con --ripasso).")
                          .arg(tablesGiven, acceptedTables));
    return result;
}

QString helpText()
{
    return QStringLiteral(
        "Uso: calvenza [--tabellina N] [--classe CLASSE]\n"
        "     calvenza --ripasso [--tabellina N,N,...] [--classe CLASSE]\n"
        "     calvenza --progressi [NOME] [--classe CLASSE]\n"
        "     calvenza --esporta FILE.csv\n"
        "     calvenza --registro\n"
        "     calvenza --verifica-server\n"
        "Un mago parlante detta le tabelline: scrivi il risultato e premi Invio.\n"
        "Ogni tabellina ha il suo record; ogni risposta resta nella storia di chi l'ha data.\n"
        "\n"
        "  -t, --tabellina N   la tabellina da esercitare, da %1 a %2 "
        "(senza: la tabellina dell'otto);\n"
        "                      con --ripasso anche un elenco, per esempio 6,7,8\n"
        "  -r, --ripasso       un ripasso senza orologio: le moltiplicazioni che sbagli e,\n"
        "                      ogni tanto, quelle che sai già\n"
        "      --classe CLASSE il computer di una classe, per esempio 3A: chiedendo il nome\n"
        "                      propone prima i suoi alunni, e un nome solo è cercato lì\n"
        "      --progressi [NOME]\n"
        "                      mostra la tavola pitagorica di NOME, dal rosso al verde\n"
        "                      (senza NOME: scegli tra gli alunni di questo computer;\n"
        "                      con --classe: NOME di quella classe, e senza NOME scegli\n"
        "                      tra i suoi alunni)\n"
        "      --esporta FILE.csv\n"
        "                      scrive in FILE.csv ogni risposta di ogni alunno, per il foglio\n"
        "                      di calcolo, ed esce\n"
        "                      (campi separati da «;», come vuole un foglio in italiano)\n"
        "      --registro      il registro di classe per l'insegnante: la classe moltiplicazione\n"
        "                      per moltiplicazione e alunno per alunno, da stampare\n"
        "      --verifica-server\n"
        "                      prova il collegamento al server della scuola (servizio\n"
        "                      calvenza di PostgreSQL), dice che cosa trova ed esce\n"
        "  -h, --help          mostra questo aiuto\n"
        "  -v, --version       mostra la versione\n")
        .arg(firstTable)
        .arg(lastTable);
}

} // namespace calvenza

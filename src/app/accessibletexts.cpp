#include "app/accessibletexts.h"

#include "narrator/numberwords.h"

#include <QStringList>

namespace calvenza {

namespace {

QString counted(int n, const char *one, const char *many)
{
    return QString::number(n) + u' ' + QLatin1String(n == 1 ? one : many);
}

// Sentences joined for speech; the empty ones are left out.
QString sentences(const QStringList &parts)
{
    QStringList kept;
    for (const QString &part : parts) {
        if (!part.isEmpty())
            kept << part;
    }
    return kept.join(QStringLiteral(". "));
}

} // namespace

QString spokenExercise(const Exercise &exercise)
{
    return QStringLiteral("%1 per %2")
        .arg(QString::number(exercise.table), numlett(Currency::fromWhole(exercise.factor)));
}

QString spokenTimeLeft(int secondsLeft)
{
    const int minutes = qMax(secondsLeft, 0) / 60;
    const int seconds = qMax(secondsLeft, 0) % 60;
    QStringList parts;
    if (minutes > 0)
        parts << counted(minutes, "minuto", "minuti");
    if (seconds > 0 || minutes == 0)
        parts << counted(seconds, "secondo", "secondi");
    return QStringLiteral("Tempo restante ") + parts.join(QStringLiteral(" e "));
}

QString spokenQuestionsLeft(int questionsLeft)
{
    if (questionsLeft <= 0)
        return {};
    if (questionsLeft == 1)
        return QStringLiteral("Ultima domanda");
    return QStringLiteral("Domande rimaste %1").arg(questionsLeft);
}

QString answerBoxDescription(const Exercise &exercise, const QString &whatIsLeft, bool firstTime)
{
    return sentences({spokenExercise(exercise), whatIsLeft,
        firstTime ? QStringLiteral("Scrivi il risultato e premi Invio") : QString()});
}

QString judgementDescription(
    const Judgement &judgement, const Exercise &exercise, const QString &pupilName, bool firstTime)
{
    const QString product = QString::number(exercise.product);
    QStringList words;
    if (judgement.right) {
        // The wizard's reaction from the score before this answer; his verdict word and the
        // product are said with the fact.
        for (const NarratorRequest &r :
            reactionToRight(judgement.counters.right - 1, pupilName, product)) {
            if (r.kind == NarratorRequest::Kind::Speak && r.text != product
                && r.text != QLatin1String("Esatto") && r.text != QLatin1String("Giusto"))
                words << r.text;
        }
    }
    const QString fact
        = QStringLiteral("%1, %2 fa %3")
              .arg(judgement.right ? QStringLiteral("Esatto") : QStringLiteral("Sbagliato"),
                  spokenExercise(exercise), product);
    const Counters &c = judgement.counters;
    const QString counters = QStringLiteral("Risposte esatte %1, errate %2, totali %3")
                                 .arg(c.right)
                                 .arg(c.wrong)
                                 .arg(c.total());
    return sentences({fact, words.join(QStringLiteral(", ")), counters,
        firstTime ? QStringLiteral("Premi Invio per il prossimo esercizio") : QString()});
}

QString recordDescription(const QString &points, const QString &name)
{
    // As stored, line ends included; two empty files are no record yet.
    const QString who = name.simplified();
    const QString howMany = points.simplified();
    if (who.isEmpty() && howMany.isEmpty())
        return QStringLiteral("Nessun record per ora");
    const QString score
        = howMany == u"1" ? QStringLiteral("1 punto") : QStringLiteral("%1 punti").arg(howMany);
    if (who.isEmpty())
        return QStringLiteral("Il record è di ") + score;
    if (howMany.isEmpty())
        return QStringLiteral("Il record è di ") + who;
    return QStringLiteral("Il record è di %1, con %2").arg(who, score);
}

} // namespace calvenza

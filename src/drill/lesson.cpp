#include "drill/lesson.h"

#include "narrator/numberwords.h"

#include <QStringList>
#include <algorithm>

namespace calvenza {

QString lessonIntroduction()
{
    return QStringLiteral(
        "Oggi facciamo un ripasso, senza fretta e senza orologio. Io detto e tu scrivi il "
        "risultato nello spazio sotto di me, poi premi invio. Se sbagli ti dico la risposta "
        "giusta, e tra poco te la richiedo.");
}

NarratorScript correction(const Exercise &exercise)
{
    return {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(QStringLiteral("Greet")), NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(QStringLiteral("Sbagliato")),
        NarratorRequest::speak(QStringLiteral("%1 per %2 fa %3")
                                   .arg(exercise.table)
                                   .arg(numlett(Currency::fromWhole(exercise.factor)))
                                   .arg(exercise.product))};
}

QString correctionLine(const Exercise &exercise)
{
    return QStringLiteral("Sbagliato!! %1 x %2 = %3")
        .arg(exercise.table)
        .arg(exercise.factor)
        .arg(exercise.product);
}

namespace {

// As he dictates: the table in digits, the factor in words, which espeak-ng reads well.
QString spokenFact(const Fact &fact)
{
    return QStringLiteral("%1 per %2")
        .arg(fact.table)
        .arg(numlett(Currency::fromWhole(fact.factor)));
}

} // namespace

QString lessonSummary(
    int questionsAsked, const QList<Fact> &improved, std::optional<Fact> toPractise)
{
    if (questionsAsked == 0)
        return QStringLiteral("Oggi non c'è niente da ripassare: queste tabelline le sai già "
                              "bene. Torna domani!");
    QString summary = QStringLiteral("Abbiamo finito il ripasso. ");
    if (improved.isEmpty()) {
        summary += QStringLiteral("Hai lavorato bene: ogni ripasso ti aiuta a ricordare.");
    } else {
        constexpr int named = 3;
        QStringList facts;
        for (const Fact &fact : improved.first(std::min<qsizetype>(improved.size(), named)))
            facts << spokenFact(fact);
        const qsizetype others = improved.size() - facts.size();
        if (others == 1)
            facts << QStringLiteral("un'altra");
        else if (others > 1)
            facts << QStringLiteral("altre %1").arg(others);
        const QString last = facts.takeLast();
        summary += QStringLiteral("Ottimo lavoro! Adesso conosci meglio ")
            + (facts.isEmpty() ? last
                               : facts.join(QStringLiteral(", ")) + QStringLiteral(" e ") + last)
            + u'.';
    }
    if (toPractise)
        summary += QStringLiteral(" Esercitati ancora un po' su %1.").arg(spokenFact(*toPractise));
    return summary;
}

} // namespace calvenza

#include "drill/lesson.h"

#include "narrator/numberwords.h"

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

QString lessonSummary(int questionsAsked, int factsMovedUp)
{
    if (questionsAsked == 0)
        return QStringLiteral("Oggi non c'è niente da ripassare: queste tabelline le sai già "
                              "bene. Torna domani!");
    const QString opening = QStringLiteral("Abbiamo finito il ripasso. ");
    if (factsMovedUp <= 0)
        return opening
            + QStringLiteral("Oggi nessuna moltiplicazione è salita di una scatola: la prossima "
                             "volta andrà meglio, ne sono sicuro.");
    if (factsMovedUp == 1)
        return opening + QStringLiteral("Oggi una moltiplicazione è salita di una scatola. Bravo!");
    return opening
        + QStringLiteral("Oggi %1 moltiplicazioni sono salite di una scatola. Bravo!")
              .arg(factsMovedUp);
}

} // namespace calvenza

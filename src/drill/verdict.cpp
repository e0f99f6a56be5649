#include "drill/verdict.h"

#include <array>

namespace calvenza {

namespace {

struct PraiseLevel
{
    int score;
    const char16_t *animation;
    const char16_t *praise;
};

constexpr std::array<PraiseLevel, 8> ladder {{
    {2, u"congratulate", u"Sei grande"},
    {5, u"domagic1", u"Sei forte"},
    {10, u"congratulate", u"Sei sulla buona strada per diventare cavaliere"},
    {13, u"domagic2", u"Sei in gamba"},
    {14, u"congratulate", u"Sei eccezionale"},
    {18, u"congratulate", u"Sei insuperabile"},
    {23, u"congratulate", u"Ti nomino cavaliere della tabellina, il massimo ordine per un eroe"},
    {27, u"congratulate", u"Hai lavorato bene mio leale campione: sei invincibile"},
}};

constexpr std::array<int, 5> nameScores {3, 7, 12, 21, 26};

} // namespace

NarratorScript reactionToRight(int score, const QString &name, const QString &product)
{
    NarratorScript s {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::height(narratorHeight)};
    if (score < 10)
        s << NarratorRequest::speak(QStringLiteral("Esatto"));
    if (score > 10)
        s << NarratorRequest::speak(QStringLiteral("Giusto"));
    if (!name.isEmpty()
        && std::find(nameScores.begin(), nameScores.end(), score) != nameScores.end())
        s << NarratorRequest::speak(name);
    s << NarratorRequest::speak(product);
    for (const PraiseLevel &level : ladder) {
        if (level.score == score) {
            s << NarratorRequest::play(QString::fromUtf16(level.animation))
              << NarratorRequest::speak(QString::fromUtf16(level.praise));
        }
    }
    return s;
}

NarratorScript reactionToWrong(const QString &product)
{
    return {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(QStringLiteral("Greet")), NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(QStringLiteral("Sbagliato")), NarratorRequest::speak(product)};
}

} // namespace calvenza

#include "drill/timestable.h"

#include <array>

namespace calvenza {

QString tableWithArticle(int table)
{
    static constexpr std::array<const char16_t *, 10> names {u"dell'uno", u"del due", u"del tre",
        u"del quattro", u"del cinque", u"del sei", u"del sette", u"dell'otto", u"del nove",
        u"del dieci"};
    if (!isTable(table))
        table = defaultTable;
    return QString::fromUtf16(names[std::size_t(table - firstTable)]);
}

QString introduction(int table)
{
    return QStringLiteral("Allora attenzione, iniziamo la nostra avventura con la tabellina ")
        + tableWithArticle(table)
        + QStringLiteral(". Io detto e tu scrivi il risultato nello spazio sotto di me. Mi "
                         "raccomando inserisci il risultato e premi invio e poi aspetta che io "
                         "finisca di parlare e premi ancora invio per avere la domanda successiva");
}

} // namespace calvenza

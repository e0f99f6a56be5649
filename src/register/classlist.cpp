#include "register/classlist.h"

#include "memory/historyexport.h"
#include "register/registermodels.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

namespace calvenza {

namespace {

// Windows-1252's 0x80..0x9f, where Latin-1 has control characters; 0 where it has none.
constexpr char16_t windows1252High[32] = {0x20ac, 0, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
    0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017d, 0, 0, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0, 0x017e, 0x0178};

QString decode(QByteArray content)
{
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(content);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(content.size());
    for (const char byte : std::as_const(content)) {
        const auto code = static_cast<unsigned char>(byte);
        const char16_t high = code >= 0x80 && code < 0xa0 ? windows1252High[code - 0x80] : 0;
        text += QChar(high ? high : char16_t(code));
    }
    return text;
}

// One line's fields; a quoted field may hold the separator and doubled quotes.
QStringList fields(const QString &line, QChar separator)
{
    QStringList out;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"')
                field += line.at(++i);
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == separator) {
            out << field.simplified();
            field.clear();
        } else {
            field += c;
        }
    }
    out << field.simplified();
    return out;
}

QChar separatorOf(const QString &line)
{
    QChar best = u';';
    qsizetype most = 0;
    for (const QChar candidate : {u';', u',', u'\t'}) {
        const qsizetype count = fields(line, candidate).size();
        if (count > most) {
            most = count;
            best = candidate;
        }
    }
    return best;
}

} // namespace

QString ClassListRow::pupil() const
{
    return QStringList {name, surname}.join(u' ').simplified();
}

ClassList parseClassList(const QByteArray &content)
{
    ClassList list;
    const QStringList lines
        = decode(content).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    qsizetype first = 0;
    while (first < lines.size() && lines.at(first).trimmed().isEmpty())
        ++first;
    if (first == lines.size()) {
        list.problems << QStringLiteral("il file è vuoto");
        return list;
    }
    const QChar separator = separatorOf(lines.at(first));
    // Class, surname, name: their places in a line.
    std::array<qsizetype, 3> place {0, 1, 2};
    const QStringList header = fields(lines.at(first), separator);
    const QStringList wanted {
        QStringLiteral("classe"), QStringLiteral("cognome"), QStringLiteral("nome")};
    bool hasHeader = false;
    for (int column = 0; column < 3; ++column) {
        place[column] = -1;
        for (qsizetype i = 0; i < header.size(); ++i)
            if (header.at(i).compare(wanted.at(column), Qt::CaseInsensitive) == 0)
                place[column] = i;
        hasHeader = hasHeader || place[column] >= 0;
    }
    if (hasHeader) {
        QStringList missing;
        for (int column = 0; column < 3; ++column)
            if (place[column] < 0)
                missing << QStringLiteral("«%1»").arg(wanted.at(column));
        if (!missing.isEmpty()) {
            list.problems << QStringLiteral("riga %1: nell'intestazione manca la colonna %2")
                                 .arg(first + 1)
                                 .arg(missing.join(QStringLiteral(" e la colonna ")));
            return list;
        }
        ++first;
    } else {
        place = {0, 1, 2};
    }
    const qsizetype needed = *std::max_element(place.begin(), place.end()) + 1;

    QSet<QString> seen;
    for (qsizetype i = first; i < lines.size(); ++i) {
        if (lines.at(i).trimmed().isEmpty())
            continue;
        const int line = int(i + 1);
        const QStringList parts = fields(lines.at(i), separator);
        if (parts.size() < needed) {
            list.problems << QStringLiteral("riga %1: ha %2 colonne, ne servono almeno %3")
                                 .arg(line)
                                 .arg(parts.size())
                                 .arg(needed);
            continue;
        }
        const ClassListRow row {line, parts.at(place[0]), parts.at(place[1]), parts.at(place[2])};
        if (row.className.isEmpty())
            list.problems << QStringLiteral("riga %1: manca la classe").arg(line);
        else if (row.pupil().isEmpty())
            list.problems << QStringLiteral("riga %1: mancano il cognome e il nome").arg(line);
        else if (seen.contains(row.className + u'\n' + pupilKey(row.pupil())))
            list.problems << QStringLiteral("riga %1: %2 della %3 c'è già in una riga prima")
                                 .arg(line)
                                 .arg(row.pupil(), row.className);
        else {
            seen.insert(row.className + u'\n' + pupilKey(row.pupil()));
            list.rows << row;
        }
    }
    return list;
}

std::optional<QList<int>> parseTables(const QString &text)
{
    QList<int> tables;
    for (const QString &part :
        text.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts)) {
        bool number = false;
        const int table = part.toInt(&number);
        if (!number || table < 1 || table > 10)
            return std::nullopt;
        if (!tables.contains(table))
            tables << table;
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

bool exportClass(const ClassReport &report, const QString &csvPath, QString *error)
{
    QSaveFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("Non riesco a salvare il foglio «%1»: %2.")
                         .arg(QDir::toNativeSeparators(csvPath), file.errorString());
        return false;
    }
    // Before the first byte: children's results are nobody else's business.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QByteArray out("\xEF\xBB\xBF");
    PupilTableModel model;
    model.setReport(report);
    for (int column = 0; column < PupilTableModel::ColumnCount; ++column) {
        if (column > 0)
            out += csvSeparator;
        out += csvField(PupilTableModel::columnTitle(column).replace(u'\n', u' '));
    }
    out += "\r\n";
    for (const PupilFigures &pupil : report.pupils) {
        for (int column = 0; column < PupilTableModel::ColumnCount; ++column) {
            if (column > 0)
                out += csvSeparator;
            out += csvField(model.cellText(pupil, column));
        }
        out += "\r\n";
    }
    if (file.write(out) != out.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Non riesco a salvare il foglio «%1»: %2.")
                         .arg(QDir::toNativeSeparators(csvPath), file.errorString());
        return false;
    }
    return true;
}

} // namespace calvenza

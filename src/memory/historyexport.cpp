#include "memory/historyexport.h"

#include "drill/answer.h"
#include "memory/historydatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTimeZone>
#include <QVariant>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <limits>

namespace calvenza {

namespace {

// The local time of each answer as the export writes it; the offset from UTC is asked of the
// time zone once per hour of the history, not once per answer.
class LocalTimeText
{
public:
    void appendTo(QByteArray &out, qint64 msSinceEpoch)
    {
        const qint64 hour = floorDivide(msSinceEpoch, 3600000);
        auto offset = m_offsetByHour.constFind(hour);
        if (offset == m_offsetByHour.cend())
            offset = m_offsetByHour.insert(hour,
                m_zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(hour * 3600000, Qt::UTC)));
        const qint64 local = floorDivide(msSinceEpoch, 1000) + *offset;
        const qint64 day = floorDivide(local, 86400);
        if (day != m_day) {
            using namespace std::chrono;
            const year_month_day date {sys_days {days {day}}};
            m_dayText = QByteArray::number(int(date.year())) + '-';
            appendTwoDigits(m_dayText, unsigned(date.month()));
            m_dayText += '-';
            appendTwoDigits(m_dayText, unsigned(date.day()));
            m_dayText += ' ';
            m_day = day;
        }
        const qint64 second = local - day * 86400;
        out += m_dayText;
        appendTwoDigits(out, second / 3600);
        out += ':';
        appendTwoDigits(out, second / 60 % 60);
        out += ':';
        appendTwoDigits(out, second % 60);
    }

private:
    static qint64 floorDivide(qint64 a, qint64 b) { return a / b - (a % b < 0 ? 1 : 0); }
    static void appendTwoDigits(QByteArray &out, qint64 n)
    {
        out += char('0' + n / 10);
        out += char('0' + n % 10);
    }
    const QTimeZone m_zone = QTimeZone::systemTimeZone();
    QHash<qint64, int> m_offsetByHour;
    qint64 m_day = std::numeric_limits<qint64>::min();
    QByteArray m_dayText;
};

void appendNumber(QByteArray &out, qint64 n)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), n).ptr;
    out.append(digits, end - digits);
}

bool setProblem(Problem *problem, const Problem &given)
{
    if (problem)
        *problem = given;
    return false;
}

Problem cannotWrite(const QString &csvPath, const QString &why)
{
    return {QStringLiteral("Non riesco a scrivere il file dell'esportazione."),
        QStringLiteral("«%1»: %2").arg(QDir::toNativeSeparators(csvPath), why)};
}

} // namespace

void appendCsvField(QByteArray &out, QByteArrayView utf8)
{
    const auto firstSeen
        = std::find_if(utf8.begin(), utf8.end(), [](char c) { return c != ' ' && c != '\t'; });
    const bool asText = !utf8.isEmpty()
        && (utf8.front() == '\t' || utf8.front() == '\r'
            || (firstSeen != utf8.end() && QByteArrayView("=+-@").contains(*firstSeen)));
    const bool quoted = std::any_of(utf8.begin(), utf8.end(),
        [](char c) { return c == csvSeparator || c == ',' || c == '"' || c == '\n' || c == '\r'; });
    if (quoted)
        out += '"';
    if (asText)
        out += '\'';
    for (const char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    if (quoted)
        out += '"';
}

QByteArray csvField(const QString &text)
{
    QByteArray field;
    appendCsvField(field, text.toUtf8());
    return field;
}

bool exportAnswers(const QString &dataDirectory, const QString &csvPath, Problem *problem)
{
    const auto unreadable = [problem](const Problem &why) {
        return setProblem(problem,
            {QStringLiteral("Non riesco a leggere la storia delle risposte: non ho esportato "
                            "niente."),
                why.details});
    };
    HistoryDatabase db(dataDirectory, HistoryDatabase::Access::ReadOnly);
    if (!db.problem().isEmpty())
        return unreadable(db.problem());

    QSaveFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly)) {
        const QFileInfo info(csvPath);
        const QString why = info.isDir()   ? QStringLiteral("è una cartella")
            : !info.absoluteDir().exists() ? QStringLiteral("la cartella «%1» non c'è")
                                                 .arg(QDir::toNativeSeparators(info.absolutePath()))
                                           : file.errorString();
        return setProblem(problem, cannotWrite(csvPath, why));
    }
    // Before the first byte: names and answers of children are nobody else's business.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QByteArray out = QByteArray("\xEF\xBB\xBF")
        + "alunno;classe;data e ora;modo;tabellina;fattore;"
          "risposta;giusta;tempo in millisecondi\r\n";
    static_assert(csvSeparator == ';', "the header and the rows below are written with ';'");

    // One read transaction: the pupils and their answers are one moment of the history.
    if (db.isOpen() && !db.beginRead())
        return unreadable(db.problem());
    const Problem failed = [&]() -> Problem {
        if (!db.isOpen())
            return {};
        QHash<qint64, QByteArray> names;
        QSqlQuery pupils = db.query();
        pupils.setForwardOnly(true);
        pupils.prepare(QStringLiteral("SELECT id, name, class_name FROM pupil"));
        if (!db.exec(pupils))
            return db.problem();
        while (pupils.next())
            names.insert(pupils.value(0).toLongLong(),
                csvField(pupils.value(1).toString()) + ';' + csvField(pupils.value(2).toString()));
        pupils.finish();

        // In time order; two answers of one moment in the order of the table's key.
        RawRows rows(db,
            "SELECT pupil_id, answered_at, mode, times_table, factor, typed, is_right, ms_taken"
            " FROM answer ORDER BY answered_at, pupil_id, times_table, factor, seq");
        LocalTimeText localTime;
        out.reserve(2 << 20);
        while (rows.next()) {
            out += names.value(rows.integer(0));
            out += ';';
            localTime.appendTo(out, rows.integer(1));
            out += rows.integer(2) == int(DrillMode::Ripasso) ? ";ripasso;" : ";sfida;";
            appendNumber(out, rows.integer(3));
            out += ';';
            appendNumber(out, rows.integer(4));
            out += ';';
            appendCsvField(out, rows.text(5));
            out += rows.integer(6) ? ";sì;" : ";no;";
            if (const qint64 ms = rows.integer(7); ms >= 0)
                appendNumber(out, ms);
            out += "\r\n";
            if (out.size() > (1 << 20)) {
                if (file.write(out) != out.size())
                    return {};
                out.truncate(0); // keeps its room for the next rows
            }
        }
        return rows.failed() ? rows.problem() : Problem {};
    }();
    if (db.isOpen())
        db.rollback(); // only read
    if (!failed.isEmpty())
        return unreadable(failed);
    file.write(out);
    if (!file.commit())
        return setProblem(problem, cannotWrite(csvPath, file.errorString()));
    return true;
}

} // namespace calvenza

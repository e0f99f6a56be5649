#include "memory/historyreader.h"

#include "memory/historydatabase.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSqlDriver>
#include <QTimeZone>
#include <QVariant>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <limits>
#include <sqlite3.h>

namespace calvenza {

namespace {

bool setError(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

// Opens for reading; false (with the reason, if any) when there is nothing to read.
bool openForReading(HistoryDatabase &db, QString *error)
{
    if (error)
        error->clear();
    return db.isOpen() || setError(error, db.error());
}

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

// A statement run through SQLite's own calls on the connection Qt SQL opened, for the reads of
// thousands of rows: a QVariant for every field would cost more than the reading itself.
class RawRows
{
public:
    RawRows(const HistoryDatabase &db, const char *sql)
        : m_path(db.path())
    {
        const QVariant handle = db.query().driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
            m_connection = *static_cast<sqlite3 *const *>(handle.constData());
        if (m_connection)
            sqlite3_prepare_v2(m_connection, sql, -1, &m_statement, nullptr);
    }
    ~RawRows() { sqlite3_finalize(m_statement); }
    RawRows(const RawRows &) = delete;
    RawRows &operator=(const RawRows &) = delete;

    [[nodiscard]] bool isValid() const { return m_statement; }
    void bind(int place, qint64 value) { sqlite3_bind_int64(m_statement, place, value); }
    // False at the end, or on a failure that error() then tells.
    bool next()
    {
        m_step = sqlite3_step(m_statement);
        return m_step == SQLITE_ROW;
    }
    [[nodiscard]] bool failed() const { return !m_statement || m_step != SQLITE_DONE; }
    [[nodiscard]] QString error() const
    {
        return QStringLiteral("Non riesco a leggere la storia delle risposte «%1»: %2.")
            .arg(QDir::toNativeSeparators(m_path),
                m_connection ? QString::fromUtf8(sqlite3_errmsg(m_connection))
                             : QStringLiteral("non è un database SQLite"));
    }
    [[nodiscard]] qint64 integer(int column) const
    {
        return sqlite3_column_int64(m_statement, column);
    }
    [[nodiscard]] QByteArrayView text(int column) const
    {
        return {reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column)};
    }

private:
    QString m_path;
    sqlite3 *m_connection = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    int m_step = SQLITE_DONE;
};

void appendNumber(QByteArray &out, qint64 n)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), n).ptr;
    out.append(digits, end - digits);
}

QDateTime fromStoredTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

} // namespace

QStringList knownPupils(const QString &dataDirectory, QString *error)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Missing::LeaveAlone);
    QStringList names;
    if (!openForReading(db, error))
        return names;
    QSqlQuery q = db.query();
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT name FROM pupil"));
    if (!db.exec(q)) {
        setError(error, db.error());
        return names;
    }
    while (q.next())
        names << q.value(0).toString();
    QCollator collator {QLocale(QLocale::Italian, QLocale::Italy)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), collator);
    return names;
}

QList<AnswerRecord> answersOf(const QString &dataDirectory, const QString &pupil, QString *error)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Missing::LeaveAlone);
    QList<AnswerRecord> answers;
    if (!openForReading(db, error))
        return answers;
    const qint64 id = db.pupilId(pupil);
    if (id < 0) {
        setError(error, db.error());
        return answers;
    }
    const QString name = [&] {
        QSqlQuery q = db.query();
        q.prepare(QStringLiteral("SELECT name FROM pupil WHERE id = ?"));
        q.addBindValue(id);
        return db.exec(q) && q.next() ? q.value(0).toString() : pupilName(pupil);
    }();
    RawRows rows(db,
        "SELECT times_table, factor, typed, is_right, ms_taken, answered_at, mode FROM answer"
        " WHERE pupil_id = ? ORDER BY answered_at, seq");
    rows.bind(1, id);
    while (rows.next()) {
        AnswerRecord a;
        a.pupil = name;
        a.table = int(rows.integer(0));
        a.factor = int(rows.integer(1));
        a.typed = QString::fromUtf8(rows.text(2));
        a.right = rows.integer(3) != 0;
        a.msTaken = rows.integer(4);
        a.answeredAt = fromStoredTime(rows.integer(5));
        a.mode = rows.integer(6) == int(DrillMode::Ripasso) ? DrillMode::Ripasso
                                                            : DrillMode::Challenge;
        answers << a;
    }
    if (rows.failed()) {
        setError(error, rows.error());
        return {};
    }
    return answers;
}

FactTable factsOf(const QString &dataDirectory, const QString &pupil, QString *error)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Missing::LeaveAlone);
    FactTable facts;
    if (!openForReading(db, error))
        return facts;
    const qint64 id = db.pupilId(pupil);
    if (id < 0) {
        setError(error, db.error());
        return facts;
    }
    QSqlQuery counts = db.query();
    counts.setForwardOnly(true);
    counts.prepare(QStringLiteral(
        "SELECT times_table, factor, asked, right_count FROM fact WHERE pupil_id = ?"));
    counts.addBindValue(id);
    // The latest answers of each fact: a few rows at the end of its range of the table.
    QSqlQuery latest = db.query();
    latest.setForwardOnly(true);
    latest.prepare(QStringLiteral("SELECT is_right, ms_taken FROM answer WHERE pupil_id = ? AND "
                                  "times_table = ? AND factor = ? ORDER BY answered_at DESC, "
                                  "seq DESC LIMIT %1")
                       .arg(FactSummary::recentLength));
    if (!db.exec(counts)) {
        setError(error, db.error());
        return facts;
    }
    while (counts.next()) {
        const int table = counts.value(0).toInt();
        const int factor = counts.value(1).toInt();
        FactSummary summary;
        summary.asked = counts.value(2).toInt();
        summary.right = counts.value(3).toInt();
        latest.bindValue(0, id);
        latest.bindValue(1, table);
        latest.bindValue(2, factor);
        if (!db.exec(latest)) {
            setError(error, db.error());
            return facts;
        }
        while (latest.next())
            summary.recent.prepend({latest.value(0).toBool(), latest.value(1).toLongLong()});
        facts.set(table, factor, summary);
    }
    return facts;
}

QList<ChallengeRecord> challengesOf(
    const QString &dataDirectory, const QString &pupil, QString *error)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Missing::LeaveAlone);
    QList<ChallengeRecord> challenges;
    if (!openForReading(db, error))
        return challenges;
    const qint64 id = db.pupilId(pupil);
    if (id < 0) {
        setError(error, db.error());
        return challenges;
    }
    QSqlQuery q = db.query();
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT times_table, ended_at, right_count, wrong_count, set_record "
                             "FROM challenge WHERE pupil_id = ? ORDER BY ended_at"));
    q.addBindValue(id);
    if (!db.exec(q)) {
        setError(error, db.error());
        return challenges;
    }
    while (q.next()) {
        ChallengeRecord c;
        c.pupil = pupilName(pupil);
        c.table = q.value(0).toInt();
        c.endedAt = fromStoredTime(q.value(1).toLongLong());
        c.right = q.value(2).toInt();
        c.wrong = q.value(3).toInt();
        c.setRecord = q.value(4).toBool();
        challenges << c;
    }
    return challenges;
}

void appendCsvField(QByteArray &out, QByteArrayView utf8)
{
    static constexpr QByteArrayView formulaStarts = "=+-@\t\r";
    const bool asText = !utf8.isEmpty() && formulaStarts.contains(utf8.front());
    const bool quoted = std::any_of(utf8.begin(), utf8.end(),
        [](char c) { return c == ',' || c == '"' || c == '\n' || c == '\r'; });
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

QByteArray csvField(QByteArrayView utf8)
{
    QByteArray field;
    appendCsvField(field, utf8);
    return field;
}

QByteArray csvField(const QString &text)
{
    return csvField(QByteArrayView(text.toUtf8()));
}

bool exportAnswers(const QString &dataDirectory, const QString &csvPath, QString *error)
{
    QSaveFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly)) {
        const QFileInfo info(csvPath);
        const QString why = info.isDir()   ? QStringLiteral("è una cartella")
            : !info.absoluteDir().exists() ? QStringLiteral("la cartella «%1» non c'è")
                                                 .arg(QDir::toNativeSeparators(info.absolutePath()))
                                           : file.errorString();
        return setError(error,
            QStringLiteral("non riesco a scrivere «%1»: %2.")
                .arg(QDir::toNativeSeparators(csvPath), why));
    }
    QByteArray out = "alunno,data e ora,modo,tabellina,fattore,risposta,giusta,"
                     "tempo in millisecondi\r\n";

    HistoryDatabase db(dataDirectory, HistoryDatabase::Missing::LeaveAlone);
    if (!db.isOpen() && !db.error().isEmpty())
        return setError(error, db.error());
    if (db.isOpen()) {
        QHash<qint64, QByteArray> names;
        QSqlQuery pupils = db.query();
        pupils.prepare(QStringLiteral("SELECT id, name FROM pupil"));
        if (!db.exec(pupils))
            return setError(error, db.error());
        while (pupils.next())
            names.insert(pupils.value(0).toLongLong(), csvField(pupils.value(1).toString()));

        RawRows rows(db,
            "SELECT pupil_id, answered_at, mode, times_table, factor, typed, is_right, ms_taken"
            " FROM answer");
        LocalTimeText localTime;
        out.reserve(2 << 20);
        while (rows.next()) {
            out += names.value(rows.integer(0));
            out += ',';
            localTime.appendTo(out, rows.integer(1));
            out += rows.integer(2) == int(DrillMode::Ripasso) ? ",ripasso," : ",sfida,";
            appendNumber(out, rows.integer(3));
            out += ',';
            appendNumber(out, rows.integer(4));
            out += ',';
            appendCsvField(out, rows.text(5));
            out += rows.integer(6) ? ",sì," : ",no,";
            if (const qint64 ms = rows.integer(7); ms >= 0)
                appendNumber(out, ms);
            out += "\r\n";
            if (out.size() > (1 << 20)) {
                if (file.write(out) != out.size())
                    break;
                out.truncate(0); // keeps its room for the next rows
            }
        }
        if (rows.failed() && file.error() == QFileDevice::NoError)
            return setError(error, rows.error());
    }
    file.write(out);
    if (!file.commit())
        return setError(error,
            QStringLiteral("non riesco a scrivere «%1»: %2.")
                .arg(QDir::toNativeSeparators(csvPath), file.errorString()));
    return true;
}

} // namespace calvenza

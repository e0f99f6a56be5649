#pragma once

#include "register/classreport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace calvenza {

// One pupil of a class list as an electronic register exports it.
struct ClassListRow
{
    int line = 0; // 1 is the file's first
    QString className;
    QString surname;
    QString name;

    // As the register and the machines name him: "Marco Rossi".
    [[nodiscard]] QString pupil() const;
};

struct ClassList
{
    QList<ClassListRow> rows;
    QStringList problems; // "riga 7: manca la classe", one for each line left out
};

// A class list saved as CSV by any spreadsheet: fields split at ';', ',' or tab (whichever the
// first line has most of), quoted or not; UTF-8 with or without its byte-order mark, else
// Windows-1252. The columns are found from a header ("Classe", "Cognome", "Nome", in any order
// and case, among others) or, with none, are class, surname, name. A pupil twice in a class is
// taken once.
[[nodiscard]] ClassList parseClassList(const QByteArray &content);

// "6, 7, 8" (or "6 7 8", "6;7;8"): the tables a class's ripasso covers; empty for none, nullopt
// when something is not a table from 1 to 10.
[[nodiscard]] std::optional<QList<int>> parseTables(const QString &text);

// The class's figures as a spreadsheet reads them on an Italian system (';', UTF-8 with a
// byte-order mark), one pupil a line, private to the user (0600), replaced whole or not at all.
[[nodiscard]] bool exportClass(
    const ClassReport &report, const QString &csvPath, QString *error = nullptr);

} // namespace calvenza

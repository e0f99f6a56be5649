#pragma once

#include <QString>

namespace calvenza {

// calvenza --verifica-server: connects through the school's service and says in Italian what it
// found (the server's version, the layout's version, this machine's answers there and those
// still waiting here), or what is wrong. The exit status: 0 when the link works, else 1.
[[nodiscard]] int checkSchoolServer(const QString &dataDirectory, QString *report);

} // namespace calvenza

#pragma once

#include "register/classreport.h"

#include <QString>
#include <memory>

class QTextDocument;

namespace calvenza {

class ClassSource;

// For the parents' meeting: the class's pages (its tavola and the facts it misses most; its
// pupils), then one page per pupil (his tavola, his challenges, what to practise next), as one
// document that prints on any printer Qt knows.
[[nodiscard]] std::unique_ptr<QTextDocument> registerDocument(
    const ClassReport &report, ClassSource &source);

// The same pages as a PDF, replaced whole or not at all; false with the Italian reason in error.
[[nodiscard]] bool saveRegisterPdf(
    const QString &path, const ClassReport &report, ClassSource &source, QString *error = nullptr);

} // namespace calvenza

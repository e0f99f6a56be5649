#include "register/registerprint.h"

#include "progress/challengechart.h"
#include "progress/factmodel.h"
#include "register/classsource.h"
#include "register/registermodels.h"

#include <QDir>
#include <QImage>
#include <QLocale>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QUrl>
#include <functional>

namespace calvenza {

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// A tavola as a table of coloured cells, with the words of the colours under it.
QString gridHtml(const std::function<QColor(const Fact &)> &colourOf,
    const QList<std::pair<FactStanding, QString>> &legend)
{
    QString html = QStringLiteral("<table cellspacing='0' cellpadding='4' border='1' "
                                  "style='border-color:#777'><tr><th></th>");
    for (int factor = 1; factor <= 10; ++factor)
        html += QStringLiteral("<th>×&nbsp;%1</th>").arg(factor);
    html += QStringLiteral("</tr>");
    for (int table = 1; table <= 10; ++table) {
        html += QStringLiteral("<tr><th>%1</th>").arg(table);
        for (int factor = 1; factor <= 10; ++factor)
            html += QStringLiteral("<td align='center' width='34' bgcolor='%1'>%2</td>")
                        .arg(colourOf({table, factor}).name())
                        .arg(table * factor);
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table><p>");
    for (const auto &[standing, words] : legend)
        html += QStringLiteral("<span style='background-color:%1'>&nbsp;&nbsp;&nbsp;&nbsp;</span> "
                               "%2&nbsp;&nbsp; ")
                    .arg(standingColour(standing).name(), escaped(words));
    return html + QStringLiteral("</p>");
}

const QList<FactStanding> standings {FactStanding::Known, FactStanding::Learning,
    FactStanding::MostlyWrong, FactStanding::NeverAsked};

QString heading(const QString &title, const QString &subtitle, bool newPage)
{
    return QStringLiteral("<h2%1>%2</h2><p>%3</p>")
        .arg(newPage ? QStringLiteral(" style='page-break-before:always'") : QString(),
            escaped(title), escaped(subtitle));
}

QString classPage(const ClassReport &report, const QString &when)
{
    QList<std::pair<FactStanding, QString>> legend;
    for (const FactStanding standing : standings)
        legend.append({standing, classStandingWords(standing)});
    QString html = heading(QStringLiteral("Registro di classe: %1").arg(report.className),
        QStringLiteral("%1. Alunni: %2.").arg(when).arg(report.pupils.size()), false);
    html += gridHtml(
        [&](const Fact &fact) { return standingColour(classStanding(report.fact(fact))); }, legend);

    html += QStringLiteral("<h3>Le moltiplicazioni più sbagliate</h3>");
    const QList<Fact> missed = report.missedMost();
    if (missed.isEmpty())
        html += QStringLiteral("<p>Nessuna moltiplicazione è sbagliata spesso.</p>");
    else {
        html += QStringLiteral("<ol>");
        for (const Fact &fact : missed)
            html += QStringLiteral("<li>%1</li>")
                        .arg(escaped(
                            missedFactText(fact, report.fact(fact), int(report.pupils.size()))));
        html += QStringLiteral("</ol>");
    }

    // The pupils' table on a page of its own, as wide as the page, so that its rows stay short.
    html += QStringLiteral("<h3 style='page-break-before:always'>Gli alunni: %1</h3>"
                           "<table width='100%' cellspacing='0' cellpadding='2' border='1' "
                           "style='border-color:#777; font-size:7.5pt'><tr>")
                .arg(escaped(report.className));
    PupilTableModel model;
    model.setReport(report);
    for (int column = 0; column < PupilTableModel::ColumnCount; ++column)
        html += (column == PupilTableModel::Attention ? QStringLiteral("<th width='30%'>%1</th>")
                                                      : QStringLiteral("<th>%1</th>"))
                    .arg(escaped(PupilTableModel::columnTitle(column).section(u'\n', 0, 0)));
    html += QStringLiteral("</tr>");
    for (const PupilFigures &pupil : report.pupils) {
        const QColor colour = attentionColour(pupil);
        html += colour.isValid() ? QStringLiteral("<tr bgcolor='%1'>").arg(colour.name())
                                 : QStringLiteral("<tr>");
        for (int column = 0; column < PupilTableModel::ColumnCount; ++column)
            html += QStringLiteral("<td>%1</td>").arg(escaped(model.cellText(pupil, column)));
        html += QStringLiteral("</tr>");
    }
    return html
        + QStringLiteral("</table><p>Minuti e risposte: questa settimana. Giuste e tempo mediano: "
                         "nelle ultime 4 settimane. Andamento: le giuste di questa settimana "
                         "rispetto alla precedente.</p>");
}

QString pupilPage(const PupilFigures &pupil, const PupilTableModel &model, const QString &when,
    const QString &chartName)
{
    QList<std::pair<FactStanding, QString>> legend;
    for (const FactStanding standing : standings)
        legend.append({standing, standingWords(standing)});
    QString html
        = heading(QStringLiteral("La tavola pitagorica di %1").arg(pupil.name), when, true);
    html += gridHtml(
        [&](const Fact &fact) {
            return standingColour(standingOf(pupil.facts.at(fact.table, fact.factor)));
        },
        legend);
    html += QStringLiteral("<p>Ultima volta: %1. Questa settimana: %2 minuti, %3 risposte. "
                           "Imparate: %4. Giuste nelle ultime 4 settimane: %5.</p>")
                .arg(escaped(model.cellText(pupil, PupilTableModel::LastPractice)))
                .arg(pupil.minutesThisWeek)
                .arg(pupil.answersThisWeek)
                .arg(escaped(model.cellText(pupil, PupilTableModel::FactsKnown)),
                    escaped(model.cellText(pupil, PupilTableModel::PercentRight)));
    html += QStringLiteral("<h3>Le sfide giorno per giorno</h3><p><img src='%1'></p>")
                .arg(chartName);
    html += QStringLiteral("<h3>Cosa esercitare</h3><p>%1</p>").arg(escaped(practiceAdvice(pupil)));
    return html;
}

} // namespace

std::unique_ptr<QTextDocument> registerDocument(const ClassReport &report, ClassSource &source)
{
    auto document = std::make_unique<QTextDocument>();
    QFont font = document->defaultFont();
    font.setPointSizeF(9);
    document->setDefaultFont(font);
    const QString when
        = QLocale(QLocale::Italian, QLocale::Italy)
              .toString(report.at.toLocalTime(), QStringLiteral("d MMMM yyyy, HH:mm"));
    QString html = classPage(report, when);
    PupilTableModel model;
    model.setReport(report);
    ChallengeChart chart;
    chart.resize(560, 200);
    int place = 0;
    for (const PupilFigures &pupil : report.pupils) {
        Problem problem;
        chart.setChallenges(source.challengesOf(pupil, &problem));
        const QString name = QStringLiteral("sfide-%1.png").arg(place++);
        document->addResource(QTextDocument::ImageResource, QUrl(name), chart.grab().toImage());
        html += pupilPage(pupil, model, when, name);
        if (!problem.isEmpty())
            html += QStringLiteral("<p>%1</p>").arg(escaped(problem.sentence));
    }
    document->setHtml(html);
    return document;
}

bool saveRegisterPdf(
    const QString &path, const ClassReport &report, ClassSource &source, QString *error)
{
    // Written beside and renamed at the end, so a failure never leaves half a PDF behind.
    QSaveFile file(path);
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Non riesco a salvare il PDF «%1»: %2.")
                         .arg(QDir::toNativeSeparators(path), why);
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setTitle(QStringLiteral("Registro di classe: %1").arg(report.className));
        writer.setCreator(QStringLiteral("Calvenza"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        registerDocument(report, source)->print(&writer);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace calvenza

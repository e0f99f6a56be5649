#include "progress/challengechart.h"

#include "drill/timestable.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <map>

namespace calvenza {

namespace {

constexpr int leftMargin = 40;
constexpr int rightMargin = 12;
constexpr int legendHeight = 22;
constexpr int bottomMargin = 24;

QString noChallenges()
{
    return QStringLiteral("Non c'è ancora nessuna sfida: ogni sfida finita comparirà qui.");
}

QString rightAnswers(int n)
{
    if (n == 0)
        return QStringLiteral("nessuna risposta giusta");
    return n == 1 ? QStringLiteral("1 risposta giusta")
                  : QStringLiteral("%1 risposte giuste").arg(n);
}

} // namespace

ChallengeChart::ChallengeChart(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Le sfide giorno per giorno"));
    setFocusPolicy(Qt::TabFocus); // so a screen reader reaches its description
    setMinimumHeight(160);
}

QSize ChallengeChart::sizeHint() const
{
    return {560, 220};
}

QColor ChallengeChart::tableColour(int table)
{
    static const QColor colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
        QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28), QColor(0x94, 0x67, 0xbd),
        QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x4d, 0x4d, 0x4d),
        QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf)};
    return colours[(std::clamp(table, firstTable, lastTable) - 1) % 10];
}

void ChallengeChart::setChallenges(const QList<ChallengeRecord> &challenges)
{
    m_challenges = challenges;
    std::map<int, QList<int>> byTable;
    for (const ChallengeRecord &c : challenges)
        byTable[c.table] << c.right;
    QStringList description;
    for (const auto &[table, rights] : byTable) {
        const QString heading = QStringLiteral("Tabellina ") + tableWithArticle(table);
        if (rights.size() == 1)
            description << heading + QStringLiteral(": una sfida, con ")
                    + rightAnswers(rights.at(0));
        else
            description << heading
                    + QStringLiteral(": %1 sfide, l'ultima con %2, la migliore con %3")
                          .arg(rights.size())
                          .arg(rightAnswers(rights.constLast()),
                              rightAnswers(*std::max_element(rights.begin(), rights.end())));
    }
    setAccessibleDescription(
        description.isEmpty() ? noChallenges() : description.join(QStringLiteral(". ")) + u'.');
    update();
}

void ChallengeChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    const QRect plot = rect().adjusted(leftMargin, legendHeight + 6, -rightMargin, -bottomMargin);
    if (m_challenges.isEmpty() || plot.width() < 20 || plot.height() < 20) {
        painter.setPen(palette().text().color());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, noChallenges());
        return;
    }

    const auto [earliest, latest] = std::minmax_element(m_challenges.begin(), m_challenges.end(),
        [](const auto &a, const auto &b) { return a.endedAt < b.endedAt; });
    const qint64 first = earliest->endedAt.toMSecsSinceEpoch();
    const qint64 span = std::max<qint64>(1, latest->endedAt.toMSecsSinceEpoch() - first);
    int most = 5;
    for (const ChallengeRecord &c : std::as_const(m_challenges))
        most = std::max(most, c.right);
    const int step = std::max(1, (most + 4) / 5);
    most = step * 5;

    const auto pointOf = [&](const ChallengeRecord &c) {
        const double x = m_challenges.size() == 1
            ? plot.center().x()
            : plot.left() + double(c.endedAt.toMSecsSinceEpoch() - first) / span * plot.width();
        return QPointF(x, plot.bottom() - double(c.right) / most * plot.height());
    };

    // Grid and scale: right answers upwards, days to the right.
    const QColor gridColour = palette().mid().color();
    const QColor textColour = palette().text().color();
    for (int value = 0; value <= most; value += step) {
        const double y = plot.bottom() - double(value) / most * plot.height();
        painter.setPen(QPen(gridColour, 0.5));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(textColour);
        painter.drawText(QRectF(0, y - 8, leftMargin - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
            QString::number(value));
    }
    const QString dateFormat = QStringLiteral("d/M/yyyy");
    painter.drawText(QRect(plot.left(), plot.bottom() + 4, plot.width(), bottomMargin - 4),
        Qt::AlignLeft | Qt::AlignTop, earliest->endedAt.toLocalTime().toString(dateFormat));
    if (span > 1)
        painter.drawText(QRect(plot.left(), plot.bottom() + 4, plot.width(), bottomMargin - 4),
            Qt::AlignRight | Qt::AlignTop, latest->endedAt.toLocalTime().toString(dateFormat));

    std::map<int, QList<QPointF>> lines;
    for (const ChallengeRecord &c : std::as_const(m_challenges))
        lines[c.table] << pointOf(c);
    const QString legendTitle = QStringLiteral("Tabellina:");
    painter.setPen(textColour);
    painter.drawText(
        QRect(4, 0, width(), legendHeight), Qt::AlignLeft | Qt::AlignVCenter, legendTitle);
    int legendX = 4 + painter.fontMetrics().horizontalAdvance(legendTitle) + 8;
    for (const auto &[table, points] : lines) {
        const QColor colour = tableColour(table);
        painter.setPen(QPen(colour, 2));
        if (points.size() > 1)
            painter.drawPolyline(points.constData(), int(points.size()));
        // Dots only while they can still be told apart.
        painter.setBrush(colour);
        if (points.size() * 8 < plot.width())
            for (const QPointF &p : points)
                painter.drawEllipse(p, 3, 3);
        const QString label = QString::number(table);
        painter.setPen(QPen(colour, 3));
        painter.drawLine(legendX, legendHeight / 2, legendX + 12, legendHeight / 2);
        painter.setPen(textColour);
        const int labelWidth = painter.fontMetrics().horizontalAdvance(label);
        painter.drawText(QRect(legendX + 15, 0, labelWidth + 2, legendHeight),
            Qt::AlignLeft | Qt::AlignVCenter, label);
        legendX += 15 + labelWidth + 10;
    }
}

} // namespace calvenza

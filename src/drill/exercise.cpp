#include "drill/exercise.h"

#include "drill/randomsource.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace calvenza {

qint16 drawOneToTen(double r)
{
    const double whole = std::floor(r * 10.0) + 1.0;
    if (!(whole >= 1.0)) // also catches NaN
        return 1;
    return static_cast<qint16>(std::min(whole, 10.0));
}

Exercise drawExercise(RandomSource &random, int table)
{
    random.reseed();
    Exercise e;
    e.table = static_cast<qint16>(table);
    e.greenShade = drawOneToTen(random.next());
    e.factor = drawOneToTen(random.next());
    e.product = static_cast<qint16>(e.factor * e.table);
    return e;
}

NarratorScript dictation(const QString &firstFactor, const QString &secondInWords)
{
    return {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(QStringLiteral("Greet")), NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(firstFactor), NarratorRequest::speak(QStringLiteral("per")),
        NarratorRequest::speak(secondInWords)};
}

QColor bandColour(qint16 table, qint16 greenShade, int band)
{
    return QColor(std::clamp(table * 20, 0, 255), std::clamp(greenShade * 20, 0, 255),
        std::clamp(band, 0, 255));
}

void paintGradient(QPainter &painter, const QRect &area, qint16 table, qint16 greenShade)
{
    // The bands fill the height exactly whatever it is: 512 units, two per band.
    const int h = area.height();
    for (int i = 0; i < gradientBands; ++i) {
        const int top = area.top() + (2 * i * h) / 512;
        const int bottom = area.top() + (2 * (i + 1) * h) / 512;
        painter.fillRect(
            QRect(area.left(), top, area.width(), bottom - top), bandColour(table, greenShade, i));
    }
}

} // namespace calvenza

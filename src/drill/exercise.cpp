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

Exercise drawExercise(RandomSource &random)
{
    random.reseed();
    Exercise e;
    e.num1 = 8;
    e.numcolore = drawOneToTen(random.next());
    e.num2 = drawOneToTen(random.next());
    e.prodotto = static_cast<qint16>(e.num2 * e.num1);
    return e;
}

NarratorScript dictation(const QString &firstFactor, const QString &secondInWords)
{
    return {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(QStringLiteral("Greet")), NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(firstFactor), NarratorRequest::speak(QStringLiteral("per")),
        NarratorRequest::speak(secondInWords)};
}

QColor bandColour(qint16 num1, qint16 numcolore, int band)
{
    return QColor(std::clamp(num1 * 20, 0, 255), std::clamp(numcolore * 20, 0, 255),
        std::clamp(band, 0, 255));
}

void paintGradient(QPainter &painter, const QRect &area, qint16 num1, qint16 numcolore)
{
    // The bands fill the height exactly whatever it is: 512 units, two per band.
    const int h = area.height();
    for (int i = 0; i < gradientBands; ++i) {
        const int top = area.top() + (2 * i * h) / 512;
        const int bottom = area.top() + (2 * (i + 1) * h) / 512;
        painter.fillRect(
            QRect(area.left(), top, area.width(), bottom - top), bandColour(num1, numcolore, i));
    }
}

} // namespace calvenza

#pragma once

#include "narrator/narrator.h"

#include <QColor>
#include <QtGlobal>

class QPainter;
class QRect;

namespace calvenza {

class RandomSource;

// One exercise of the table: 8 times a number from 1 to 10, and the green of its background.
struct Exercise
{
    qint16 num1 = 8;
    qint16 num2 = 1;
    qint16 prodotto = 8;
    qint16 numcolore = 1;
};

// floor(r * 10) + 1 for r in [0, 1); kept within 1..10 whatever the generator gives.
[[nodiscard]] qint16 drawOneToTen(double r);

// Reseeds, then draws the colour first and the second factor after it.
[[nodiscard]] Exercise drawExercise(RandomSource &random);

// The dictation: greet, then "8", "per", the words of the second factor.
[[nodiscard]] NarratorScript dictation(const QString &firstFactor, const QString &secondInWords);

// The background's 256 horizontal bands: red num1 * 20, green numcolore * 20, blue the band.
inline constexpr int gradientBands = 256;
[[nodiscard]] QColor bandColour(qint16 num1, qint16 numcolore, int band);
void paintGradient(QPainter &painter, const QRect &area, qint16 num1, qint16 numcolore);

} // namespace calvenza

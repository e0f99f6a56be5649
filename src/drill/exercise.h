#pragma once

#include "narrator/narrator.h"

#include <QColor>
#include <QtGlobal>

class QPainter;
class QRect;

namespace calvenza {

class RandomSource;

// One exercise: the table times a number from 1 to 10, and the green of its background.
struct Exercise
{
    qint16 table = 8;
    qint16 factor = 1;
    qint16 product = 8;
    qint16 greenShade = 1;
};

// floor(r * 10) + 1 for r in [0, 1); kept within 1..10 whatever the generator gives.
[[nodiscard]] qint16 drawOneToTen(double r);

// Reseeds, then draws the green shade first and the factor after it.
[[nodiscard]] Exercise drawExercise(RandomSource &random, int table);

// The dictation: greet, then the table ("8"), "per", the words of the factor.
[[nodiscard]] NarratorScript dictation(const QString &firstFactor, const QString &secondInWords);

// The background's 256 horizontal bands: red table * 20, green greenShade * 20, blue the band.
inline constexpr int gradientBands = 256;
[[nodiscard]] QColor bandColour(qint16 table, qint16 greenShade, int band);
void paintGradient(QPainter &painter, const QRect &area, qint16 table, qint16 greenShade);

} // namespace calvenza

#pragma once

// Enter in the answer box to the verdict on screen, with the real window and its handlers: the
// measure of bench_verdict, also taken while the sender meets a faulty school's server.

#include "benchreport.h"
#include "benchwait.h"
#include "support.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

namespace calvenza::bench {

// Exercise number round (right and wrong answers in turn, so both verdicts are drawn), timed in
// microseconds from Return to the paint pass that draws the verdict, or to the second given up
// waiting for it (painted then false). watch counts the verdict label's paints.
inline double enterToVerdictUs(testing::Harness &h, QLineEdit *answerBox, PaintWatch &watch,
    int round, bool *painted = nullptr)
{
    h.random->values = {testing::drawing(1 + round % 10), testing::drawing(1 + (round * 7) % 10)};
    h.tavola->session().newExercise();
    settle();
    const int product = h.tavola->session().exercise().product;
    QTest::keyClicks(answerBox, QString::number(round % 2 ? product : product + 1));
    settle();
    watch.paints = 0;
    const auto start = Clock::now();
    QTest::keyClick(answerBox, Qt::Key_Return);
    // processEvents returns only after the paint pass it ran has been flushed.
    const auto deadline = start + std::chrono::seconds(1);
    while (watch.paints == 0 && Clock::now() < deadline)
        QCoreApplication::processEvents();
    if (painted)
        *painted = watch.paints > 0;
    return microsecondsSince(start);
}

} // namespace calvenza::bench

#pragma once

#include "drill/answer.h"

#include <QList>
#include <QWidget>

namespace calvenza {

// The pupil's challenges over the days: right answers per challenge, one line per table.
// Painted here rather than with Qt Charts: a few dozen lines of painting against a 2.4 MB
// library (and its OpenGL dependencies) loaded at every start of the program.
class ChallengeChart : public QWidget
{
    Q_OBJECT
public:
    explicit ChallengeChart(QWidget *parent = nullptr);

    // Oldest first.
    void setChallenges(const QList<ChallengeRecord> &challenges);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] static QColor tableColour(int table);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<ChallengeRecord> m_challenges;
};

} // namespace calvenza

#pragma once

#include "memory/factsummary.h"
#include "platform/problem.h"

#include <QDialog>
#include <QStyledItemDelegate>
#include <memory>

class QLabel;
class QTableView;

namespace Ui {
class ProgressWindow;
}

namespace calvenza {

class FactModel;

// A cell of a tavola keeps its colour when chosen, the keyboard's place a dashed frame; a fact
// the model marks as outlined (FactModel::OutlinedRole) gets a thick blue frame.
class FactCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
};

// A tavola's cells all in sight without scroll bars: the view's size follows from its cells' sizes
// and its frame, whose width the style sets.
void fitTavola(QTableView *view, int rowHeaderWidth, int columnHeaderHeight);

// A legend's small square in a standing's colour.
[[nodiscard]] QLabel *standingSwatch(FactStanding standing, QWidget *parent);

// "La mia tavola pitagorica": one pupil's facts from red to green, his challenges over the days,
// and a button that saves it all as a picture for a parent or a teacher.
class ProgressWindow : public QDialog
{
    Q_OBJECT
public:
    // Reads the machine's history of the pupil at once, the school's later (schoolNote() says
    // when the server did not answer); movedUp are outlined (the facts that moved up today).
    ProgressWindow(const QString &dataDirectory, const QString &pupil,
        const QList<Fact> &movedUp = {}, QWidget *parent = nullptr);
    // The same picture from figures read elsewhere (the school's server); challengesNote, when
    // given, is said under the chart.
    ProgressWindow(const QString &pupil, const FactTable &facts,
        const QList<ChallengeRecord> &challenges, const Problem &challengesNote,
        QWidget *parent = nullptr);
    ~ProgressWindow() override;

    [[nodiscard]] FactModel *model() const { return m_model; }
    [[nodiscard]] QTableView *view() const;
    [[nodiscard]] QLabel *schoolNote() const;

    // The table, its legend and the chart as a PNG; false with a sentence in error and the path
    // and the system's reason in details.
    bool savePicture(
        const QString &path, QString *error = nullptr, QString *details = nullptr) const;

private:
    void build(const FactTable &facts, const Problem &factsProblem,
        const QList<ChallengeRecord> &challenges, const Problem &challengesProblem,
        const QList<Fact> &movedUp);
    void askWhereToSave();

    std::unique_ptr<Ui::ProgressWindow> m_ui;
    FactModel *m_model;
    QString m_pupil;
};

// Opens the picture beside the drill (not modal) and gives it back; it deletes itself when closed.
ProgressWindow *showProgress(QWidget *parent, const QString &dataDirectory, const QString &pupil,
    const QList<Fact> &movedUp = {});

// The pupil to show, chosen from those known on this computer, of pupilClass when one is given;
// empty when there are none (the pupil is told) or the choice is cancelled.
[[nodiscard]] QString choosePupil(
    QWidget *parent, const QString &dataDirectory, const QString &pupilClass = {});

// calvenza --progressi [NOME] [--classe CLASSE]: the picture alone, without the drill; the exit
// status.
int runProgressPicture(
    const QString &dataDirectory, const QString &pupil, const QString &pupilClass = {});

} // namespace calvenza

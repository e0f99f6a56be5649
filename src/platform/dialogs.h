#pragma once

#include <QString>

#include <QStringList>

class QLineEdit;
class QStyle;
class QWidget;

namespace calvenza {

// The program's look: Fusion, with the boxes' buttons in words alone, as the classic boxes have
// them. Button icons would also load Qt's icon and image plugins before the first box is shown.
[[nodiscard]] QStyle *programStyle();

// The program's modal dialogs: OK only, no icon, the given title, opened over the given window.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // The text typed; OK on an empty field and Cancel both give the empty text.
    virtual QString inputBox(QWidget *parent, const QString &prompt, const QString &title) = 0;
    // The same, with text already in the field and names offered as the pupil types.
    virtual QString inputBoxOffering(QWidget *parent, const QString &prompt, const QString &title,
        const QString &text, const QStringList &offered)
    {
        Q_UNUSED(text);
        Q_UNUSED(offered);
        return inputBox(parent, prompt, title);
    }
    // details: the system's own words for a grown-up, behind the box's details button; none
    // when empty.
    virtual void messageBox(
        QWidget *parent, const QString &text, const QString &title, const QString &details)
        = 0;
};

class QtDialogs : public Dialogs
{
public:
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title) override;
    QString inputBoxOffering(QWidget *parent, const QString &prompt, const QString &title,
        const QString &text, const QStringList &offered) override;
    void messageBox(QWidget *parent, const QString &text, const QString &title,
        const QString &details) override;
};

// Offers these names under the line edit as the pupil types, by a prefix whatever its case and
// accents ("nico" finds "Nicolò · 4B"), in the order given.
void offerNames(QLineEdit *edit, const QStringList &names);

// The same for an input box on screen now, if there is one.
void offerNamesInOpenBox(const QStringList &names);

} // namespace calvenza

#pragma once

#include <QString>

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
    void messageBox(QWidget *parent, const QString &text, const QString &title,
        const QString &details) override;
};

} // namespace calvenza

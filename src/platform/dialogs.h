#pragma once

#include <QString>

class QWidget;

namespace calvenza {

// The program's modal dialogs: OK only, no icon, the given title.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // The text typed; OK on an empty field and Cancel both give the empty text.
    virtual QString inputBox(const QString &prompt, const QString &title) = 0;
    virtual void messageBox(const QString &text, const QString &title) = 0;
};

class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parent = nullptr)
        : m_parent(parent)
    {
    }
    void setParent(QWidget *parent) { m_parent = parent; }
    QString inputBox(const QString &prompt, const QString &title) override;
    void messageBox(const QString &text, const QString &title) override;

private:
    QWidget *m_parent;
};

} // namespace calvenza

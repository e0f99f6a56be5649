#include "platform/dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace calvenza {

namespace {

// A box opens over its window. While that window is not on screen yet (the boxes of the
// start-up), it is placed there by hand rather than parented: as the parent of a modal box, the
// window not yet shown was measured to appear about 10 ms later once the box closed.
int runOver(QDialog &box, QWidget *window)
{
    if (window && !box.parentWidget()) {
        box.adjustSize();
        box.move(window->frameGeometry().center() - box.rect().center());
    }
    return box.exec();
}

QWidget *ownerOnScreen(QWidget *window)
{
    return window && window->isVisible() ? window : nullptr;
}

} // namespace

QString QtDialogs::inputBox(QWidget *parent, const QString &prompt, const QString &title)
{
    QInputDialog box(ownerOnScreen(parent));
    box.setObjectName(QStringLiteral("inputBox"));
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(QString());
    box.setInputMode(QInputDialog::TextInput);
    if (runOver(box, parent) != QDialog::Accepted)
        return {};
    return box.textValue();
}

void QtDialogs::messageBox(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(ownerOnScreen(parent));
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(title);
    box.setIcon(QMessageBox::NoIcon);
    // Names and file contents end up in these texts: never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    runOver(box, parent);
}

} // namespace calvenza

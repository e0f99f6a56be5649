#include "platform/dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace calvenza {

QString QtDialogs::inputBox(QWidget *parent, const QString &prompt, const QString &title)
{
    QInputDialog box(parent);
    box.setObjectName(QStringLiteral("inputBox"));
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(QString());
    box.setInputMode(QInputDialog::TextInput);
    if (box.exec() != QDialog::Accepted)
        return {};
    return box.textValue();
}

void QtDialogs::messageBox(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(title);
    box.setIcon(QMessageBox::NoIcon);
    // Names and file contents end up in these texts: never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace calvenza

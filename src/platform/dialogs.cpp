#include "platform/dialogs.h"

#include <QApplication>
#include <QCompleter>
#include <QEvent>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProxyStyle>
#include <QStandardItemModel>
#include <QStyleFactory>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <xcb/xcb.h>

namespace calvenza {

namespace {

bool hasWindowManager(xcb_connection_t *connection, xcb_window_t root)
{
    static const char name[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, true, sizeof name - 1, name), nullptr);
    if (!atom)
        return false;
    xcb_get_property_reply_t *property = xcb_get_property_reply(connection,
        xcb_get_property(connection, false, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
    const bool found = property && xcb_get_property_value_length(property) > 0;
    std::free(property);
    std::free(atom);
    return found;
}

// Gives its window the X keyboard once the window is exposed (mapped: focus on a window not yet
// viewable is refused), then goes.
class KeyboardOnExpose : public QObject
{
public:
    explicit KeyboardOnExpose(QWindow *window)
        : QObject(window)
    {
        setObjectName(QStringLiteral("keyboardOnExpose"));
        window->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            giveKeyboard(static_cast<QWindow *>(watched));
            deleteLater();
        }
        return false;
    }
    static void giveKeyboard(QWindow *window)
    {
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_set_input_focus(x11->connection(), XCB_INPUT_FOCUS_PARENT,
            xcb_window_t(window->winId()), XCB_CURRENT_TIME);
        xcb_flush(x11->connection());
    }
};

bool withoutWindowManager()
{
    // Under another platform (offscreen, Wayland) the interface may still be there, with no
    // connection behind it.
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false; // not X11
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    return screen && !hasWindowManager(connection, screen->root);
}

// Without a window manager Qt asks the X server for the keyboard with the time of the last X
// event it has seen, and the server ignores a request older than its last focus change: a box
// opened by a clock tick could stay without the keys, and after a box closed they stayed on the
// root window, where none reaches the program. There the window is handed the keyboard at the
// server's own time, once it is on screen.
void giveKeyboardWhenShown(QWidget *widget)
{
    QWindow *window = widget->window()->windowHandle();
    if (!window) {
        widget->window()->winId();
        window = widget->window()->windowHandle();
    }
    if (window->isExposed())
        KeyboardOnExpose::giveKeyboard(window);
    else if (!window->findChild<KeyboardOnExpose *>(QString(), Qt::FindDirectChildrenOnly))
        new KeyboardOnExpose(window);
}

int runOver(QDialog &box, QWidget *window)
{
    if (window && !box.parentWidget()) {
        box.adjustSize();
        box.move(window->frameGeometry().center() - box.rect().center());
    }
    const bool unmanaged = withoutWindowManager();
    if (unmanaged)
        giveKeyboardWhenShown(&box);
    const int result = box.exec();
    // The window under the box takes the keyboard back, now or when it first appears (the
    // start-up boxes come before it).
    if (unmanaged && window)
        giveKeyboardWhenShown(window);
    return result;
}

QWidget *ownerOnScreen(QWidget *window)
{
    return window && window->isVisible() ? window : nullptr;
}

class WordsOnlyButtons : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Matches what is typed against each name with case and accents folded away, and puts the name
// itself in the field.
class FoldingCompleter : public QCompleter
{
public:
    using QCompleter::QCompleter;
    static QString folded(const QString &text)
    {
        QString plain;
        for (const QChar c : text.normalized(QString::NormalizationForm_D))
            if (!c.isMark())
                plain += c;
        return plain.toCaseFolded();
    }
    QStringList splitPath(const QString &path) const override { return {folded(path)}; }
    QString pathFromIndex(const QModelIndex &index) const override
    {
        return index.data(Qt::DisplayRole).toString();
    }
};

constexpr int foldedRole = Qt::UserRole + 1;

void showChoices(QLineEdit *edit)
{
    if (QCompleter *completer = edit->completer()) {
        completer->setCompletionPrefix(edit->text());
        completer->complete();
    }
}

// Opens the line edit's choices once its window is on screen where it stays: opened earlier, the
// list would stay where the window was before the window manager placed it.
class ChoicesOnExpose : public QObject
{
public:
    ChoicesOnExpose(QWindow *window, QLineEdit *edit)
        : QObject(window)
        , m_edit(edit)
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            QTimer::singleShot(0, m_edit, [edit = m_edit] { showChoices(edit); });
            deleteLater();
        }
        return false;
    }

private:
    QLineEdit *m_edit;
};

} // namespace

void offerNames(QLineEdit *edit, const QStringList &names)
{
    if (names.isEmpty())
        return;
    auto *model = new QStandardItemModel(edit);
    for (const QString &name : names) {
        auto *item = new QStandardItem(name);
        item->setData(FoldingCompleter::folded(name), foldedRole);
        model->appendRow(item);
    }
    auto *completer = new FoldingCompleter(model, edit);
    completer->setCompletionRole(foldedRole);
    completer->setCaseSensitivity(Qt::CaseSensitive); // already folded
    completer->setFilterMode(Qt::MatchStartsWith);
    completer->setModelSorting(QCompleter::UnsortedModel);
    completer->setMaxVisibleItems(8);
    edit->setCompleter(completer);
}

void offerNamesInOpenBox(const QStringList &names)
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->objectName() == QLatin1String("inputBox")) {
            if (auto *edit = window->findChild<QLineEdit *>()) {
                offerNames(edit, names);
                // What was typed before the names arrived is offered at once.
                if (!edit->text().isEmpty())
                    showChoices(edit);
            }
        }
    }
}

QStyle *programStyle()
{
    return new WordsOnlyButtons(QStyleFactory::create(QStringLiteral("Fusion")));
}

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

QString QtDialogs::inputBoxOffering(QWidget *parent, const QString &prompt, const QString &title,
    const QString &text, const QStringList &offered)
{
    QInputDialog box(ownerOnScreen(parent));
    box.setObjectName(QStringLiteral("inputBox"));
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setInputMode(QInputDialog::TextInput);
    box.setTextValue(text);
    if (auto *edit = box.findChild<QLineEdit *>()) {
        offerNames(edit, offered);
        box.winId();
        new ChoicesOnExpose(box.windowHandle(), edit);
    }
    if (runOver(box, parent) != QDialog::Accepted)
        return {};
    return box.textValue();
}

void QtDialogs::messageBox(
    QWidget *parent, const QString &text, const QString &title, const QString &details)
{
    QMessageBox box(ownerOnScreen(parent));
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(title);
    box.setIcon(QMessageBox::NoIcon);
    // Names and file contents end up in these texts: never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setDetailedText(details);
    box.setStandardButtons(QMessageBox::Ok);
    runOver(box, parent);
}

} // namespace calvenza

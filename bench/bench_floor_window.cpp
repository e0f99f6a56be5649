// The floor for start-up and memory: the least a Qt Widgets program does to put a window on
// screen. With --boxes it first asks a name and shows a message, as Calvenza's start does; with
// --text its window shows one line of text, which is what any first window with words pays for
// (fontconfig's rules, the font database, one font loaded and shaped).
// Run with CALVENZA_PAINT_LOG=1 to get the same paint lines as the program; it quits once its
// window has been painted.
#include "app/paintlog.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <cstring>

namespace {

class FloorWindow : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!m_quitting) {
            m_quitting = true;
            QTimer::singleShot(100, qApp, &QCoreApplication::quit);
        }
    }

private:
    bool m_quitting = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    calvenza::PaintLog::installIfRequested(app);
    if (argc > 1 && std::strcmp(argv[1], "--boxes") == 0) {
        QInputDialog box;
        box.setObjectName(QStringLiteral("inputBox"));
        box.setLabelText(QStringLiteral("Come ti chiami?"));
        if (box.exec() != QDialog::Accepted)
            return 1;
        QMessageBox message;
        message.setObjectName(QStringLiteral("messageBox"));
        message.setText(box.textValue());
        message.exec();
    }
    FloorWindow window;
    window.setObjectName(QStringLiteral("floorWindow"));
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0)
        (new QLabel(QStringLiteral("Come ti chiami?"), &window))->move(20, 20);
    window.setFixedSize(785, 579);
    window.move(0, 0);
    window.show();
    return app.exec();
}

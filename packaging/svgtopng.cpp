// Renders an SVG into a square PNG, so the hicolor icons come from the one drawing at build time.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // Build machines often have no display; painting into an image needs none.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        err << "uso: svgtopng FILE.svg FILE.png LATO\n";
        return 2;
    }
    bool sizeOk = false;
    const int side = args.at(3).toInt(&sizeOk);
    if (!sizeOk || side < 1 || side > 4096) {
        err << "lato non valido: " << args.at(3) << " (serve un numero da 1 a 4096)\n";
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        err << "disegno SVG non leggibile: " << args.at(1) << '\n';
        return 1;
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    if (!image.save(args.at(2), "PNG")) {
        err << "impossibile scrivere " << args.at(2) << '\n';
        return 1;
    }
    return 0;
}

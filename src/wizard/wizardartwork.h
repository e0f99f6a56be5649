#pragma once

#include "wizard/wizardpose.h"

#include <QHash>
#include <QImage>
#include <QRectF>
#include <QSvgRenderer>

class QPainter;

namespace calvenza {

// The wizard's SVG, drawn part by part in a pose. Parts are rendered once per size into images,
// so a frame is only a handful of image draws.
class WizardArtwork
{
public:
    explicit WizardArtwork(const QString &file = QStringLiteral(":/calvenza/wizard.svg"));

    [[nodiscard]] bool isValid() const { return m_valid; }
    [[nodiscard]] QString errorString() const { return m_error; }
    // A point of the artwork, in pixels of the rendered frame.
    [[nodiscard]] QPointF toPixels(const QPointF &art) const;

    // Height in pixels; the width follows the artwork's aspect.
    void setHeight(int pixels, qreal devicePixelRatio = 1);
    [[nodiscard]] QSize pixelSize() const;
    [[nodiscard]] qreal devicePixelRatio() const { return m_dpr; }

    // Paints the wizard with his top-left at the painter's origin, pixelSize() big.
    void paint(QPainter &painter, const WizardPose &pose) const;
    [[nodiscard]] QImage render(const WizardPose &pose) const;

private:
    // Parts the wizard is drawn from; all must exist in the file.
    [[nodiscard]] static QStringList partIds();

    struct Part
    {
        QRectF bounds; // in artwork units, margin included
        QImage image;
    };
    void drawPart(QPainter &p, const QString &id, qreal opacity = 1) const;
    void drawPartAt(QPainter &p, const QString &id, QPointF centre, qreal scale, qreal angle,
        qreal opacity) const;

    QSvgRenderer m_svg;
    QRectF m_artFrame; // in artwork units: the wizard himself stands in 200 x 260
    QHash<QString, Part> m_parts;
    int m_height = 0;
    qreal m_dpr = 1;
    bool m_valid = false;
    QString m_error;
};

} // namespace calvenza

#pragma once

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QRect>
#include <optional>

namespace calvenza {

// A label whose caption may be auto-sized: it grows or shrinks to fit each new caption,
// keeping its top-left corner. Captions are always plain text.
class CaptionLabel : public QLabel
{
    Q_OBJECT
public:
    explicit CaptionLabel(QWidget *parent, bool autoSize);
    void setCaption(const QString &caption);
    [[nodiscard]] QString caption() const { return text(); }

protected:
    void changeEvent(QEvent *event) override;

private:
    void fit();
    bool m_autoSize;
};

// A push button showing its picture above the caption, with a picture each for up, pressed
// and disabled. Enter and Return click it, as a pupil expects from a focused button.
class PictureButton : public QPushButton
{
    Q_OBJECT
public:
    PictureButton(const QString &caption, QWidget *parent);
    void setPictures(const QIcon &up, const QIcon &pressed, const QIcon &disabled);

protected:
    void paintEvent(QPaintEvent *event) override;
    QSize sizeHint() const override;

private:
    QIcon m_up, m_pressed, m_disabled;
};

// The window's client area: background colour, the exercise's gradient when there is one, and
// the flat shapes beneath the controls.
class ClientArea : public QWidget
{
    Q_OBJECT
public:
    struct Shape
    {
        QString name;
        QRect box;
        QColor fill;
        bool circle = false;
    };
    explicit ClientArea(QWidget *parent);
    // Shapes are given in creation order; earlier ones lie on top.
    void setShapes(QList<Shape> shapes) { m_shapes = std::move(shapes); }
    void setGradient(qint16 num1, qint16 numcolore);
    void clearDrawing();
    [[nodiscard]] bool hasDrawing() const { return m_gradient.has_value(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<Shape> m_shapes;
    std::optional<std::pair<qint16, qint16>> m_gradient;
};

} // namespace calvenza

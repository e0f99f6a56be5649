#pragma once

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <optional>

namespace calvenza {

// A label whose caption may be auto-sized: it grows or shrinks to fit each new caption,
// keeping its top-left corner. Captions are always plain text.
class CaptionLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(bool autoSize READ autoSize WRITE setAutoSize)
public:
    explicit CaptionLabel(QWidget *parent = nullptr);
    void setCaption(const QString &caption);
    [[nodiscard]] bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);

protected:
    void changeEvent(QEvent *event) override;

private:
    void fit();
    bool m_autoSize = false;
};

// A push button showing its picture above the caption, with a picture each for up, pressed
// and disabled. Enter and Return click it, as a pupil expects from a focused button.
class PictureButton : public QPushButton
{
    Q_OBJECT
public:
    explicit PictureButton(QWidget *parent = nullptr);
    void setPictures(const QIcon &up, const QIcon &pressed, const QIcon &disabled);

protected:
    void paintEvent(QPaintEvent *event) override;
    QSize sizeHint() const override;

private:
    QIcon m_up, m_pressed, m_disabled;
};

// A flat rectangle or circle beneath the controls, filled with its palette's window colour and
// outlined in the window's drawing colour. A circle's widget reaches one pixel beyond the circle's
// box on every side, for its anti-aliased edge.
class ShapeItem : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool circle READ isCircle WRITE setCircle)
public:
    explicit ShapeItem(QWidget *parent = nullptr);
    [[nodiscard]] bool isCircle() const { return m_circle; }
    void setCircle(bool circle);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_circle = false;
};

// The window's client area: background colour and the exercise's gradient when there is one.
class ClientArea : public QWidget
{
    Q_OBJECT
public:
    explicit ClientArea(QWidget *parent = nullptr);
    void setGradient(qint16 table, qint16 greenShade);
    void clearDrawing();
    [[nodiscard]] bool hasDrawing() const { return m_gradient.has_value(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<std::pair<qint16, qint16>> m_gradient;
};

} // namespace calvenza

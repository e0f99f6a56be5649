#pragma once

#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <initializer_list>
#include <optional>

namespace calvenza {

// One colour for the given roles of a widget's palette, in every colour group; the roles it does
// not set it keeps inheriting from its parent. The form gives our controls their colours so.
void setRoleColour(QWidget *widget, std::initializer_list<QPalette::ColorRole> roles,
    const QColor &colour, QPalette::ColorGroup group = QPalette::All);

// A label whose caption may be auto-sized: it grows or shrinks to fit each new caption,
// keeping its top-left corner. Captions are always plain text.
class CaptionLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(bool autoSize READ autoSize WRITE setAutoSize)
    Q_PROPERTY(QColor textColour READ textColour WRITE setTextColour)
    Q_PROPERTY(QColor backgroundColour READ backgroundColour WRITE setBackgroundColour)
public:
    explicit CaptionLabel(QWidget *parent = nullptr);
    void setCaption(const QString &caption);
    [[nodiscard]] bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);
    [[nodiscard]] QColor textColour() const { return palette().color(QPalette::WindowText); }
    void setTextColour(const QColor &colour);
    // Shows only with autoFillBackground.
    [[nodiscard]] QColor backgroundColour() const { return palette().color(QPalette::Window); }
    void setBackgroundColour(const QColor &colour);

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
    Q_PROPERTY(QColor faceColour READ faceColour WRITE setFaceColour)
    Q_PROPERTY(QColor textColour READ textColour WRITE setTextColour)
    Q_PROPERTY(QColor disabledTextColour READ disabledTextColour WRITE setDisabledTextColour)
public:
    explicit PictureButton(QWidget *parent = nullptr);
    void setPictures(const QIcon &up, const QIcon &pressed, const QIcon &disabled);
    [[nodiscard]] QColor faceColour() const { return palette().color(QPalette::Button); }
    void setFaceColour(const QColor &colour);
    [[nodiscard]] QColor textColour() const { return palette().color(QPalette::ButtonText); }
    // The caption in every state; disabledTextColour, set after it, changes the disabled one.
    void setTextColour(const QColor &colour);
    [[nodiscard]] QColor disabledTextColour() const
    {
        return palette().color(QPalette::Disabled, QPalette::ButtonText);
    }
    void setDisabledTextColour(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;
    QSize sizeHint() const override;

private:
    QIcon m_up, m_pressed, m_disabled;
};

// A flat rectangle or circle beneath the controls, filled with its palette's window colour and
// outlined in the window's drawing colour. A circle's widget reaches one pixel beyond the circle's
// box on every side, for its anti-aliased edge.
class ShapePanel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool circle READ isCircle WRITE setCircle)
    Q_PROPERTY(QColor fillColour READ fillColour WRITE setFillColour)
public:
    explicit ShapePanel(QWidget *parent = nullptr);
    [[nodiscard]] bool isCircle() const { return m_circle; }
    void setCircle(bool circle);
    [[nodiscard]] QColor fillColour() const { return palette().color(QPalette::Window); }
    void setFillColour(const QColor &colour);

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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<std::pair<qint16, qint16>> m_gradient;
};

} // namespace calvenza

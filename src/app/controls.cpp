#include "app/controls.h"

#include "drill/exercise.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

namespace calvenza {

void setRoleColour(QWidget *widget, std::initializer_list<QPalette::ColorRole> roles,
    const QColor &colour, QPalette::ColorGroup group)
{
    QPalette palette = widget->palette();
    for (const QPalette::ColorRole role : roles)
        palette.setColor(group, role, colour);
    widget->setPalette(palette);
}

CaptionLabel::CaptionLabel(QWidget *parent)
    : QLabel(parent)
{
    // Names typed by the pupil and file contents land here: never render them as markup.
    setTextFormat(Qt::PlainText);
}

void CaptionLabel::setCaption(const QString &caption)
{
    setText(caption);
    fit();
}

void CaptionLabel::setAutoSize(bool autoSize)
{
    m_autoSize = autoSize;
    fit();
}

// The roles a label of the old form was given its colours in.
void CaptionLabel::setTextColour(const QColor &colour)
{
    setRoleColour(this, {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}, colour);
}

void CaptionLabel::setBackgroundColour(const QColor &colour)
{
    setRoleColour(this, {QPalette::Window, QPalette::Button, QPalette::Base}, colour);
}

void CaptionLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fit();
}

void CaptionLabel::fit()
{
    if (m_autoSize)
        resize(sizeHint());
}

PictureButton::PictureButton(QWidget *parent)
    : QPushButton(parent)
{
    setAutoDefault(true); // Enter and Return click the focused button outside a dialog too
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::setPictures(const QIcon &up, const QIcon &pressed, const QIcon &disabled)
{
    m_up = up;
    m_pressed = pressed;
    m_disabled = disabled;
    update();
}

void PictureButton::setFaceColour(const QColor &colour)
{
    // The style outlines a button in a shade of the window colour: the face's, as it always was.
    setRoleColour(this, {QPalette::Button, QPalette::Window, QPalette::Base}, colour);
}

void PictureButton::setTextColour(const QColor &colour)
{
    setRoleColour(this, {QPalette::ButtonText, QPalette::WindowText, QPalette::Text}, colour);
}

void PictureButton::setDisabledTextColour(const QColor &colour)
{
    setRoleColour(this, {QPalette::ButtonText}, colour, QPalette::Disabled);
}

QSize PictureButton::sizeHint() const
{
    return {121, 57};
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    p.drawControl(QStyle::CE_PushButtonBevel, option);

    const QIcon &picture = !isEnabled() ? m_disabled : (isDown() ? m_pressed : m_up);
    const QRect area = rect().adjusted(3, 3, -3, -3);
    const int side = std::min(32, area.height() - fontMetrics().height());
    if (!picture.isNull() && side > 0) {
        const QRect pictureRect(area.center().x() - side / 2 + 1, area.top() + 1, side, side);
        picture.paint(&p, pictureRect);
    }
    QRect textRect = area;
    textRect.setTop(area.top() + std::max(side, 0) + 1);
    p.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic, palette(),
        isEnabled(), text(), QPalette::ButtonText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

ClientArea::ClientArea(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
}

void ClientArea::setGradient(qint16 table, qint16 greenShade)
{
    m_gradient = std::make_pair(table, greenShade);
    update();
}

void ClientArea::clearDrawing()
{
    if (!m_gradient)
        return;
    m_gradient.reset();
    update();
}

void ClientArea::paintEvent(QPaintEvent *)
{
    if (!m_gradient)
        return;
    QPainter p(this);
    paintGradient(p, rect(), m_gradient->first, m_gradient->second);
}

ShapePanel::ShapePanel(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapePanel::setCircle(bool circle)
{
    m_circle = circle;
    update();
}

void ShapePanel::setFillColour(const QColor &colour)
{
    setRoleColour(this, {QPalette::Window}, colour);
    update();
}

void ShapePanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    p.setBrush(palette().color(QPalette::Window));
    p.setRenderHint(QPainter::Antialiasing, m_circle);
    if (m_circle) {
        const QRect box = rect().adjusted(1, 1, -1, -1);
        const int d = std::min(box.width(), box.height());
        const QRect circle(box.center().x() - d / 2, box.center().y() - d / 2, d, d);
        p.drawEllipse(circle.adjusted(0, 0, -1, -1));
    } else {
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace calvenza

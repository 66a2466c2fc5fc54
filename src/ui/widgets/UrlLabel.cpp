#include "UrlLabel.h"

#include "Dialogs.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>

UrlLabel::UrlLabel(QWidget* parent) : QLabel(parent) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setTextColor(palette().color(QPalette::Link));
    timer_.setInterval(kCheckInterval);
    connect(&timer_, &QTimer::timeout, this, &UrlLabel::checkMouse);
}

UrlLabel::UrlLabel(const QUrl& url, QWidget* parent) : UrlLabel(parent) {
    setUrl(url);
}

void UrlLabel::setUrl(const QUrl& url) {
    url_ = url;
    setText(url.toString());
    setToolTip(url.toString());
}

QColor UrlLabel::textColor() const {
    return palette().color(foregroundRole());
}

void UrlLabel::setTextColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(foregroundRole(), color);
    setPalette(p);
}

void UrlLabel::enterEvent(QEnterEvent* event) {
    highlight();
    QLabel::enterEvent(event);
}

void UrlLabel::mouseMoveEvent(QMouseEvent* event) {
    highlight();
    QLabel::mouseMoveEvent(event);
}

void UrlLabel::highlight() {
    if (timer_.isActive()) return;
    normalColor_ = textColor();
    setTextColor(highlightColor());
    timer_.start();
}

bool UrlLabel::mouseIsOver() const {
    if (!isVisible()) return false;
    return rect().contains(mapFromGlobal(QCursor::pos()));
}

void UrlLabel::checkMouse() {
    if (mouseIsOver()) return;
    timer_.stop();
    setTextColor(normalColor_);
}

void UrlLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void UrlLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (!click || url_.isEmpty()) return;
    if (!ui::dialogs().openUrl(url_)) ui::dialogs().beep();
}

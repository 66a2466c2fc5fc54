#pragma once

#include <QColor>
#include <QLabel>
#include <QTimer>
#include <QUrl>

// A label that shows a web address as a link: underlined, with the hand
// cursor. While the mouse is over it the text is red; a 100 ms timer watches
// for the mouse to leave and then puts the previous colour back (leave events
// alone can be lost, for example when a window pops up over the label). A
// click opens the address in the user's browser; when that fails the label
// only beeps.
class UrlLabel : public QLabel {
    Q_OBJECT
public:
    explicit UrlLabel(QWidget* parent = nullptr);
    explicit UrlLabel(const QUrl& url, QWidget* parent = nullptr);

    // Shows the address as the label's text.
    void setUrl(const QUrl& url);
    QUrl url() const { return url_; }

    // The colour of the text right now (red while the mouse is over it).
    QColor textColor() const;
    bool isHighlighted() const { return timer_.isActive(); }

    static constexpr int kCheckInterval = 100; // ms
    static QColor highlightColor() { return QColor(0xFF, 0x00, 0x00); }

protected:
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void highlight();
    void checkMouse();
    bool mouseIsOver() const;
    void setTextColor(const QColor& color);

    QUrl url_;
    QTimer timer_;
    QColor normalColor_;
    bool pressed_ = false;
};

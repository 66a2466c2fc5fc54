#pragma once

#include <QList>
#include <QWidget>

class QMenu;
class QShortcut;
class QToolButton;

// A row of command buttons that never cuts a caption. When the row is
// narrower than the buttons with their captions beside the icons, the
// captions go under the icons; when even that does not fit, the buttons at
// the end leave the row for the "»" button's menu, in their order. A button
// that has left the row keeps its Alt key: a window shortcut stands in for
// the button's own, which a hidden button does not answer.
class CommandBar : public QWidget {
    Q_OBJECT
public:
    explicit CommandBar(QWidget* parent = nullptr);

    // Adds a button for `action`, caption and icon from the action; buttons
    // marked `iconOnly` show their icon alone whatever the room.
    QToolButton* addCommand(QAction* action, const QString& objectName, bool iconOnly = false);
    const QList<QToolButton*>& buttons() const { return buttons_; }
    QToolButton* moreButton() const { return more_; }

    // The button a menu of `action` opens under: its own when it is in the
    // row, the "»" button when it has left it.
    QToolButton* anchorFor(const QAction* action) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    int rowWidth(Qt::ToolButtonStyle style, int count, bool withMore) const;
    void arrange();

    struct Entry {
        QToolButton* button;
        bool iconOnly;
        QShortcut* key; // stands in for the button's Alt key while it is hidden
    };
    QList<QToolButton*> buttons_;
    QList<Entry> entries_;
    QToolButton* more_;
    QMenu* moreMenu_;
};

#pragma once

#include <QObject>

class QWidget;

// Application-wide keyboard rule: Enter (Shift+Enter) in an entry control
// acts as Tab (Shift+Tab), so a form can be walked with Enter. Entry controls
// are line edits (with every edit built on them), combo boxes, radio buttons
// and date edits, and their subclasses; never a grid or its cell editor,
// which give Enter a meaning of their own, and never in the standard open
// and save dialogs, where Enter accepts the file name. Enter on a focused push button
// presses it, as on the desktop the users come from.
class AppMessage : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // True when Enter in this control moves on as Tab does.
    static bool entersAsTab(const QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

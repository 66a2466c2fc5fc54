#include "AppMessage.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

bool AppMessage::entersAsTab(const QWidget* control) {
    // The standard open and save dialogs keep their own keys: Enter in the
    // file name accepts the name there.
    if (qobject_cast<const QFileDialog*>(control->window())) return false;
    for (const QWidget* w = control->parentWidget(); w; w = w->parentWidget())
        if (qobject_cast<const QAbstractItemView*>(w)) return false; // a cell editor
    return qobject_cast<const QLineEdit*>(control) || qobject_cast<const QComboBox*>(control) ||
           qobject_cast<const QRadioButton*>(control) ||
           qobject_cast<const QDateTimeEdit*>(control);
}

bool AppMessage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    QWidget* focus = QApplication::focusWidget();
    if (!focus || watched != focus) return false;
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods & ~Qt::ShiftModifier) return false;

    if (entersAsTab(focus)) {
        const bool back = mods & Qt::ShiftModifier;
        QKeyEvent tab(QEvent::KeyPress, back ? Qt::Key_Backtab : Qt::Key_Tab, mods,
                      QStringLiteral("\t"), key->isAutoRepeat());
        // A date edit spends Tab on walking its day, month and year; Enter
        // must leave it for the next control. Its container moves the focus
        // on from it as Tab does from any other control.
        QWidget* target = focus;
        if (qobject_cast<QDateTimeEdit*>(focus) && focus->parentWidget())
            target = focus->parentWidget();
        QCoreApplication::sendEvent(target, &tab);
        return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(focus);
        button && (qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button))) {
        if (button->isEnabled()) button->click();
        return true;
    }
    return false;
}

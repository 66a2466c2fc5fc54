#pragma once

class QMimeData;

#include "Images.h"

#include <QString>

#include <initializer_list>

class QDialog;
class QFrame;
class QPushButton;
class QString;
class QWidget;

// Small builders for the controls the windows share, so that every window
// looks the same.

// A panel in the light "button highlight" colour that the windows use as
// their background.
QFrame* highlightPanel(QWidget* parent, const char* objectName);

// The wait cursor while an object of this kind lives.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A small dialog with only the system menu in its title bar.
void setUpDialog(QDialog* dialog, const char* objectName, const QString& title);
// Its panels stacked from top to bottom, the dialog as large as they need.
void stackPanels(QDialog* dialog, std::initializer_list<QWidget*> panels);

// The strip at the foot of a dialog with "&Aceptar" (BitBtn1) and
// "&Cancelar" (BitBtn2) side by side in the middle.
struct OkCancel {
    QFrame* panel;
    QPushButton* ok;
    QPushButton* cancel;
};
OkCancel okCancelPanel(QWidget* parent, const char* panelName);

// A dialog button with its glyph ("&Aceptar", "&Cancelar", "&Cerrar").
QPushButton* glyphButton(QWidget* parent, const char* objectName, const QString& text,
                         images::Glyph glyph);

// The one local file a drag carries, or nothing: a drop opens one file.
QString droppedFile(const QMimeData* data);

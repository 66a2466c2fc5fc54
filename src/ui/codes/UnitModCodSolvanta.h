#pragma once

#include "engine/codes/CodeTableFile.h"
#include "ui/widgets/EntryControls.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QListWidget;
class QPushButton;

// The code-table editor: the entries of one section of the code-table file,
// to add, change and delete: the section and the width of its codes are
// given when the window is made; the opener sets the caption and the code
// box's maximum length. Every stored change and
// every deletion rewrites the section in the file at once.
//
// An entry is the code (exactly as wide as the section's codes), one blank
// and the description (glosa). Agregar or Modificar opens the two boxes; the
// entry is stored when the focus leaves the description box with both boxes
// filled.
class TFrmModCodSolvanta : public QDialog {
    Q_OBJECT
public:
    TFrmModCodSolvanta(const QString& section, int width, QWidget* parent = nullptr,
                       const solvanta::CodeTableFile& codes = {});
    const QString& section() const { return section_; }
    int codeWidth() const { return width_; }

    UpperEdit* EdCodigo() const { return EdCodigo_; }

public slots:
    void modifyEntry(); // Modificar
    void saveList();    // writes the on-screen list to the file
    void addEntry();    // Agregar
    void deleteEntry(); // Eliminar
    void showHelp();    // Ayuda

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillList();
    void codeLeft();
    void descriptionLeft();
    int selectedRow() const;
    void openBoxes(const QString& code, const QString& glosa);
    void closeBoxes();

    solvanta::CodeTableFile codes_;
    QString section_;
    int width_;
    int cont = 0;         // where the next stored entry goes
    bool adding_ = false; // the boxes hold a new entry (Agregar), not a changed one
    QString texto;        // the entry composed at the last store

    UpperEdit* EdCodigo_;
    QLineEdit* EdGlosa_;
    QListWidget* entries_;
    QPushButton* saveButton_;
};

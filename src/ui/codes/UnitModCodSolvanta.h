#pragma once

#include "engine/codes/CodeTableFile.h"
#include "ui/widgets/EntryControls.h"

#include <QDialog>
#include <QString>

class QLabel;
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
// filled, unless its code is one the list already has or one the list's
// look-ups cannot read (letters in a list of numbers). Closing the window,
// however it is done, stores a complete entry still in the boxes, and asks
// before dropping any other.
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

    // Every way of closing ends here (Cerrar, Escape, the close box).
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillList();
    void codeLeft();
    void descriptionLeft();
    int selectedRow() const;
    void openBoxes(const QString& code, const QString& glosa);
    void closeBoxes();
    bool numericCodes() const;
    QString zeroFilled(const QString& code) const;
    QString refusalOf(const QString& code) const;
    void store(const QString& code, const QString& glosa);
    bool mayClose();
    void refuseInput(const QString& why);

    solvanta::CodeTableFile codes_;
    QString section_;
    int width_;
    int cont = 0;               // where the next stored entry goes
    bool adding_ = false;       // the boxes hold a new entry (Agregar), not a changed one
    bool loadingBoxes_ = false; // the boxes are being given an entry, not typed into
    QString givenCode_;         // what the program last put in each box
    QString givenGlosa_;
    bool closing_ = false; // the question before closing is being asked
    QString texto;         // the entry composed at the last store
    // What the boxes showed when they opened: nothing typed since, nothing
    // to store or lose on closing.
    QString openedCode_;
    QString openedGlosa_;

    UpperEdit* EdCodigo_;
    QLineEdit* EdGlosa_;
    QLabel* notice_; // why the last key typed was refused
    QListWidget* entries_;
    QPushButton* saveButton_;
};

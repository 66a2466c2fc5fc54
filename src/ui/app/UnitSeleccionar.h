#pragma once

#include "engine/files/DeclarationFile.h"

#include <QDialog>

class QLabel;
class RadioGroup;

// The load dialog: the user says in which form the file is (or that it is a
// spreadsheet) and picks it;
// the dialog then gives the file and its form (`fileChosen`) to whoever
// opens the listing, which shows over it. The dialog stays open underneath
// until "Cerrar".
class TFrmSeleccionar : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSeleccionar(QWidget* parent = nullptr);

    int itemIndex() const; // 0 by position, 1 by separator, 2 a spreadsheet

    // The file is already chosen (opened from the desktop): the dialog only
    // asks its form, and "Aceptar" loads it.
    void setFile(const QString& path);

signals:
    // "Aceptar" chose this file, to be read in this form.
    void fileChosen(const QString& path, solvanta::FileForm form);
    // "Aceptar" chose a spreadsheet (an .xlsx, or a .csv under the fields'
    // titles), to be read as the file's lines.
    void sheetChosen(const QString& path);

public slots:
    void chooseFile(); // Aceptar: load a file

private:
    RadioGroup* formChoice_;
    QLabel* fileLabel_;
    QString file_;
};

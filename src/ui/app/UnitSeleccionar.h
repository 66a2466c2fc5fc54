#pragma once

#include "engine/files/DeclarationFile.h"

#include <QDialog>

class QLabel;
class RadioGroup;

// The load dialog: the user says in which form the file is, picks it, and
// the listing window opens over this dialog with every line. The dialog
// stays open underneath; its choice is the form the writer proposes.
class TFrmSeleccionar : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSeleccionar(QWidget* parent = nullptr);

    int itemIndex() const; // 0 by position, 1 by separator

    // The file is already chosen (opened from the desktop): the dialog only
    // asks its form, and "Aceptar" loads it.
    void setFile(const QString& path);

    // Opens the listing over `parent` with every line of the file, as
    // "Aceptar" does; a load failure is reported and no listing is shown.
    static void openListing(QWidget* parent, const QString& path, solvanta::FileForm form);

public slots:
    void BitBtn1Click(); // Aceptar: load a file
    void BitBtn2Click(); // Cerrar

private:
    RadioGroup* RadioGroup1_;
    QLabel* fileLabel_;
    QString file_;
};

#pragma once

#include <QDialog>

class RadioGroup;

// The load dialog: the user says in which form the file is, picks it, and
// the listing window opens over this dialog with every line. The dialog
// stays open underneath; its choice is the form the writer proposes.
class TFrmSeleccionar : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSeleccionar(QWidget* parent = nullptr);

    int itemIndex() const; // 0 by position, 1 by separator

public slots:
    void BitBtn1Click(); // Aceptar: load a file
    void BitBtn2Click(); // Cerrar

private:
    RadioGroup* RadioGroup1_;
};

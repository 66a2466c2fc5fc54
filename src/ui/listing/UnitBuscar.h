#pragma once

#include "engine/model/RxMem.h"

#include <QDialog>

class QLineEdit;
class RutEdit;

// Finds a worker by the digits of the RUT, the first line of the table whose
// rut is that number, or by surname: the next line after the current one
// (round to the first) whose surnames begin with what was typed, without
// regard to accents or case ("nunez e" finds NÚÑEZ ESPINOZA). The line found
// becomes the current line; searching again by surname goes on to the next.
class TFrmBuscar : public QDialog {
    Q_OBJECT
public:
    explicit TFrmBuscar(solvanta::RxMem& table, QWidget* parent = nullptr);

public slots:
    void search(); // Aceptar: search

private:
    solvanta::RxMem& table_;
    bool searchSurname(const QString& typed);

    RutEdit* rut_;
    QLineEdit* surname_;
};

#pragma once

#include "engine/model/RxMem.h"

#include <QDialog>

class RutEdit;

// Finds a worker by the digits of the RUT: the first line of the table whose
// rut is that number becomes the current line.
class TFrmBuscar : public QDialog {
    Q_OBJECT
public:
    explicit TFrmBuscar(solvanta::RxMem& table, QWidget* parent = nullptr);

public slots:
    void search(); // Aceptar: search

private:
    solvanta::RxMem& table_;
    RutEdit* rut_;
};

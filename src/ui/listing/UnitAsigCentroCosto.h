#pragma once

#include <QDialog>

class DeclarationModel;
class QLineEdit;

// Gives the lines selected in the grid a cost centre, exactly as typed.
class TFrmAsigCentroCosto : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAsigCentroCosto(DeclarationModel& lines, QWidget* parent = nullptr);

public slots:
    void assign(); // Aceptar

private:
    DeclarationModel& lines_;
    QLineEdit* centre_;
};

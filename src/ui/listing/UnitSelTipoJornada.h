#pragma once

#include <QDialog>

class DeclarationModel;
class RadioGroup;

// Gives the lines selected in the grid a work-day type: full time (1) or
// part time (2) in "[93] Tipo Jornada".
class TFrmSelTipoJornada : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSelTipoJornada(DeclarationModel& lines, QWidget* parent = nullptr);

public slots:
    void assign(); // Aceptar

private:
    DeclarationModel& lines_;
    RadioGroup* workDay_;
};

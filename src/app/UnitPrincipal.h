#pragma once

#include <QWidget>

class AppMessage;

// The main window: the five steps of a correction, "Editar Archivo" (the
// load dialog, from which every other window is reached) and "Salir".
class TFrmPrincipal : public QWidget {
    Q_OBJECT
public:
    explicit TFrmPrincipal(QWidget* parent = nullptr);
    ~TFrmPrincipal() override;

    static QString caption();

public slots:
    void BitBtn1Click(); // Editar Archivo
    void BitBtn3Click(); // Salir

private:
    AppMessage* appMessage_;
};

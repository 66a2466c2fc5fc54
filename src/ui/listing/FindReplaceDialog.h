#pragma once

#include "engine/files/FindReplace.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The listing's find and replace box. It holds what to look for and how;
// the listing does the finding and replacing when its buttons ask for it,
// while the box stays open over the grid.
class FindReplaceDialog : public QDialog {
    Q_OBJECT
public:
    // `replacing`: the box shows the replacement and its buttons too.
    FindReplaceDialog(const solvanta::FindOptions& start, const QString& replacement,
                      bool replacing, QWidget* parent = nullptr);

    solvanta::FindOptions options() const;
    QString replacement() const;

signals:
    void findRequested(bool backward); // Buscar siguiente / Buscar anterior
    void replaceRequested();           // Reemplazar: this cell, then the next
    void replaceAllRequested();        // Reemplazar todo

private:
    void refreshButtons();

    QLineEdit* find_;
    QLineEdit* replace_;
    QComboBox* column_;
    QCheckBox* wholeCell_;
    QCheckBox* matchCase_;
    QPushButton* next_;
    QPushButton* previous_;
    QPushButton* replaceOne_;
    QPushButton* replaceAll_;
};

#pragma once

#include "engine/util/Progress.h"

#include <QPointer>
#include <QProgressDialog>
#include <QString>

class QWidget;

// Shows long engine work in a modal progress box with a "Cancelar" button.
// The box appears only when the work lasts more than a moment; while it runs
// the window keeps repainting.
class ProgressBox : public solvanta::Progress {
public:
    ProgressBox(QWidget* parent, const QString& text);
    ~ProgressBox() override;
    bool update(qint64 done, qint64 total) override;

private:
    // The box belongs to its parent window, as every child does; should the
    // window go first, the pointer is null by then and the box is not
    // deleted twice.
    QPointer<QProgressDialog> dialog_;
};

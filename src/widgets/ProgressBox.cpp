#include "ProgressBox.h"

#include <QProgressDialog>

ProgressBox::ProgressBox(QWidget* parent, const QString& text)
    : dialog_(std::make_unique<QProgressDialog>(text, QStringLiteral("Cancelar"), 0, 1000, parent)) {
    dialog_->setWindowTitle(QStringLiteral("Editor de Archivos de Solvanta"));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(500);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setValue(0);
}

ProgressBox::~ProgressBox() = default;

bool ProgressBox::update(qint64 done, qint64 total) {
    const int value = total > 0 ? int(done * 1000 / total) : 1000;
    dialog_->setValue(std::min(value, 999)); // at 1000 the box would close itself early
    return !dialog_->wasCanceled();
}

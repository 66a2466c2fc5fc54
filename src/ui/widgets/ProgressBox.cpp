#include "ProgressBox.h"

#include "Dialogs.h"

#include <QCloseEvent>
#include <QProgressDialog>
#include <QPushButton>

namespace {

// A progress dialog that stays on screen until the work stops. A plain one
// hides itself on Cancel, Escape or the close box while the work still runs
// and serves the window's events: the window would take clicks, edits and a
// second command in the middle of the work. Here a cancel only asks the work
// to stop, and the box says so until it has.
class StayingProgressDialog : public QProgressDialog {
public:
    StayingProgressDialog(const QString& text, QWidget* parent)
        : QProgressDialog(text, QStringLiteral("Cancelar"), 0, 1000, parent) {
        // Made by name in the toolkit, so undone by name.
        disconnect(this, SIGNAL(canceled()), this, SLOT(cancel()));
        connect(this, &QProgressDialog::canceled, this, [this] { askToStop(); });
    }

    bool stopAsked() const { return stopAsked_; }

    void reject() override { askToStop(); }

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        askToStop();
    }

private:
    void askToStop() {
        if (stopAsked_) return;
        stopAsked_ = true;
        setLabelText(QStringLiteral("Cancelando..."));
        if (auto* button = findChild<QPushButton*>()) button->setEnabled(false);
    }

    bool stopAsked_ = false;
};

} // namespace

ProgressBox::ProgressBox(QWidget* parent, const QString& text)
    : dialog_(new StayingProgressDialog(text, parent)) {
    dialog_->setWindowTitle(ui::applicationCaption());
    dialog_->setMinimumWidth(ui::captionWidth(*dialog_));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(500);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setValue(0);
}

ProgressBox::~ProgressBox() {
    delete dialog_.data();
}

bool ProgressBox::update(qint64 done, qint64 total) {
    const int value = total > 0 ? int(done * 1000 / total) : 1000;
    if (!dialog_) return false; // its window is gone: nothing left to work for
    dialog_->setValue(std::min(value, 999)); // at 1000 the box would close itself early
    return !static_cast<const StayingProgressDialog&>(*dialog_).stopAsked();
}

#include "Dialogs.h"

#include "engine/util/Errors.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace ui {
namespace {

QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
    case Icon::None:
        return QMessageBox::NoIcon;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// A box sized to a short text would cut its own caption ("Editor de …
// Solvanta"). The box lays itself out anew when shown, so the width goes into
// its layout.
void fitCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    grid->addItem(new QSpacerItem(captionWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// The buttons' captions carry their Alt keys: Alt+A accepts and Alt+C
// cancels in every box, as on the program's own windows.
const QString kAccept = QStringLiteral("&Aceptar");
const QString kCancel = QStringLiteral("&Cancelar");

class RealDialogs : public Dialogs {
public:
    Button ask(QWidget* parent, const Question& q) override {
        QMessageBox box(boxIcon(q.icon), q.caption, q.text, QMessageBox::NoButton, parent);
        QPushButton* ok = box.addButton(kAccept, QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(kCancel, QMessageBox::RejectRole);
        box.setDefaultButton(q.defaultButton == Button::Ok ? ok : cancel);
        box.setEscapeButton(cancel);
        fitCaption(box);
        box.exec();
        return box.clickedButton() == ok ? Button::Ok : Button::Cancel;
    }

    void inform(QWidget* parent, const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::NoIcon, caption.isEmpty() ? applicationCaption() : caption,
                        text, QMessageBox::NoButton, parent);
        box.addButton(kAccept, QMessageBox::AcceptRole);
        fitCaption(box);
        box.exec();
    }

    void error(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, applicationCaption(), text, QMessageBox::NoButton,
                        parent);
        box.addButton(kAccept, QMessageBox::AcceptRole);
        fitCaption(box);
        box.exec();
    }

    QString openFileName(QWidget* parent, const FileRequest& r) override {
        QFileDialog dialog(parent, r.caption, r.directory, r.filter);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
        dialog.setDefaultSuffix(r.defaultSuffix);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    }

    QString saveFileName(QWidget* parent, const FileRequest& r) override {
        QFileDialog dialog(parent, r.caption, r.directory, r.filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
        if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
        dialog.setDefaultSuffix(r.defaultSuffix);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    }

    bool choosePrinter(QWidget* parent, QPrinter& printer) override {
        QPrintDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("Imprimir"));
        return dialog.exec() == QDialog::Accepted;
    }

    bool openUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }

    void beep() override { QApplication::beep(); }
};

RealDialogs g_real;
Dialogs* g_current = nullptr;

} // namespace

QString applicationCaption() {
    return QStringLiteral("Editor de Archivos de Solvanta");
}

int captionWidth(const QWidget& window) {
    return QFontMetrics(window.font()).horizontalAdvance(window.windowTitle()) + 160;
}

Dialogs& dialogs() {
    return g_current ? *g_current : g_real;
}

void setDialogs(Dialogs* d) {
    g_current = d;
}

void reportException(QWidget* parent, std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const solvanta::Cancelled&) {
        // The user stopped the work; there is nothing to report.
    } catch (const solvanta::Error& e) {
        dialogs().error(parent, e.message());
    } catch (const std::bad_alloc&) {
        dialogs().error(parent,
                        QStringLiteral("No hay memoria suficiente para completar la operación."));
    } catch (const std::exception& e) {
        dialogs().error(parent, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        dialogs().error(parent, QStringLiteral("Ocurrió un error inesperado."));
    }
}

} // namespace ui

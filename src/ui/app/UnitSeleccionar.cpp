#include "UnitSeleccionar.h"

#include "engine/files/DeclarationFile.h"
#include "engine/files/SheetImport.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/RadioGroup.h"

#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace solvanta;

TFrmSeleccionar::TFrmSeleccionar(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Seleccionar Formato"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    QFrame* panel = highlightPanel(this, "Panel1");

    formChoice_ = new RadioGroup(QStringLiteral("Seleccione el Formato del Archivo"),
                                 {QStringLiteral("105 Campos por Posición"),
                                  QStringLiteral("105 Campos por Separador (csv)"),
                                  QStringLiteral("Planilla de Excel o Calc (.xlsx, .csv)")},
                                 1, panel);
    formChoice_->setObjectName(QStringLiteral("RadioGroup1"));
    formChoice_->setItemIndex(0);

    QPushButton* ok =
        glyphButton(panel, "BitBtn1", QStringLiteral("&Aceptar"), images::Glyph::Accept);
    QPushButton* close =
        glyphButton(panel, "BitBtn2", QStringLiteral("&Cerrar"), images::Glyph::Close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addSpacing(24);
    buttons->addWidget(close);
    buttons->addStretch();
    fileLabel_ = new QLabel(panel);
    fileLabel_->setObjectName(QStringLiteral("LabelArchivo"));
    fileLabel_->setWordWrap(true);
    fileLabel_->hide();

    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(12, 8, 12, 14);
    inner->setSpacing(14);
    inner->addWidget(fileLabel_);
    inner->addWidget(formChoice_);
    inner->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    setMinimumSize(321, 151);

    connect(ok, &QPushButton::clicked, this, &TFrmSeleccionar::chooseFile);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

int TFrmSeleccionar::itemIndex() const {
    return formChoice_->itemIndex();
}

namespace {

QString formName(FileForm form) {
    return form == FileForm::Position ? QStringLiteral("por posición")
                                      : QStringLiteral("por separador");
}

} // namespace

void TFrmSeleccionar::setFile(const QString& path) {
    file_ = path;
    fileLabel_->setText(QStringLiteral("No se reconoce el formato de «%1» por sus primeras "
                                       "líneas. Indique en qué formato está.")
                            .arg(QFileInfo(path).fileName()));
    fileLabel_->show();
}

void TFrmSeleccionar::chooseFile() {
    ui::guarded(this, [this] {
        if (!file_.isEmpty()) {
            const QString path = file_;
            if (itemIndex() == 2)
                emit sheetChosen(path);
            else
                emit fileChosen(path, itemIndex() == 0 ? FileForm::Position : FileForm::Separator);
            close();
            return;
        }
        ui::Question q;
        q.caption = QStringLiteral("¡Atención!");
        q.text = QStringLiteral(
            "Señor Usuario:\nIndique la ruta donde se encuentra el archivo\nenviado a Solvanta");
        q.icon = ui::Icon::Exclamation;
        q.defaultButton = ui::Button::Ok;
        if (ui::dialogs().ask(this, q) != ui::Button::Ok) return;

        ui::FileRequest request;
        request.caption = QStringLiteral("Abrir archivo enviado a Solvanta");
        request.filter =
            itemIndex() == 2
                ? QStringLiteral("Planilla (*.xlsx *.csv);;Planilla de Excel (*.xlsx);;"
                                 "Archivo .csv (*.csv)")
                : QStringLiteral("Archivo .txt (*.txt);;Archivo .csv (*.csv);;Archivo .zip "
                                 "(*.zip);;Planilla de Excel (*.xlsx)");
        const QString path = ui::dialogs().openFileName(this, request);
        if (path.isEmpty()) return;
        // A workbook, or a .csv under the fields' titles, is read as a
        // spreadsheet whatever the choice.
        if (itemIndex() == 2 || readsAsSheet(path)) {
            formChoice_->setItemIndex(2);
            emit sheetChosen(path);
            return;
        }

        FileForm form = itemIndex() == 0 ? FileForm::Position : FileForm::Separator;
        // A file that plainly is in the other form: offer to read it so.
        if (const auto seen = guessForm(path); seen && *seen != form) {
            ui::Question wrong;
            wrong.caption = QStringLiteral("Atención");
            wrong.text = QStringLiteral("El archivo parece estar %1 (%2), no %3.\n¿Cargarlo %1?")
                             .arg(formName(*seen),
                                  *seen == FileForm::Position
                                      ? QStringLiteral("105 campos en 861 columnas")
                                      : QStringLiteral("105 campos separados por «;»"),
                                  formName(form));
            wrong.defaultButton = ui::Button::Ok;
            if (ui::dialogs().ask(this, wrong) == ui::Button::Ok) {
                form = *seen;
                formChoice_->setItemIndex(form == FileForm::Position ? 0 : 1);
            }
        }
        emit fileChosen(path, form);
    });
}

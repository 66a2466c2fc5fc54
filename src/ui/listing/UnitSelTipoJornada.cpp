#include "UnitSelTipoJornada.h"

#include "Assignment.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/RadioGroup.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFrmSelTipoJornada::TFrmSelTipoJornada(DeclarationModel& lines, QWidget* parent)
    : QDialog(parent), lines_(lines) {
    setUpDialog(this, "FrmSelTipoJornada", QStringLiteral("Seleccionar Tipo de Jornada"));

    QFrame* top = highlightPanel(this, "Panel1");
    workDay_ = new RadioGroup(QStringLiteral("Tipo de Jornada"),
                              {QStringLiteral("Completa"), QStringLiteral("Parcial")}, 2, top);
    workDay_->setObjectName(QStringLiteral("RadioGroup1"));
    workDay_->setItemIndex(0);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(12, 8, 12, 8);
    topLayout->addWidget(reachLabel(lines_, top));
    topLayout->addWidget(workDay_);

    const OkCancel buttons = okCancelPanel(this, "Panel2");
    stackPanels(this, {top, buttons.panel});
    top->setMinimumWidth(409);
    connect(buttons.ok, &QPushButton::clicked, this, &TFrmSelTipoJornada::assign);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFrmSelTipoJornada::assign() {
    ui::guarded(this, [this] {
        if (!assignToSelection(lines_, solvanta::Field::OtrosDescCcaf2,
                               QString::number(workDay_->itemIndex() + 1))) {
            ui::dialogs().inform(this, noLinesSelected());
            reject();
            return;
        }
        accept();
    });
}

#include "UnitAsigCentroCosto.h"

#include "Assignment.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFrmAsigCentroCosto::TFrmAsigCentroCosto(DeclarationModel& lines, QWidget* parent)
    : QDialog(parent), lines_(lines) {
    setUpDialog(this, "FrmAsigCentroCosto", QStringLiteral("Asignar Centro de Costo"));

    QFrame* top = highlightPanel(this, "Panel1");
    auto* label = new QLabel(QStringLiteral("Centro de Costo"), top);
    label->setObjectName(QStringLiteral("Label1"));
    centre_ = new QLineEdit(top);
    centre_->setObjectName(QStringLiteral("Edit1"));
    centre_->setMaxLength(20);
    centre_->setMinimumWidth(181);
    centre_->setAccessibleName(label->text());
    label->setBuddy(centre_);
    auto* column = new QVBoxLayout(top);
    column->setContentsMargins(24, 12, 24, 20);
    column->addWidget(reachLabel(lines_, top));
    auto* row = new QHBoxLayout;
    column->addLayout(row);
    row->addWidget(label);
    row->addWidget(centre_, 1);

    const OkCancel buttons = okCancelPanel(this, "Panel2");
    stackPanels(this, {top, buttons.panel});
    top->setMinimumWidth(362);
    connect(buttons.ok, &QPushButton::clicked, this, &TFrmAsigCentroCosto::assign);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
    centre_->setFocus();
}

void TFrmAsigCentroCosto::assign() {
    ui::guarded(this, [this] {
        if (!assignToSelection(lines_, solvanta::Field::CentroCosto, centre_->text())) {
            ui::dialogs().inform(this, noLinesSelected());
            reject();
            return;
        }
        accept();
    });
}

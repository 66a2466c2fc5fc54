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
    Edit1_ = new QLineEdit(top);
    Edit1_->setObjectName(QStringLiteral("Edit1"));
    Edit1_->setMaxLength(20);
    Edit1_->setMinimumWidth(181);
    Edit1_->setAccessibleName(label->text());
    label->setBuddy(Edit1_);
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(24, 20, 24, 20);
    row->addWidget(label);
    row->addWidget(Edit1_, 1);

    const OkCancel buttons = okCancelPanel(this, "Panel2");
    stackPanels(this, {top, buttons.panel});
    top->setMinimumWidth(362);
    connect(buttons.ok, &QPushButton::clicked, this, &TFrmAsigCentroCosto::BitBtn1Click);
    connect(buttons.cancel, &QPushButton::clicked, this, &TFrmAsigCentroCosto::BitBtn2Click);
    Edit1_->setFocus();
}

void TFrmAsigCentroCosto::BitBtn1Click() {
    ui::guarded(this, [this] {
        assignToSelection(lines_, solvanta::Field::CentroCosto, Edit1_->text());
        accept();
    });
}

void TFrmAsigCentroCosto::BitBtn2Click() {
    reject();
}

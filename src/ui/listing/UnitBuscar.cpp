#include "UnitBuscar.h"

#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/EntryControls.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace solvanta;

TFrmBuscar::TFrmBuscar(RxMem& table, QWidget* parent) : QDialog(parent), table_(table) {
    setUpDialog(this, "FrmBuscar", QStringLiteral("Buscar Rut"));

    QFrame* top = highlightPanel(this, "Panel1");
    auto* label = new QLabel(QStringLiteral("RUT"), top);
    label->setObjectName(QStringLiteral("Label1"));
    rut_ = new RutEdit(9, top);
    rut_->setObjectName(QStringLiteral("OvcERut"));
    rut_->setFixedWidth(100);
    label->setBuddy(rut_);
    rut_->setAccessibleName(QStringLiteral("RUT"));
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(24, 12, 24, 4);
    row->addStretch();
    row->addWidget(label);
    row->addWidget(rut_);
    row->addStretch();

    const OkCancel buttons = okCancelPanel(this, "Panel2");
    stackPanels(this, {top, buttons.panel});
    setTabOrder(rut_, buttons.ok);
    setTabOrder(buttons.ok, buttons.cancel);
    connect(buttons.ok, &QPushButton::clicked, this, &TFrmBuscar::search);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
    rut_->setFocus();
}

void TFrmBuscar::search() {
    ui::guarded(this, [this] {
        if (!rut_->readable()) {
            ui::dialogs().inform(this, notARut(rut_->text()));
            rut_->setFocus();
            return;
        }
        // The number alone: a check character written with it is not part
        // of what is searched.
        const double rut = numtext::parseDecimal(rut_->value()).value_or(0.0);
        if (table_.locate(fieldIndex(Field::Rut), rut)) {
            accept();
            return;
        }
        ui::dialogs().inform(this, QStringLiteral("Rut no encontrado"));
        rut_->setFocus();
    });
}

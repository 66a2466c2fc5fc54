#include "UnitSelFormato.h"

#include "ui/widgets/Controls.h"
#include "ui/widgets/RadioGroup.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QFrame* panel(QWidget* parent, const char* name) {
    QFrame* p = highlightPanel(parent, name);
    p->setFrameShape(QFrame::StyledPanel);
    return p;
}

} // namespace

TFrmSelFormato::TFrmSelFormato(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Seleccionar Formato"));
    // No title-bar buttons at all: the dialog is answered with its buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    QFrame* top = panel(this, "Panel1");
    auto* label =
        new QLabel(QStringLiteral("Indique el formato en el que desea guardar el archivo.\n"
                                  "Por defecto se asume el mismo con el que subió."),
                   top);
    label->setObjectName(QStringLiteral("Label1"));
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(24, 12, 24, 12);
    topLayout->addWidget(label);

    QFrame* middle = panel(this, "Panel2");
    formChoice_ = new RadioGroup(
        QStringLiteral("Seleccione el formato"),
        {QStringLiteral("Por Posición"), QStringLiteral("Por Separador (csv)")}, 2, middle);
    formChoice_->setObjectName(QStringLiteral("RadioGroup1"));
    formChoice_->setItemIndex(-1); // the writer chooses before showing
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->setContentsMargins(24, 7, 24, 7);
    middleLayout->addWidget(formChoice_);

    const OkCancel buttons = okCancelPanel(this, "Panel3");
    QFrame* bottom = buttons.panel;
    bottom->setFrameShape(QFrame::StyledPanel);
    QPushButton* ok = buttons.ok;
    QPushButton* cancel = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(top);
    layout->addWidget(middle);
    layout->addWidget(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(331);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TFrmSelFormato::itemIndex() const {
    return formChoice_->itemIndex();
}

void TFrmSelFormato::setItemIndex(int index) {
    formChoice_->setItemIndex(index);
}

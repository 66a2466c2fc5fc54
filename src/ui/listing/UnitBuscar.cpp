#include "UnitBuscar.h"

#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/EntryControls.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace solvanta;

TFrmBuscar::TFrmBuscar(RxMem& table, QWidget* parent) : QDialog(parent), table_(table) {
    setUpDialog(this, "FrmBuscar", QStringLiteral("Buscar Rut"));

    QFrame* top = highlightPanel(this, "Panel1");
    auto* label = new QLabel(QStringLiteral("&RUT"), top);
    label->setObjectName(QStringLiteral("Label1"));
    rut_ = new RutEdit(9, top);
    rut_->setObjectName(QStringLiteral("OvcERut"));
    rut_->setFixedWidth(100);
    label->setBuddy(rut_);
    rut_->setAccessibleName(QStringLiteral("RUT"));
    auto* surnameLabel = new QLabel(QStringLiteral("o &apellido"), top);
    surnameLabel->setObjectName(QStringLiteral("Label2"));
    surname_ = new QLineEdit(top);
    surname_->setObjectName(QStringLiteral("EdApellido"));
    surname_->setMaxLength(61); // both surnames and the blank between them
    surname_->setMinimumWidth(200);
    surname_->setAccessibleName(QStringLiteral("Apellido"));
    surnameLabel->setBuddy(surname_);
    auto* rows = new QGridLayout(top);
    rows->setContentsMargins(24, 12, 24, 4);
    rows->addWidget(label, 0, 0);
    rows->addWidget(rut_, 0, 1, Qt::AlignLeft);
    rows->addWidget(surnameLabel, 1, 0);
    rows->addWidget(surname_, 1, 1);

    const OkCancel buttons = okCancelPanel(this, "Panel2");
    stackPanels(this, {top, buttons.panel});
    setTabOrder(rut_, surname_);
    setTabOrder(surname_, buttons.ok);
    setTabOrder(buttons.ok, buttons.cancel);
    // One box at a time: typing in one empties the other, and while a RUT is
    // there Tab and Enter go from it straight to "Aceptar".
    connect(rut_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!text.isEmpty()) surname_->clear();
        surname_->setFocusPolicy(text.isEmpty() ? Qt::StrongFocus : Qt::ClickFocus);
    });
    connect(surname_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!text.isEmpty()) rut_->clear();
    });
    connect(buttons.ok, &QPushButton::clicked, this, &TFrmBuscar::search);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
    rut_->setFocus();
}

void TFrmBuscar::search() {
    ui::guarded(this, [this] {
        const QString surname = surname_->text().trimmed();
        if (rut_->text().trimmed().isEmpty() && !surname.isEmpty()) {
            if (searchSurname(surname)) {
                accept();
                return;
            }
            ui::dialogs().inform(
                this, QStringLiteral("No hay ningún trabajador con apellido «%1».").arg(surname));
            surname_->setFocus();
            return;
        }
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

bool TFrmBuscar::searchSurname(const QString& typed) {
    const QString wanted = searchKey(typed);
    const int lines = table_.recordCount();
    const int paternal = fieldIndex(Field::ApePat), maternal = fieldIndex(Field::ApeMat);
    for (int step = 1; step <= lines; ++step) {
        const int row = (std::max(table_.row(), 0) + step) % lines;
        const QString mother = searchKey(table_.textAt(row, maternal));
        const QString both = searchKey(table_.textAt(row, paternal)) + QLatin1Char(' ') + mother;
        if (both.startsWith(wanted) || mother.startsWith(wanted)) {
            table_.moveTo(row);
            return true;
        }
    }
    return false;
}

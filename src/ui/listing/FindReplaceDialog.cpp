#include "FindReplaceDialog.h"

#include "engine/model/FieldTable.h"
#include "ui/widgets/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace solvanta;

FindReplaceDialog::FindReplaceDialog(const FindOptions& start, const QString& replacement,
                                     bool replacing, QWidget* parent)
    : QDialog(parent) {
    setUpDialog(this, "FrmBuscarReemplazar",
                replacing ? QStringLiteral("Reemplazar") : QStringLiteral("Buscar"));

    QFrame* top = highlightPanel(this, "Panel1");
    auto* grid = new QGridLayout(top);
    grid->setContentsMargins(16, 12, 16, 12);
    const auto labelled = [&](int row, const QString& caption, QWidget* control) {
        auto* label = new QLabel(caption, top);
        label->setBuddy(control);
        grid->addWidget(label, row, 0);
        grid->addWidget(control, row, 1);
        return label;
    };
    find_ = new QLineEdit(start.text, top);
    find_->setObjectName(QStringLiteral("EdBuscar"));
    find_->setMinimumWidth(260);
    labelled(0, QStringLiteral("B&uscar:"), find_);
    replace_ = new QLineEdit(replacement, top);
    replace_->setObjectName(QStringLiteral("EdReemplazar"));
    QLabel* replaceLabel = labelled(1, QStringLiteral("Reem&plazar por:"), replace_);
    column_ = new QComboBox(top);
    column_->setObjectName(QStringLiteral("CbColumna"));
    column_->addItem(QStringLiteral("Todas las columnas"), -1);
    for (int f = 0; f < kFieldCount; ++f)
        column_->addItem(kFields[std::size_t(f)].gridTitleText().toString(), f);
    column_->setCurrentIndex(start.field + 1);
    labelled(2, QStringLiteral("C&olumna:"), column_);
    wholeCell_ = new QCheckBox(QStringLiteral("Celda &completa"), top);
    wholeCell_->setObjectName(QStringLiteral("ChkCeldaCompleta"));
    wholeCell_->setChecked(start.wholeCell);
    grid->addWidget(wholeCell_, 3, 1);
    matchCase_ = new QCheckBox(QStringLiteral("&Distinguir mayúsculas"), top);
    matchCase_->setObjectName(QStringLiteral("ChkMayusculas"));
    matchCase_->setChecked(start.matchCase);
    grid->addWidget(matchCase_, 4, 1);

    QFrame* foot = highlightPanel(this, "Panel2");
    auto* buttons = new QHBoxLayout(foot);
    buttons->setContentsMargins(16, 8, 16, 8);
    const auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, foot);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    next_ = button("BtnSiguiente", QStringLiteral("Buscar &siguiente"));
    previous_ = button("BtnAnterior", QStringLiteral("Buscar &anterior"));
    replaceOne_ = button("BtnReemplazar", QStringLiteral("&Reemplazar"));
    replaceAll_ = button("BtnReemplazarTodo", QStringLiteral("Reemplazar &todo"));
    QPushButton* close = button("BtnCerrar", QStringLiteral("C&errar"));
    // Enter looks for the next match, as in any find box.
    next_->setDefault(true);
    stackPanels(this, {top, foot});

    // Finding alone: the replacement and its buttons stay out of the way.
    for (QWidget* w : {static_cast<QWidget*>(replaceLabel), static_cast<QWidget*>(replace_),
                       static_cast<QWidget*>(replaceOne_), static_cast<QWidget*>(replaceAll_)})
        w->setVisible(replacing);

    connect(next_, &QPushButton::clicked, this, [this] { emit findRequested(false); });
    connect(previous_, &QPushButton::clicked, this, [this] { emit findRequested(true); });
    connect(replaceOne_, &QPushButton::clicked, this, &FindReplaceDialog::replaceRequested);
    connect(replaceAll_, &QPushButton::clicked, this, &FindReplaceDialog::replaceAllRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(find_, &QLineEdit::textChanged, this, &FindReplaceDialog::refreshButtons);
    refreshButtons();
    find_->selectAll();
    find_->setFocus();
}

void FindReplaceDialog::refreshButtons() {
    const bool any = !find_->text().isEmpty();
    for (QPushButton* b : {next_, previous_, replaceOne_, replaceAll_})
        b->setEnabled(any);
}

FindOptions FindReplaceDialog::options() const {
    FindOptions o;
    o.text = find_->text();
    o.field = column_->currentData().toInt();
    o.wholeCell = wholeCell_->isChecked();
    o.matchCase = matchCase_->isChecked();
    return o;
}

QString FindReplaceDialog::replacement() const {
    return replace_->text();
}

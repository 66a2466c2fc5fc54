#include "ProblemsPanel.h"

#include "ProblemsModel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

ProblemsPanel::ProblemsPanel(ProblemsModel* problems, QWidget* parent)
    : QWidget(parent), problems_(problems) {
    label_ = new QLabel(problems_->summary(), this);
    label_->setObjectName(QStringLiteral("LabelRevision"));
    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("GridRevision"));
    view_->setAccessibleName(QStringLiteral("Problemas de las líneas"));
    view_->setModel(problems_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(20);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setColumnWidth(0, 60);
    view_->setColumnWidth(1, 180);
    view_->setColumnWidth(2, 560);
    label_->setBuddy(view_);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(6, 4, 6, 4);
    box->setSpacing(2);
    box->addWidget(label_);
    box->addWidget(view_, 1);

    connect(view_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (!index.isValid()) return;
        const int row = problems_->rowOf(index.row());
        if (row >= 0) emit problemChosen(row, problems_->fieldOf(index.row()));
    });
    // Only what the user does in the panel moves the grid: a check that
    // refills the panel moves its current row too.
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& index) {
                if (!index.isValid() || !view_->hasFocus()) return;
                const int row = problems_->rowOf(index.row());
                if (row >= 0) emit problemSelected(row, problems_->fieldOf(index.row()));
            });
    connect(problems_, &QAbstractItemModel::modelReset, this, &ProblemsPanel::refresh);
    view_->hide();
    setMaximumHeight(label_->sizeHint().height() + 8);
}

void ProblemsPanel::refresh() {
    label_->setText(problems_->summary());
    const bool any = problems_->problemCount() > 0;
    view_->setVisible(any);
    setMaximumHeight(any ? 220 : label_->sizeHint().height() + 8);
}

void ProblemsPanel::focusFirst() {
    if (problems_->problemCount() == 0) return;
    view_->setFocus();
    view_->setCurrentIndex(problems_->index(0, 0));
}

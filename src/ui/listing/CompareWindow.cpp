#include "CompareWindow.h"

#include "engine/files/Summary.h"
#include "engine/model/FieldTable.h"
#include "ui/widgets/Dialogs.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace solvanta;

namespace {

constexpr int kMarkRole = Qt::UserRole + 1; // index into marks_, -1: not in the listing

QTreeWidget* makeView(const QStringList& titles, const char* name) {
    auto* view = new QTreeWidget;
    view->setObjectName(QLatin1String(name));
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAlternatingRowColors(true);
    view->setHeaderLabels(titles);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    return view;
}

void alignNumbers(QTreeWidgetItem* item, int from) {
    for (int c = from; c < item->columnCount(); ++c)
        item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace

CompareWindow::CompareWindow(const Comparison& c, const RxMem& before, RxMem& after,
                             const QString& beforeName, const QString& afterName, QWidget* parent)
    : QDialog(parent), after_(after) {
    setObjectName(QStringLiteral("CompareWindow"));
    setWindowTitle(QStringLiteral("Comparación con «%1»").arg(beforeName));
    int added = 0, gone = 0, changed = 0;
    for (const LineDifference& d : c.lines)
        (d.kind == LineDifference::Kind::New    ? added
         : d.kind == LineDifference::Kind::Gone ? gone
                                                : changed)++;
    auto* heading = new QLabel(
        QStringLiteral("«%1» (%2 líneas) comparado con «%3» (%4 líneas): %5 en ambos.<br>"
                       "<b>Nuevas: %6 · Ya no están: %7 · Con montos distintos: %8</b>")
            .arg(afterName.toHtmlEscaped(), summaryCount(c.after.lines), beforeName.toHtmlEscaped(),
                 summaryCount(c.before.lines), summaryCount(c.matched), summaryCount(added),
                 summaryCount(gone), summaryCount(changed)));
    heading->setObjectName(QStringLiteral("Encabezado"));
    heading->setTextFormat(Qt::RichText);

    lines_ =
        makeView({QStringLiteral("Cambio"), QStringLiteral("Línea"), QStringLiteral("Trabajador"),
                  QStringLiteral("Campo"), QStringLiteral("Anterior"), QStringLiteral("Nuevo"),
                  QStringLiteral("Diferencia"), QStringLiteral("%")},
                 "Lineas");
    QList<QTreeWidgetItem*> items;
    for (const LineDifference& d : c.lines) {
        const bool here = d.afterRow >= 0;
        const QString worker =
            comparedWorker(here ? after : before, here ? d.afterRow : d.beforeRow);
        const QString line =
            here ? summaryCount(d.afterRow + 1) : QStringLiteral("(solo en «%1»)").arg(beforeName);
        int mark = -1;
        if (here) {
            mark = int(marks_.size());
            marks_.push_back(after.bookmarkAt(d.afterRow));
        }
        const auto add = [&](const QStringList& cells) {
            auto* item = new QTreeWidgetItem(cells);
            item->setData(0, kMarkRole, mark);
            alignNumbers(item, 4);
            item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            items << item;
        };
        if (d.changes.empty())
            add({differenceKind(d.kind), line, worker, QStringLiteral("(sin montos)")});
        for (const AmountChange& ch : d.changes)
            add({differenceKind(d.kind), line, worker, fieldTitle(ch.field),
                 summaryAmount(ch.before), summaryAmount(ch.after),
                 summaryAmount(ch.after - ch.before), changePercent(ch.before, ch.after)});
    }
    lines_->addTopLevelItems(items);
    if (items.isEmpty()) {
        auto* none = new QTreeWidgetItem({QStringLiteral("Ninguna línea cambió.")});
        none->setData(0, kMarkRole, -1);
        lines_->addTopLevelItem(none);
    }

    totals_ = makeView({QStringLiteral("Grupo"), QStringLiteral("Institución"),
                        QStringLiteral("Campo"), QStringLiteral("Anterior"),
                        QStringLiteral("Nuevo"), QStringLiteral("Diferencia")},
                       "Totales");
    QList<QTreeWidgetItem*> totals;
    for (const TotalChange& s : totalChanges(c)) {
        auto* item = new QTreeWidgetItem(
            {QString::fromUtf16(s.group->title), s.label, fieldTitle(s.field),
             summaryAmount(s.before), summaryAmount(s.after), summaryAmount(s.after - s.before)});
        alignNumbers(item, 3);
        if (s.after != s.before) {
            QFont bold = item->font(5);
            bold.setBold(true);
            item->setFont(5, bold);
        }
        totals << item;
    }
    totals_->addTopLevelItems(totals);
    for (QTreeWidget* view : {lines_, totals_})
        for (int col = 0; col < view->columnCount(); ++col)
            view->resizeColumnToContents(col);

    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("Pestanas"));
    tabs->addTab(lines_, QStringLiteral("&Líneas"));
    tabs->addTab(totals_, QStringLiteral("&Totales por institución"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* close = buttons->button(QDialogButtonBox::Close);
    close->setText(QStringLiteral("&Cerrar"));
    // Enter on a line goes to it: no button takes it.
    close->setAutoDefault(false);
    close->setDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);
    resize(1000, 560);

    connect(lines_, &QTreeWidget::itemActivated, this, &CompareWindow::choose);
    connect(lines_, &QTreeWidget::itemClicked, this, &CompareWindow::choose);
    if (lines_->topLevelItemCount() > 0) lines_->setCurrentItem(lines_->topLevelItem(0));
    lines_->setFocus();
}

void CompareWindow::choose(QTreeWidgetItem* item) {
    if (!item) return;
    const int mark = item->data(0, kMarkRole).toInt();
    if (mark < 0) return; // a line of the other file only
    const int row = after_.rowOf(marks_[std::size_t(mark)]);
    if (row < 0) {
        ui::dialogs().inform(this, QStringLiteral("Esa línea ya no está en el listado."),
                             ui::applicationCaption());
        return;
    }
    emit lineChosen(row);
}

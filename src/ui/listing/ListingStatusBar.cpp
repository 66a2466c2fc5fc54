#include "ListingStatusBar.h"

#include "engine/files/LineChecks.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QToolButton>

#include <cmath>

using namespace solvanta;

namespace {

QString count(int n) {
    return QLocale(QLocale::Spanish, QLocale::Chile).toString(n);
}

QLabel* statusLabel(QStatusBar* bar, const char* name, bool selectable) {
    auto* l = new QLabel(bar);
    l->setObjectName(QLatin1String(name));
    if (selectable) l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

} // namespace

ListingStatusBar::ListingStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    positionLabel_ = statusLabel(this, "LabelPosicion", false);
    selectedLabel_ = statusLabel(this, "LabelSeleccion", false);
    selectedLabel_->hide();
    viewLabel_ = statusLabel(this, "LabelFiltro", false);
    viewLabel_->setMinimumWidth(1);
    viewLabel_->hide();
    showAll_ = new QToolButton(this);
    showAll_->setObjectName(QStringLiteral("BotonMostrarTodas"));
    showAll_->setText(QStringLiteral("Mostrar &todas"));
    showAll_->setToolTip(QStringLiteral("Quitar los filtros y el orden: todas las líneas, en el "
                                        "orden del archivo (Ctrl+Mayús+L)"));
    showAll_->setAutoRaise(true);
    showAll_->setFocusPolicy(Qt::NoFocus);
    showAll_->hide();
    connect(showAll_, &QToolButton::clicked, this, &ListingStatusBar::showAllRequested);
    fileLabel_ = statusLabel(this, "LabelArchivo", true);
    totalsLabel_ = statusLabel(this, "LabelTotales", true);
    totalsLabel_->setMinimumWidth(1); // cut on a narrow window, whole in its hint
    totalsLabel_->hide();
    noticeLabel_ = statusLabel(this, "LabelAviso", true);
    noticeLabel_->setMinimumWidth(1); // a long path is cut, not the window widened
    noticeLabel_->hide();
    changesLabel_ = statusLabel(this, "LabelCambios", false);
    codesLabel_ = statusLabel(this, "LabelCodigos", true);
    codesLabel_->hide();
    addWidget(positionLabel_);
    addWidget(viewLabel_);
    addWidget(showAll_);
    addWidget(selectedLabel_);
    addWidget(totalsLabel_);
    addWidget(fileLabel_, 1);
    addWidget(noticeLabel_, 2);
    addPermanentWidget(codesLabel_);
    addPermanentWidget(changesLabel_);
}

void ListingStatusBar::showPosition(int row, int lines) {
    if (lines == 0)
        positionLabel_->setText(QStringLiteral("Sin líneas"));
    else if (row < 0)
        positionLabel_->setText(QStringLiteral("Ninguna línea a la vista"));
    else
        positionLabel_->setText(
            QStringLiteral("Línea %1 de %2").arg(count(std::max(row, 0) + 1), count(lines)));
}

void ListingStatusBar::showView(int shown, int lines, const QStringList& filters,
                                const QString& order) {
    const bool viewed = shown != lines || !filters.isEmpty() || !order.isEmpty();
    viewLabel_->setVisible(viewed);
    showAll_->setVisible(viewed);
    if (!viewed) return;
    QStringList parts;
    if (!filters.isEmpty() || shown != lines)
        parts << QStringLiteral("%1 de %2 líneas").arg(count(shown), count(lines));
    if (!filters.isEmpty())
        parts << QStringLiteral("filtro: ") + filters.join(QStringLiteral("; "));
    if (!order.isEmpty()) parts << QStringLiteral("orden: ") + order;
    viewLabel_->setText(parts.join(QStringLiteral(" · ")));
    viewLabel_->setToolTip(viewLabel_->text());
}

void ListingStatusBar::showSelected(int lines) {
    selectedLabel_->setText(QStringLiteral("%1 líneas seleccionadas").arg(count(lines)));
    selectedLabel_->setVisible(lines > 1);
}

void ListingStatusBar::showTotals(double sum, int cells) {
    totalsLabel_->setVisible(cells > 0);
    if (cells == 0) return;
    // Whole numbers without decimals, others with two, grouped as the
    // locale groups them.
    const auto amount = [](double v) {
        const QLocale chile(QLocale::Spanish, QLocale::Chile);
        return chile.toString(v, 'f', v == std::floor(v) ? 0 : 2);
    };
    totalsLabel_->setText(QStringLiteral("Suma: %1   Cantidad: %2   Promedio: %3")
                              .arg(amount(sum), count(cells), amount(sum / cells)));
    totalsLabel_->setToolTip(totalsLabel_->text());
}

void ListingStatusBar::showNotice(const QString& text) {
    noticeLabel_->setText(text);
    noticeLabel_->setToolTip(text);
    noticeLabel_->setVisible(!text.isEmpty());
}

void ListingStatusBar::showFile(const QString& path, FileForm form, bool sheet) {
    const QString how = sheet                        ? QStringLiteral("planilla")
                        : form == FileForm::Position ? QStringLiteral("por posición")
                                                     : QStringLiteral("por separador");
    fileLabel_->setText(path.isEmpty()
                            ? QString()
                            : QStringLiteral("%1 (%2)").arg(QFileInfo(path).fileName(), how));
    fileLabel_->setToolTip(QDir::toNativeSeparators(path));
}

void ListingStatusBar::showChanges(const RxMem::ChangeSummary& changes) {
    changesLabel_->setText(changesText(changes));
}

void ListingStatusBar::showCodeTable(const LineChecker& checker) {
    QStringList shown;
    if (checker.codeTableIsUserCopy())
        shown << QStringLiteral("Tabla de códigos: copia del usuario «%1»")
                     .arg(QDir::toNativeSeparators(checker.codeTablePath()));
    if (checker.codesUnchecked())
        shown << QStringLiteral("Códigos sin revisar");
    else if (!checker.codeTableProblem().isEmpty())
        shown << QStringLiteral("Algunos códigos sin revisar");
    codesLabel_->setText(shown.join(QStringLiteral(" · ")));
    codesLabel_->setToolTip(checker.codeTableProblem());
    codesLabel_->setVisible(!shown.isEmpty());
}

QString ListingStatusBar::changesText(const RxMem::ChangeSummary& c) {
    // "2 líneas modificadas, 1 agregada, 3 eliminadas": the first part names
    // the lines, the others follow it.
    struct Part {
        int n;
        const char* one;
        const char* many;
    };
    const Part parts[] = {{c.changed, "modificada", "modificadas"},
                          {c.added, "agregada", "agregadas"},
                          {c.deleted, "eliminada", "eliminadas"}};
    QStringList out;
    for (const Part& p : parts) {
        if (p.n == 0) continue;
        const QString word = QLatin1String(p.n == 1 ? p.one : p.many);
        if (out.isEmpty())
            out << QStringLiteral("%1 %2 %3")
                       .arg(count(p.n),
                            p.n == 1 ? QStringLiteral("línea") : QStringLiteral("líneas"), word);
        else
            out << QStringLiteral("%1 %2").arg(count(p.n), word);
    }
    return out.isEmpty() ? QStringLiteral("Sin cambios") : out.join(QStringLiteral(", "));
}

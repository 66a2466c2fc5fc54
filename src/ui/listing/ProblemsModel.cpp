#include "ProblemsModel.h"

#include <QLocale>

#include "engine/model/FieldTable.h"

using namespace solvanta;

ProblemsModel::ProblemsModel(RxMem& table, ProblemStore& store, QObject* parent)
    : QAbstractTableModel(parent), table_(table), store_(store) {}

void ProblemsModel::recheckAll(const LineChecker& checker, Progress* progress) {
    if (table_.isEmpty()) {
        if (store_.entryCount() == 0 && store_.problemCount() == 0) return;
        beginResetModel();
        store_.clear();
        spelledRow_ = -1;
        endResetModel();
        emit tintsChanged();
        return;
    }
    recheckRows(checker, 0, table_.recordCount() - 1, progress);
}

void ProblemsModel::recheckRows(const LineChecker& checker, int first, int last,
                                Progress* progress) {
    // The lines are checked into compact findings before anything changes,
    // so a cancelled check leaves the panel as it was.
    ProblemStore::Checked checked = store_.check(checker, first, last, progress);
    if (!store_.changes(checked)) return; // nothing to show before or after
    replace(std::move(checked));
}

void ProblemsModel::replace(ProblemStore::Checked&& checked) {
    beginResetModel();
    store_.replace(std::move(checked));
    spelledRow_ = -1;
    endResetModel();
    emit tintsChanged();
}

void ProblemsModel::dropDeletedLines() {
    if (store_.entryCount() == 0) return;
    if (!store_.hasDeletedLines()) {
        spelledRow_ = -1;
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0)); // renumbered
        return;
    }
    beginResetModel();
    store_.dropDeletedLines();
    spelledRow_ = -1;
    endResetModel();
    emit tintsChanged();
}

QString ProblemsModel::summary() const {
    if (problemCount() == 0) return QStringLiteral("Sin problemas");
    // Counts grouped as the status bar writes them ("15.224").
    const QLocale spanish(QLocale::Spanish, QLocale::Chile);
    return QStringLiteral("%1 %2 en %3 %4")
        .arg(spanish.toString(problemCount()),
             problemCount() == 1 ? QStringLiteral("problema") : QStringLiteral("problemas"),
             spanish.toString(lineCount()),
             lineCount() == 1 ? QStringLiteral("línea") : QStringLiteral("líneas"));
}

int ProblemsModel::rowOf(int problem) const {
    return table_.rowOf(store_.entry(problem).line);
}

int ProblemsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : store_.entryCount();
}

int ProblemsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

const LineProblem& ProblemsModel::spelled(int row) const {
    if (row != spelledRow_ || spelledAt_ != table_.changeCount()) {
        spelled_ = store_.spell(row);
        spelledRow_ = row;
        spelledAt_ = table_.changeCount();
    }
    return spelled_;
}

QVariant ProblemsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)) return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    const ProblemStore::Entry e = store_.entry(index.row());
    switch (index.column()) {
    case 0:
        return table_.rowOf(e.line) + 1;
    case 1:
        return e.more > 0 ? QVariant() : QVariant(fieldTitle(e.field));
    case 2:
        if (e.more > 0)
            return e.more == 1
                       ? QStringLiteral("… y 1 problema más en esta línea (su celda está marcada "
                                        "en la grilla).")
                       : QStringLiteral("… y %1 problemas más en esta línea (sus celdas están "
                                        "marcadas en la grilla).")
                             .arg(e.more);
        return spelled(index.row()).problem;
    case 3:
        return e.more > 0 ? QVariant() : QVariant(spelled(index.row()).value);
    }
    return {};
}

QVariant ProblemsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char16_t* const kTitles[] = {u"Línea", u"Campo", u"Problema", u"Valor"};
    return QString::fromUtf16(kTitles[section]);
}

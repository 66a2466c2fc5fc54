#include "Assignment.h"

#include "DeclarationModel.h"

#include <QLabel>

using namespace solvanta;

bool assignToSelection(DeclarationModel& lines, Field field, const QString& text) {
    const QList<RxMem::Bookmark> selected = lines.selectedBookmarks();
    if (selected.isEmpty()) return false;
    RxMem& table = lines.table();
    table.first();
    table.assign(std::vector<RxMem::Bookmark>(selected.begin(), selected.end()), fieldIndex(field),
                 text);
    table.gotoBookmark(selected.last());
    lines.clearSelection();
    return true;
}

QString noLinesSelected() {
    return QStringLiteral("No hay líneas seleccionadas: seleccione las líneas con Ctrl+clic o "
                          "Mayús+flechas.");
}

QString assignmentReach(int selectedLines, bool filtered) {
    if (selectedLines <= 0) return noLinesSelected();
    const QString shown =
        filtered ? QStringLiteral(", de las que muestra el filtro.") : QStringLiteral(".");
    if (selectedLines == 1) return QStringLiteral("Se asignará a 1 línea") + shown;
    return QStringLiteral("Se asignará a %1 líneas").arg(selectedLines) + shown;
}

QLabel* reachLabel(const DeclarationModel& lines, QWidget* parent) {
    auto* label = new QLabel(
        assignmentReach(int(lines.selectedBookmarks().size()), lines.isFiltered()), parent);
    label->setObjectName(QStringLiteral("LabelAlcance"));
    label->setWordWrap(true);
    return label;
}

#include "Assignment.h"

#include "DeclarationModel.h"

using namespace solvanta;

void assignToSelection(DeclarationModel& lines, Field field, const QString& text) {
    RxMem& table = lines.table();
    table.first();
    const QList<RxMem::Bookmark> selected = lines.selectedBookmarks();
    if (!selected.isEmpty()) {
        table.assign(std::vector<RxMem::Bookmark>(selected.begin(), selected.end()),
                     fieldIndex(field), text);
        table.gotoBookmark(selected.last());
    }
    lines.clearSelection();
}

#include "SheetRows.h"

namespace solvanta {

QString cellAddress(const QString& sheet, qint64 row, int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    // A sheet name with blanks or signs is quoted, as spreadsheets write it.
    bool plain = !sheet.isEmpty();
    for (const QChar ch : sheet)
        if (!ch.isLetterOrNumber() && ch != u'_') plain = false;
    const QString name = plain ? sheet : u'\'' + QString(sheet).replace(u'\'', QStringLiteral("''")) + u'\'';
    return name + u'!' + letters + QString::number(row);
}

} // namespace solvanta

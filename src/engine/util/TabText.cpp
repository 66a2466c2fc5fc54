#include "TabText.h"

namespace solvanta::tabtext {

namespace {

bool needsQuotes(const QString& cell) {
    for (QChar c : cell)
        if (c == u'\t' || c == u'\n' || c == u'\r' || c == u'"') return true;
    return false;
}

bool endsRow(QChar c) {
    return c == u'\n' || c == u'\r';
}

} // namespace

QString join(const QList<QStringList>& rows) {
    QString out;
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0) out += u'\t';
            const QString& cell = row[i];
            if (needsQuotes(cell)) {
                out += u'"';
                out += QString(cell).replace(u'"', QStringLiteral("\"\""));
                out += u'"';
            } else {
                out += cell;
            }
        }
        out += u'\n';
    }
    return out;
}

QList<QStringList> split(QStringView text) {
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool rowOpen = false; // something of the present row was read
    while (i < n) {
        rowOpen = true;
        if (text[i] == u'"') {
            // A quoted cell: up to the quote that is not doubled.
            QString quoted;
            qsizetype j = i + 1;
            bool closed = false;
            while (j < n) {
                if (text[j] == u'"') {
                    if (j + 1 < n && text[j + 1] == u'"') {
                        quoted += u'"';
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                quoted += text[j++];
            }
            if (closed) {
                cell = quoted;
                i = j;
            }
            // Unclosed: read below as a plain cell, from its quote on.
        }
        while (i < n && text[i] != u'\t' && !endsRow(text[i]))
            cell += text[i++];
        row << cell;
        cell.clear();
        if (i >= n) break;
        if (text[i] == u'\t') {
            ++i;
            if (i >= n) row << QString(); // a tab at the very end opens an empty cell
            continue;
        }
        // The end of a row: "\r\n", "\n" or "\r".
        if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
        ++i;
        rows << row;
        row.clear();
        rowOpen = false;
    }
    if (rowOpen) rows << row;
    return rows;
}

} // namespace solvanta::tabtext

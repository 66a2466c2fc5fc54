#pragma once

#include "engine/files/DeclarationFile.h"
#include "engine/model/RxMem.h"

#include <QStatusBar>

class QLabel;
class QToolButton;
namespace solvanta {
class LineChecker;
}

// The listing's status bar: the current line of how many, the file and its
// form, where the code lists came from when it is not the program's own
// file, and what changed since the load or the last write.
class ListingStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit ListingStatusBar(QWidget* parent = nullptr);

    // `row` 0-based; no lines shows "Sin líneas", and a row of -1 among
    // lines (a filter hides them all) "Ninguna línea a la vista".
    void showPosition(int row, int lines);
    // The file and its form; a spreadsheet's lines say so instead.
    void showFile(const QString& path, solvanta::FileForm form, bool sheet = false);
    void showChanges(const solvanta::RxMem::ChangeSummary& changes);
    void showCodeTable(const solvanta::LineChecker& checker);
    // A filtered or sorted listing: "1.234 de 100.000 líneas", the filters
    // and the order, beside a button back to every line in file order.
    // Nothing when every line shows in file order.
    void showView(int shown, int lines, const QStringList& filters, const QString& order);
    // "3 líneas seleccionadas" when more than one is; nothing otherwise.
    void showSelected(int lines);
    // Sum, count and average of the selected number cells, as spreadsheets
    // show them; nothing when `count` is zero.
    void showTotals(double sum, int count);
    // A note of something done that the user may need later ("Planilla
    // guardada en «…»"); it stays until the next one.
    void showNotice(const QString& text);

    // "N líneas modificadas", "Sin cambios"...: what changed since then.
    static QString changesText(const solvanta::RxMem::ChangeSummary& changes);

signals:
    void showAllRequested(); // "Mostrar todas"

private:
    QLabel* positionLabel_;
    QLabel* selectedLabel_;
    QLabel* viewLabel_;
    QToolButton* showAll_;
    QLabel* fileLabel_;
    QLabel* noticeLabel_;
    QLabel* totalsLabel_;
    QLabel* changesLabel_;
    QLabel* codesLabel_;
};

#pragma once

#include "engine/files/Compare.h"
#include "engine/model/RxMem.h"

#include <QDialog>

#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

// What changed from another file (last month's) to the one in the listing:
// the lines that are new, gone or whose amounts changed, the largest
// difference first, and the totals of each institution side by side. A line
// chosen (a click, Enter) is one the listing goes to.
class CompareWindow : public QDialog {
    Q_OBJECT
public:
    // `before` is the other file's table, `after` the listing's; both must
    // outlive the building of the window only: what it shows is copied.
    CompareWindow(const solvanta::Comparison& comparison, const solvanta::RxMem& before,
                  solvanta::RxMem& after, const QString& beforeName, const QString& afterName,
                  QWidget* parent = nullptr);

    QTreeWidget* linesView() const { return lines_; }
    QTreeWidget* totalsView() const { return totals_; }

signals:
    // The listing's line (a table row) the user chose.
    void lineChosen(int row);

private:
    void choose(QTreeWidgetItem* item);

    solvanta::RxMem& after_;
    // The listing's lines, by item, held by bookmark: they stay found when
    // lines come and go meanwhile.
    std::vector<solvanta::RxMem::Bookmark> marks_;
    QTreeWidget* lines_;
    QTreeWidget* totals_;
};

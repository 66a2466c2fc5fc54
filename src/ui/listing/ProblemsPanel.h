#pragma once

#include <QWidget>

class ProblemsModel;
class QLabel;
class QTableView;

// The panel under the grid: a line that sums up the problems of the line
// checks ("3 problemas en 2 líneas", "Sin problemas") and, when there are
// any, their table. Without problems the panel is just its line of text.
class ProblemsPanel : public QWidget {
    Q_OBJECT
public:
    ProblemsPanel(ProblemsModel* problems, QWidget* parent = nullptr);

    QTableView* view() const { return view_; }
    // Puts the focus on the first problem, when there is one.
    void focusFirst();

signals:
    // The user chose a problem (double-click or Enter): its line (0-based
    // row) and field.
    void problemChosen(int row, int field);
    // The user moved to a problem in the panel (keys or a click): its line
    // and field, for the grid to make that line the current one.
    void problemSelected(int row, int field);

private:
    void refresh();

    ProblemsModel* problems_;
    QLabel* label_;
    QTableView* view_;
};

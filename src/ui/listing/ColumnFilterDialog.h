#pragma once

#include "engine/files/LineView.h"

#include <QDialog>
#include <QStringList>

#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

// A column's filter, as spreadsheets offer it from a column's title: the
// values the column holds among the lines shown, each with how many lines
// hold it, and a box to type a text the cells must contain. The box narrows
// the list as it is typed. The listing does the filtering with what is
// chosen here.
class ColumnFilterDialog : public QDialog {
    Q_OBJECT
public:
    enum class Choice {
        None,     // Cancelar
        Values,   // the lines whose cell is one of values()
        Contains, // the lines whose cell contains text()
        Clear,    // this column's filter goes
        SortUp,   // sort by this column
        SortDown, // the same, from the largest
    };

    ColumnFilterDialog(const QString& title, const std::vector<solvanta::LineView::Count>& values,
                       bool filtered, QWidget* parent = nullptr);

    Choice choice() const { return choice_; }
    QStringList values() const; // the values chosen, as the cells show them
    QString text() const;       // what the cells must contain

    // How an empty cell shows in the list.
    static QString emptyCell() { return QStringLiteral("(vacía)"); }

private:
    void narrow();
    void finish(Choice choice);
    void accept() override;

    QLineEdit* text_;
    QListWidget* list_;
    QLabel* count_;
    int unlisted_ = 0; // values beyond those listed
    Choice choice_ = Choice::None;
};

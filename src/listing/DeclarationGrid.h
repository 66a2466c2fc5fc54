#pragma once

#include <QTableView>

class DeclarationModel;
namespace solvanta {
class RxMem;
}

// The listing's grid. It behaves like the data-bound grid of a classic
// desktop database program: the line, not the cell, is the unit of editing
// (moving to another line or pressing Enter stores it, Escape abandons it),
// Insert and Down on the last line add lines, typed letters a-z become
// capitals, Ctrl+Delete deletes the selected lines after a question, and
// lines are selected with click, Ctrl+click and Shift+Up/Down. The row
// indicator and the line-number column stay in place while the other columns
// scroll sideways.
class DeclarationGrid : public QTableView {
    Q_OBJECT
public:
    DeclarationGrid(DeclarationModel* model, QWidget* parent = nullptr);
    ~DeclarationGrid() override;

    DeclarationModel* declarations() const { return model_; }

    // Stores the pending line; quietly keeps it pending when it cannot be
    // stored. Returns false then.
    bool postPending(bool quiet);
    // Stores the text of an open cell editor into the pending line.
    void commitEditor();
    // Abandons the pending line (a new line that is abandoned disappears).
    void cancelPending();
    // Puts the grid's current row on the table's current line.
    void showTableCursor();
    void insertLine();
    void appendLine();
    void deleteSelected(); // Ctrl+Delete

    QTableView* frozenView() const { return frozen_; }
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;

private:
    friend class FrozenColumnView;
    void clickRow(int row, Qt::KeyboardModifiers modifiers);
    void extendSelection(int delta);
    void dropSelection(); // empties the selection and forgets its anchor
    void moveCurrentTo(int row);
    void updateFrozenGeometry();
    solvanta::RxMem& table() const;

    DeclarationModel* model_;
    QTableView* frozen_;
    int anchor_ = -1;
    bool syncing_ = false;
};

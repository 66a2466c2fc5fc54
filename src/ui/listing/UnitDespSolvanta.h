#pragma once

#include "engine/files/Document.h"
#include "engine/files/FindReplace.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class DeclarationGrid;
class DeclarationModel;
class ListingStatusBar;
class ProblemsModel;
class ProblemsPanel;
class QAction;
class QTableView;
class SummaryWindow;
namespace solvanta {
struct CodeListDef;
struct SummaryGroupDef;
} // namespace solvanta
class QMenu;
class CommandBar;
class QToolButton;

// The listing window: every line of an open document as a row of the grid,
// and the toolbar from which the user corrects the file and writes it. The
// document outlives the window.
class TFrmSolvanta : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSolvanta(solvanta::Document& document, QWidget* parent = nullptr);
    static QString webAddress();
    // The folder where "Excel" leaves its workbooks: "Solvanta" in the
    // user's documents.
    static QString workbookFolder();

    solvanta::Document& document() { return document_; }
    solvanta::RxMem& table() { return document_.table(); }
    DeclarationGrid* grid() const { return grid_; }
    DeclarationModel* model() const { return model_; }
    ProblemsModel* problems() const { return problems_; }
    QTableView* problemsView() const;

    // Reads the file into the table (a progress box shows for long files);
    // throws the engine's error when it cannot, leaving the table empty.
    void load(const QString& path, solvanta::FileForm form);
    // An .xlsx workbook's first sheet, or a .csv with the fields' titles,
    // read as the file's lines; what its columns do not match is asked
    // about first (Cancelled when the user declines).
    void loadSheet(const QString& path);
    // The changes a journal kept (a crash left them unsaved) made again on
    // the file just loaded; the listing shows them, unsaved, with undo.
    // IoError when the file is no longer the one the journal was kept for.
    void recover(const solvanta::JournalReading& journal, const QString& journalPath);

    // True when lines changed since the load or the last write (undoing back
    // to that state counts as no change).
    bool hasUnsavedChanges() const;

    // The file dropped on the window that closed it to be opened in its
    // place; empty when the window closed otherwise.
    const QString& droppedFile() const { return dropped_; }

public slots:
    void createFile();          // Crear Archivo
    void checkLines();          // check every line again
    void openWebPage();         // Solvanta web page
    void exportToSpreadsheet(); // Excel: every line into a new workbook
    void leave();               // Salir
    void showHelp();            // Ayuda
    void showAbout();           // Acerca de
    void showAssignMenu();      // Asignar: assignment menu
    void showCodeMenu();        // Códigos: code menu
    void deleteLines();         // delete the current line
    void undo();                // undo the last change
    void redo();                // redo the last undone change
    void modifyLine();          // modify the current line in the record editor
    void addLine();             // add a line in the record editor
    void findByRut();           // find a worker by RUT
    void openFind();            // the find box
    void openReplace();         // the find box, with the replacement
    void findNext();            // the last search again, forward
    void findPrevious();        // the last search again, backward
    void massModify();          // Masiva: one value on every line
    void assignWorkDayType();   // work-day type of the selected lines
    void assignCostCentre();    // cost centre of the selected lines
    void filterColumn();        // the current column's filter box
    void filterColumnAt(int column);
    void filterByValue(); // the lines that hold the current cell's value
    // The lines whose cell of the field shows one of these texts.
    void filterBy(int field, const QStringList& values);
    void onlyProblemLines();       // "Solo líneas con problemas", on and off
    void onlyChangedLines();       // "Solo líneas modificadas", on and off
    void showAllLines();           // every line, in file order
    void sortByColumn(int column); // a click on a title: up, down, file order
    // "Comparar con...": another file (last month's) against the listing's
    // lines, in a window of its own.
    void compareWithFile();
    // Goes to a line (a table row), showing it even where a filter hides it.
    void goToLine(int row);
    void showSummary(); // Resumen: the summary window, beside the listing
    // The lines of one row of the summary, in place of the row shown before
    // (the other filters stay); the status bar names it.
    void filterToSummaryRow(const solvanta::SummaryGroupDef& group, const std::string& key,
                            const QString& name);

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    // A file dropped on the window closes it, after the unsaved-changes
    // question, for the file to open in its place.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // One action per command, named as the menu entries and toolbar buttons
    // find them.
    void makeActions();
    QAction* action(const char* name) const;
    QWidget* buildToolbar();
    void buildMenus();
    void connectViews();
    void popUnder(QMenu* menu, const char* command);
    void openEditor(bool adding);
    void openCodeEditor(const solvanta::CodeListDef& list);
    // Runs a dialog over the table: the grid's pending line is stored first,
    // and the grid shows the table's current line after.
    template <typename Dialog, typename... Args> void runOnTable(Args&&... args);
    void scheduleStatus(); // once the present events are handled
    void refreshStatus();
    void showSelectionTotals();
    void undoRedo(bool redo);
    // Fills the table by `read` under a progress box, checks the lines and
    // says what the reading noticed.
    void fill(const std::function<solvanta::LoadReport(solvanta::Progress*)>& read);
    template <typename F> void changeView(F&& change);
    void toggleCondition(const QString& name, std::function<bool(int line)> keep);
    // A line the user goes to (a problem chosen in the panel, a RUT found,
    // the line the record editor was left on) shows, even where a filter
    // would hide it: it joins the lines shown.
    void revealLine(int line, int column);
    void keepCurrentInView();
    QString notFound() const;  // "No se encontró «x»" (in the lines shown)
    QString shownOnly() const; // ", solo entre las 1.234 líneas mostradas" under a filter
    // Tells the user, once for each new problem, that the code-table file
    // cannot be used and which codes go unchecked.
    void warnAboutCodeTable();
    // Reads the code lists again and checks every line with them.
    void recheckWithFreshLists();
    void openFindBox(bool replacing);
    solvanta::CellPos currentCell() const;
    // The last search from the grid's current cell; the cell found becomes
    // current. Not found is told over `owner`.
    bool findAgain(bool backward, QWidget* owner);
    void replaceCurrent(QWidget* owner);
    void replaceEverywhere(QWidget* owner);
    // Whether to write a file whose lines would break its form.
    bool confirmBreakers(solvanta::FileForm form);

    solvanta::Document& document_;
    QHash<QString, QAction*> actions_;
    CommandBar* commands_ = nullptr;
    DeclarationModel* model_;
    DeclarationGrid* grid_;
    ProblemsModel* problems_;
    ProblemsPanel* problemsPanel_;
    ListingStatusBar* status_;
    QMenu* lineMenu_;
    QMenu* codeMenu_;
    QMenu* assignMenu_;
    std::uint64_t summarised_ = UINT64_MAX; // changeCount() of the shown summary
    bool statusPending_ = false;
    QString dropped_;
    QString codeTableWarned_;        // the code-table problem last told, so it is told once
    solvanta::FindOptions lastFind_; // F3 and Shift+F3 repeat it
    QString lastReplacement_;
    QPointer<SummaryWindow> summary_;
    QString summaryFilter_; // the name of the summary row's filter, when there is one
};

#pragma once

#include "engine/codes/CodeTableFile.h"
#include "engine/files/LineChecks.h"
#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <array>
#include <memory>
#include <vector>

class HighlightTabWidget;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The current month and year, as the editor proposes them for a new line.
struct RPeriodo {
    QString cAno;
    QString cMes;
    int nAno = 0;
    int nMes = 0;
};

// The record editor: one declaration line over four tabs, to correct it
// field by field or to fill in a new line. The add-or-modify flag, read when
// the window is shown, says which: 0 shows the table's current line, 1 starts
// from defaults and inserts a new line before the current one on "Aceptar".
//
// Opening a line and accepting it changes nothing by itself: a control the
// user leaves alone keeps its field's bytes exactly, in either file form,
// even where it cannot show them as they are (a code missing from its list
// or zero-filled, a letter in lower case, a date the program does not read,
// an empty field). A control the user typed in, chose or clicked stores
// what it shows, as the editor writes it.
class TFrmDatosSolvanta : public QDialog {
    Q_OBJECT
public:
    // `adding`: the editor fills in a new line instead of showing the
    // current one.
    TFrmDatosSolvanta(solvanta::RxMem& table, bool adding, QWidget* parent = nullptr,
                      const solvanta::CodeTableFile& codes = {});
    ~TFrmDatosSolvanta() override;
    bool isAdding() const { return adding_; }

    // A line added here goes after the last one instead of before the
    // current one.
    void setAddAtEnd(bool atEnd) { addAtEnd_ = atEnd; }

    const RPeriodo& periodo() const { return Periodo_; }
    HighlightTabWidget* pages() const { return tabs_; }

    // The problems the line checks find in the line shown, as listed in the
    // window ("[6] Sexo: el sexo debe ser M o F.").
    QStringList shownProblems() const;

public slots:
    void acceptLine(); // Aceptar: check, store, post, close
    // Store the line as "Aceptar" does, then show the next (or previous)
    // line that has problems, without leaving the window.
    void nextWithProblems();
    void previousWithProblems();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void readCodeLists();
    void showLine();
    void highlightOtherTabs(int index);
    void buildControls();
    void connectRutChecks();
    void connectInput();
    void setKeyboardOrder();
    void loadDefaults();
    void loadLine();
    void fail(int tab, QWidget* focus, const QString& message);
    bool storeLine();
    bool checkIdentity();
    bool checkOtherRuts();
    bool checkPeriods();
    // Whether the control is left as loaded (a line being modified, no
    // input of the user): its field keeps its bytes.
    bool keepsField(int control) const;
    void storeFields(int& field);
    // Whether to store a line whose fields the user changed have problems
    // the line checks find; they are listed in the window either way.
    bool confirmProblems();
    QWidget* controlOf(solvanta::Field field) const;
    QWidget* buildProblemsStrip();
    void showMode();
    // Lists the problems of the line as the table holds it at the current
    // row (none for a line still to be added) and marks their tabs.
    void listProblems();
    void listProblems(const std::vector<solvanta::Finding>& found);
    void showProblemControl(QListWidgetItem* item);
    void goToLineWithProblems(int step);

    solvanta::RxMem& table_;
    solvanta::CodeTableFile codes_;
    std::unique_ptr<solvanta::LineChecker> checker_;
    HighlightTabWidget* tabs_;
    QLabel* modeLabel_;
    QListWidget* problemsList_;
    QPushButton* acceptButton_;
    QPushButton* cancelButton_;
    std::vector<QWidget*> controls_;                          // one per control, in keyboard order
    std::array<int, solvanta::kFieldCount> controlOfField_{}; // control of each field
    std::array<int, solvanta::kFieldCount> fieldOfControl_{}; // field of each control
    QList<QStringList> lists_;                                // the code lists, as codeLists()
    RPeriodo Periodo_;
    bool adding_ = false;
    bool addAtEnd_ = false;
    bool shown_ = false;
    // For a line being modified: the state of every control right after
    // loading, and the controls the user typed in, chose or clicked since.
    std::vector<QString> loadedState_;
    std::vector<bool> touched_;
    std::vector<QMetaObject::Connection> inputConnections_;
    QString currentLabel_;
};

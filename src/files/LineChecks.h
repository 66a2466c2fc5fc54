#pragma once

#include "codes/CodeTableFile.h"
#include "model/FieldTable.h"

#include <QString>
#include <array>
#include <string>
#include <vector>

namespace solvanta {

class RecordView;
class RxMem;

// What the collection service would reject, found before the file is sent:
// a wrong RUT check character, a value that would break one of the file
// forms, a code missing from its list, an impossible period or date, and a
// few more. Only what a correct file never shows is reported; each problem
// once, on the field it is about. Checking never changes a line.
struct LineProblem {
    enum Breaks : unsigned char { None = 0, Position = 1, Separator = 2 };
    int line = 0;  // 1-based, as the grid's "Línea"
    int field = 0; // 0-based
    QString problem;
    QString value;               // what the field held, at most 80 characters
    unsigned char breaks = None; // the file forms the value would break
};

class LineChecker {
public:
    // Reads the code lists once (a missing list checks nothing).
    explicit LineChecker(const CodeTableFile& codes = {});

    // What is wrong with the code-table file the lists came from, in a
    // sentence naming the file; empty when every list was read.
    const QString& codeTableProblem() const { return codeTableProblem_; }
    // No list at all could be read: no code is checked.
    bool codesUnchecked() const { return !codeTableProblem_.isEmpty() && !codeTablePartly_; }
    // The file the lists were read from, and whether it is the user's copy.
    const QString& codeTablePath() const { return codeTablePath_; }
    bool codeTableIsUserCopy() const { return codeTableIsUserCopy_; }

    // The problems of one line, appended to `out`.
    void check(const RecordView& line, int lineNumber, std::vector<LineProblem>& out) const;
    // The problems of the table's line at `row` (0-based), with the notes
    // the table keeps on its cells (a value the loader could not read), each
    // in place of what the checks say of that field: the note tells more.
    void checkRow(const RxMem& table, int row, std::vector<LineProblem>& out) const;
    // Every line, in table order.
    std::vector<LineProblem> checkAll(const RxMem& table) const;

    // "línea N, [n] Title: problem (valor «…»)".
    static QString describe(const LineProblem& p);

private:
    void checkFields(const RecordView& line, int lineNumber, std::vector<LineProblem>& out) const;

    struct CodeList {
        bool checked = false; // a list with entries
        bool letters = false; // codes compared as text (their first letter)
        std::vector<int> numbers;
        std::string firstLetters;
    };
    std::array<CodeList, kFieldCount> codes_{};
    QString codeTableProblem_;
    bool codeTablePartly_ = false;
    QString codeTablePath_;
    bool codeTableIsUserCopy_ = false;
};

} // namespace solvanta

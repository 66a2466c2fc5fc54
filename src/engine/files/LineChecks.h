#pragma once

#include "engine/codes/CodeTableFile.h"
#include "engine/model/FieldTable.h"

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

// A problem as the checks find it, in two bytes: the field and what is wrong
// there. Its texts are made from it and the line when they are wanted
// (`LineChecker::spell`), so a window can keep the problems of a large file
// and make the texts of the few it shows. The same line gives the same
// findings, so a finding kept and its line make the problem found.
struct Finding {
    enum What : unsigned char {
        // What would break a file form.
        NegativeAmount,
        DecimalsReadAsZero, // whole pesos: the position form would read 0
        DecimalsInPesos,
        DecimalsInWhole,
        ReadAs0, // not a number: the position form would read 0
        ReadAs00,
        LineBreak,
        Semicolon,
        DateWidth,
        TooWide,
        EmptyShifts,
        TooShort,
        // The meaning of the values.
        RutMissing,
        CheckMissing,
        CheckWrong,
        RuleSays, // the sentence of the field's rule (a required text, a set of values)
        BadPeriod,
        BadPeriodEnd,
        PeriodEndBefore,
        BadDate,
        DateEndBefore,
        CodeMissing,
        CodeNotListed,
        BadDays,
        TooManyDependants,
        // A note the table keeps on the cell (`RxMem::notesOf`).
        Note,
        WhatCount
    };
    unsigned char field = 0; // 0-based
    What what = NegativeAmount;
    // The file forms the value would break (LineProblem::Breaks).
    unsigned char breaks() const;
    bool operator==(const Finding&) const = default;
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

    // The same checks without texts: the findings of one line, appended to
    // `out` in field order, one at most per field.
    void find(const RecordView& line, std::vector<Finding>& out) const;
    // With the table's notes on the cells of the line at `row`, as `checkRow`.
    void findRow(const RxMem& table, int row, std::vector<Finding>& out) const;
    // The problem a finding of that line stands for, with its texts, as
    // `check` and `checkRow` give it.
    static LineProblem spell(const RecordView& line, int lineNumber, Finding f);
    static LineProblem spellRow(const RxMem& table, int row, Finding f);

    // "línea N, [n] Title: problem (valor «…»)".
    static QString describe(const LineProblem& p);

    // One line as the checks go through it (LineChecks.cpp).
    struct Scan;

private:
    void findFields(const RecordView& line, std::vector<Finding>& out) const;
    void checkCodes(Scan& s) const;

    struct CodeList {
        int list = -1;        // in codeLists(); -1: the field has no code list
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

// What a text field holds, as its line check reads it: a period MMYYYY, a
// date, or plain text. Sorting compares periods and dates in time order.
enum class TextShape { Plain, Period, Date };
TextShape textShapeOf(int field);

} // namespace solvanta

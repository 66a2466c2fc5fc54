#pragma once

#include "engine/codes/CodeTableFile.h"

#include <QHash>
#include <QString>

#include <array>
#include <string_view>
#include <vector>

namespace solvanta {

// What a field's code stands for, as the code-table file names its entries
// ("05" is "Habitat" in the list of pension funds), or as the program knows
// the values of a field without a list ("2" in the plan's currency is
// "UF"). Numbered codes are found by their number, as the line checks find
// them: "5" is the code "05".
class CodeNames {
public:
    // Reads the lists once; a list that cannot be read names nothing.
    explicit CodeNames(const CodeTableFile& file = {});

    enum class Found { NoList, Named, Missing };
    struct Name {
        Found found = Found::NoList;
        QString name; // when Named
    };
    // The code as stored in the field (blanks around it aside).
    Name nameOf(int field, std::string_view code) const;
    // The list's code as the list writes it: "5" in a list of two-digit
    // codes is "05". Other values as they are.
    QString shownCode(int field, std::string_view code) const;
    // Why a list could not be read; empty when all were.
    const QString& problem() const { return problem_; }

private:
    struct List {
        bool read = false;
        bool letters = false;
        int width = 0;
        QHash<qint64, QString> byNumber;
        QHash<QChar, QString> byLetter;
    };
    std::vector<List> lists_;
    QString problem_;
};

} // namespace solvanta

#pragma once

#include <QDate>
#include <QString>
#include <optional>
#include <string_view>

// How dates become text and back. Date fields hold ten characters: two-digit
// day and month and a four-digit year, in the order and with the separator of
// the user's short date format ("dd-MM-yyyy" for es_CL). A shorter text would
// move every later field of the position form, so the program never writes
// one, whatever the platform's short format says.
namespace solvanta::datetext {

// The program's date format; tests set it explicitly (an empty text goes
// back to the user's locale).
QString format();
void setFormat(const QString& format);
// The program's format for a short date pattern of the locale ("d/M/yy"
// gives "dd/MM/yyyy"); empty when the pattern is not day, month and year
// with one separator character between them.
QString formatFromPattern(const QString& pattern);

QString write(const QDate& date);

// Reads a date as the record editor does: in the program's format (one or
// two digits for day and month), and failing that in the Chilean format
// day-month-year. Blanks around the date are ignored; nothing when the text
// is blank or no real date.
std::optional<QDate> read(QStringView text);

// Reads dates written exactly in a date format of the program (as write
// gives them: ten characters, two-digit day and month, four-digit year) from
// bytes, without making texts: the line checks read every date of every line.
// The format is taken when the reader is made; one that is not ten
// characters long reads as "dd-MM-yyyy".
class ExactReader {
public:
    explicit ExactReader(const QString& format = datetext::format());
    // The date as YYYYMMDD (so dates compare as numbers), or nothing when
    // the text is not a real date written so.
    std::optional<int> read(std::string_view t) const;

private:
    int day_ = 0, month_ = 3, year_ = 6;
    char sep1_ = '-', sep2_ = '-';
    int sepAt1_ = 2, sepAt2_ = 5;
};

// Today, from the clock unless a test fixed it (a null date: the clock again).
QDate today();
void setToday(const QDate& date);

} // namespace solvanta::datetext

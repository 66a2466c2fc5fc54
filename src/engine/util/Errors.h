#pragma once

#include <QString>
#include <exception>
#include <string>

namespace solvanta {

// At most `max` characters of a value or a line for a message, with "…" when
// it was cut, so that a message box always fits on the screen.
inline QString excerpt(QStringView text, qsizetype max = 80) {
    if (text.size() <= max) return text.toString();
    qsizetype cut = max;
    if (text[cut - 1].isHighSurrogate()) --cut;
    return text.left(cut).toString() + QChar(0x2026);
}

// Every failure the engine reports carries the Spanish text the user should
// see. Windows show message(); the command line prints it.
class Error : public std::exception {
public:
    explicit Error(QString message) : message_(std::move(message)), utf8_(message_.toStdString()) {}
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// A text that is not a number of the kind the target needs.
class ConversionError : public Error {
public:
    using Error::Error;
};

// An argument outside the range a helper accepts (a text too long, a missing
// replacement character).
class RangeError : public Error {
public:
    using Error::Error;
};

// A field name the declaration line does not have.
class FieldError : public Error {
public:
    using Error::Error;
};

// An operation the table cannot do in its present state (no current line,
// a line that no longer exists).
class TableError : public Error {
public:
    using Error::Error;
};

// Reading or writing a file failed; the message names the file.
class IoError : public Error {
public:
    using Error::Error;
};

// A file was not written because the data would not arrive as it stood;
// the message lists what.
class DataLossError : public Error {
public:
    using Error::Error;
};

} // namespace solvanta

namespace solvanta {

// The user stopped a long operation; nothing to report.
class Cancelled : public Error {
public:
    Cancelled() : Error(QStringLiteral("Operación cancelada.")) {}
};

} // namespace solvanta

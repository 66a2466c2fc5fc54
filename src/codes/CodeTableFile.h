#pragma once

#include <QString>
#include <QStringList>

// The code-table file: an INI-style text file whose sections are the code
// lists the windows offer. Every call opens the file, does its work and
// closes it; nothing is cached, so a saved change is seen by the next read.
//
// A section is the lines below a "[name]" header up to the next header;
// names compare without regard to letter case. Every other non-blank line of
// a section that does not begin with ";" is an entry; its key is the text
// before the first "=" (the whole line when it has none), without the blanks
// around it. The file is Windows-1252 text, or UTF-16LE when it begins with
// that byte-order mark; it is rewritten in the same encoding with CR LF line
// ends, through a temporary file, so a failed write leaves it as it was.
namespace solvanta {

class CodeTableFile {
public:
    // The file beside the running executable.
    CodeTableFile();
    explicit CodeTableFile(QString path);

    QString path() const;

    // The keys of the section, in file order; empty when the file or the
    // section is missing.
    QStringList readSection(const QString& section) const;
    // Several sections from one reading of the file, in the order asked.
    QList<QStringList> readSections(const QStringList& sections) const;

    // Removes the section, header and entries. IoError "Unable to write to
    // <path>" when the file cannot be written.
    void eraseSection(const QString& section);

    // Replaces the value of the key (letter case ignored) in place, or adds
    // key=value at the end of the section, adding the section at the end of
    // the file and creating the file as needed.
    void writeEntry(const QString& section, const QString& key, const QString& value);

    // Erases the section, then writes every entry with its 0-based position
    // as value, all in one rewrite of the file. An empty list leaves no
    // section at all.
    void replaceSection(const QString& section, const QStringList& entries);

private:
    QString path_; // empty: beside the executable, formed anew on every call
};

} // namespace solvanta

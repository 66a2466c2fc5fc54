#pragma once

#include <QString>
#include <QStringList>
#include <functional>

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
    // The program's file: Solvanta.cfg beside the running executable, or the
    // user's copy of it. When the executable's folder (or the file) cannot be
    // written, as for a program installed in a system folder, the first
    // change writes the whole file, changed, to the user's copy instead; the
    // copy is used, for reading and writing, while the program's file stays
    // unwritable. A copy beside a writable program's file is left alone.
    //
    // The copy remembers, in comment lines before its first section, each
    // list as it was taken from the program's file. A list of the copy that
    // still holds what was taken is read from the program's file as it is
    // now, so a newer program's lists reach the user; a list the user changed
    // stays the user's, and so does one the user erased. A list the copy
    // never had is read from the program's file. Both paths are formed anew
    // on every call.
    CodeTableFile();
    // A file at a fixed path, read and written there and nowhere else.
    explicit CodeTableFile(QString path);
    // The program's file at `programPath` with its user copy at `userPath`:
    // what the default constructor does, on paths of the caller's choosing.
    static CodeTableFile withUserCopy(QString programPath, QString userPath);

    // The file that reads go to now.
    QString path() const;
    // Whether reads go to the user's copy now.
    bool usesUserCopy() const;

    // Solvanta.cfg beside the running executable.
    static QString programPath();
    // Solvanta.cfg in the user's configuration folder
    // (QStandardPaths::AppConfigLocation); empty when the platform has none.
    static QString userCopyPath();

    // Decides whether a file can be written at a path: its folder accepts new
    // files and, when the file exists, the file itself is writable. The real
    // check asks the file system; tests may put another (permission bits stop
    // nothing for root). An empty function puts the real check back.
    using WritableCheck = std::function<bool(const QString& path)>;
    static void setWritableCheck(WritableCheck check);

    // The keys of the section, in file order; empty when the file or the
    // section is missing or cannot be read.
    QStringList readSection(const QString& section) const;
    // Several sections from one reading of the file, in the order asked.
    QList<QStringList> readSections(const QStringList& sections) const;

    // Sections read as readSections does, and whether they can be trusted.
    struct Reading {
        QList<QStringList> lists; // in the order asked
        // Empty when the file was read and has every section asked for;
        // otherwise a sentence for the user naming the file and what is
        // wrong: it is missing, a folder, unreadable, empty, not text, or
        // lacks sections (named).
        QString problem;
        // Only some sections are missing: the others can be used.
        bool partly = false;
    };
    Reading readChecked(const QStringList& sections) const;

    // The writes below throw IoError naming the file and the reason when the
    // file cannot be written, or when it exists but cannot be read (writing
    // it then would lose every other section).

    // Removes the section, header and entries.
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
    QString programFile() const;
    QString userFile() const;
    // Where a change goes: the fixed file, the program's file, or the user's
    // copy (made now from the program's file when `fresh`).
    enum class Target { Fixed, Program, Copy, FreshCopy };
    Target target() const;
    // Reads the lines a change starts from, lets `edit` change them, and
    // writes them to the target when it says it changed them.
    void changeLines(const std::function<bool(QStringList&)>& edit);

    QString path_;        // a fixed file; empty for the program's file
    QString programPath_; // the program's file and its user copy; empty:
    QString userPath_;    // the real places, formed anew on every call
};

} // namespace solvanta

#pragma once

#include "engine/model/FieldTable.h"
#include "engine/util/Progress.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>
#include <string_view>

namespace solvanta {

class RxMem;

// The two forms of a declaration file: fields at fixed columns, or fields
// separated by ";".
enum class FileForm { Position = 0, Separator = 1 };

// How the bytes of a file stand for letters: the code page declaration files
// use, or UTF-8, which the loader turns into that code page.
enum class FileEncoding { Windows1252, Utf8 };

// Something the loader did not take from the file exactly as it stood.
struct LoadNote {
    enum Kind : unsigned char {
        Notice,   // nothing lost (CR line ends, empty lines at the end)
        Replaced, // a value that did not read, and what was taken instead
        Dropped,  // text of the file that no field holds
        FilledIn, // fields the line did not have, filled all the same
        Breaks,   // a value the written form cannot hold as it is
    };
    qint64 line = 0; // the file's line, 1-based; 0 for the file as a whole
    int field = -1;  // 0-based; -1 for the whole line or file
    Kind kind = Notice;
    QString text; // in Spanish, quoting the file's own text
};

// What a load or a conversion noticed: the first notes, and how many there
// were in all. Notes about the file as a whole are always kept.
struct LoadReport {
    qint64 lines = 0;      // lines read
    qint64 noteCount = 0;  // notes of every kind
    qint64 lossCount = 0;  // notes of data replaced, dropped, filled in or broken
    std::vector<LoadNote> notes;
    std::size_t keep = 100; // notes about lines kept in `notes`

    void add(LoadNote note);
    bool losesData() const { return lossCount > 0; }
    // "línea 3, [27] Impo. afp: …" or the text alone for the file; notices
    // begin with "Aviso: ".
    static QString describe(const LoadNote& note);
};

struct LoadOptions {
    FileEncoding encoding = FileEncoding::Windows1252;
    std::size_t keptNotes = 100;
};

// Opens the table afresh and reads every line of the file into it, field by
// field by the load rules of the field table. Every line is accounted for:
// what did not load as it stood is in the report, and each such value or
// line is also noted on its cell in the table (RxMem::noteCell). On any
// failure the table is left closed and empty and an Error names the file
// (and the line, when one line is at fault). A file whose size or
// modification time changed while it was read fails too. Progress counts
// bytes.
LoadReport loadDeclaration(const QString& path, FileForm form, RxMem& table,
                           Progress* progress = nullptr, const LoadOptions& options = {});

// Whether the file's first megabyte reads as UTF-8 with letters beyond
// ASCII: text the code page would show wrongly ("MUÃ'OZ"). (A byte-order
// mark alone changes nothing: the loader skips it.)
bool looksLikeUtf8(const QString& path);

// Reads the file line by line as loadDeclaration does, without a table:
// `line` gets each line's record (valid during the call) and its notes.
// Throws as loadDeclaration does.
class RecordView;
void readDeclaration(const QString& path, FileForm form, const LoadOptions& options,
                     const std::function<void(qint64 lineNo, const RecordView& record,
                                              const std::vector<LoadNote>& notes)>& line,
                     LoadReport& report);

// Writes every line of the table in the given form, each ending in CR LF.
// The file appears only when the whole write succeeded: an existing file of
// that name stays untouched otherwise. Stores a pending line first; leaves
// the last line current. Progress counts lines.
void writeDeclaration(const QString& path, FileForm form, RxMem& table,
                      Progress* progress = nullptr);

// Reads a file in one form and writes its lines in the other (or the same)
// form: the bytes and messages of loading it into a table and writing that
// table, without holding the lines. Reading and writing overlap on two
// cores. On any failure the new file does not appear and a file of that
// name stays untouched; failures of the reading come before those of the
// writing, whichever line they are on.
//
// Without `force`, a file whose load would replace, drop or fill in data,
// or whose values the target form cannot hold as they are (a value that
// would move later fields or read back as something else), is not written:
// DataLossError lists the notes. With it, the file is written all the same,
// byte for byte what loading and writing it would give, and the notes come
// back in the report.
struct ConvertOptions {
    FileEncoding encoding = FileEncoding::Windows1252;
    bool force = false;
    std::size_t keptNotes = 20;
};
LoadReport convertDeclaration(const QString& inPath, FileForm from, const QString& outPath,
                              FileForm to, const ConvertOptions& options = {});

// The notes of a report as lines of a message: at most `max`, then how many
// more there are.
QString describeNotes(const LoadReport& report, std::size_t max = 20);

// The form the first lines of the file show: lines of 861 characters are the
// position form, lines with 104 ";" the separator form. Nothing when the
// file cannot be read or its first lines do not agree.
std::optional<FileForm> guessForm(const QString& path);

// How many columns the position form lays the field's text out in: its
// width, more when the text is longer (it is never cut), fewer when a text
// written unchanged is shorter. Anything but the width moves every later
// field of the line.
std::size_t positionLength(const FieldDef& def, std::string_view text);

// What the position form would read back in place of the field's text when
// it would not read the text itself (the loader's fallback, "0" or "00");
// nothing when it reads back. Texts are laid out by the field's write rule
// (blanks dropped where it drops them) and read by its load rule.
const char* positionReadsBackAs(const FieldDef& def, std::string_view text, char separator);

// A field's text as the separator form writes it: fields written trimmed
// lose the blanks and control characters around them.
std::string_view separatorFormText(int field, std::string_view text);

} // namespace solvanta

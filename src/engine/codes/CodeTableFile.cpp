#include "CodeTableFile.h"

#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/FileReasons.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace solvanta {
namespace {

// The file's lines and the encoding they came in.
struct IniText {
    QStringList lines;
    bool utf16 = false;
};

[[noreturn]] void cannotWrite(const QString& path, QFileDevice::FileError error) {
    throw IoError(QStringLiteral("No se pudo guardar el archivo de códigos «%1»: %2")
                      .arg(shownPath(path), writeFailure(path, error)));
}

// The text of a file's bytes: UTF-16LE after its byte-order mark, else
// Windows-1252.
IniText decode(const QByteArray& bytes) {
    IniText ini;
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        ini.utf16 = true;
        const QByteArray body = bytes.mid(2);
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(body.constData()),
                                  body.size() / 2);
    } else {
        text = cp1252::decode(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    ini.lines = text.split(QLatin1Char('\n'));
    if (!ini.lines.isEmpty() && ini.lines.last().isEmpty()) ini.lines.removeLast();
    return ini;
}

// Why a file's lines are no text, as in a program, an image or a compressed
// file: a NUL, which no text holds, or control characters in numbers no text
// has (one in eight characters). A stray one in a text file (a form feed, a
// vertical tab typed into an entry) leaves it a code table.
bool looksBinary(const IniText& ini) {
    qsizetype characters = 0, controls = 0;
    for (const QString& line : ini.lines) {
        characters += line.size() + 1;
        for (QChar c : line) {
            if (c.unicode() == 0) return true;
            controls += c.unicode() < 0x20 && c != QLatin1Char('\t') && c.unicode() != 0x1A;
        }
    }
    return controls * 8 > characters;
}

// A missing file reads as no lines. One that exists but cannot be read reads
// as no lines too, unless the lines are read to be written back: then the
// write would keep only what is added, and it stops here instead. `why`,
// when given, gets the reason a file could not be read.
IniText readIni(const QString& path, bool toRewrite = false, QString* why = nullptr) {
    QFile file(path);
    const bool special = isSpecialFile(path);
    if (special || !file.open(QIODevice::ReadOnly)) {
        const bool dir = QFileInfo(path).isDir();
        if (why)
            *why = special || dir || !file.exists()
                       ? readFailure(path)
                       : QStringLiteral("no tiene permiso para leerlo.");
        if (toRewrite && file.exists())
            throw IoError(
                QStringLiteral("No se pudo leer el archivo de códigos «%1», así que no se "
                               "cambió: %2")
                    .arg(shownPath(path), special || dir
                                              ? readFailure(path)
                                              : QStringLiteral("no tiene permiso para leerlo.")));
        return {};
    }
    return decode(file.readAll());
}

void writeIni(const QString& path, const IniText& ini) {
    const QString text = ini.lines.isEmpty()
                             ? QString()
                             : ini.lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n");
    QByteArray bytes;
    if (ini.utf16) {
        bytes = QByteArray("\xFF\xFE", 2);
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    } else {
        const std::string s = cp1252::encode(text);
        bytes = QByteArray(s.data(), qsizetype(s.size()));
    }
    // commit() does not notice when the last buffered bytes fail to reach the
    // disk (it would replace the file with a cut copy and report success), so
    // the buffer is flushed and checked first.
    QSaveFile file(path);
    if (isSpecialFile(path) || !file.open(QIODevice::WriteOnly)) cannotWrite(path, file.error());
    if (file.write(bytes) != bytes.size()) cannotWrite(path, shortWriteError(file));
    if (!file.flush() || !file.commit()) cannotWrite(path, file.error());
}

// The section name of a header line, or a null string for any other line.
QString headerName(const QString& line) {
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('['))) return {};
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0) return {};
    return t.mid(1, close - 1).trimmed();
}

bool isSection(const QString& line, const QString& section) {
    const QString name = headerName(line);
    return !name.isNull() && name.compare(section.trimmed(), Qt::CaseInsensitive) == 0;
}

bool isHeader(const QString& line) {
    return !headerName(line).isNull();
}

// The key of an entry line, or a null string for a blank or comment line.
QString entryKey(const QString& line) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';'))) return {};
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    return (eq < 0 ? t : t.left(eq)).trimmed();
}

// [header, end) of the first section of that name; header is -1 when missing.
std::pair<qsizetype, qsizetype> findSection(const QStringList& lines, const QString& section) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!isSection(lines[i], section)) continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !isHeader(lines[end]))
            ++end;
        return {i, end};
    }
    return {-1, -1};
}

bool erase(QStringList& lines, const QString& section) {
    bool changed = false;
    for (auto [head, end] = findSection(lines, section); head >= 0;
         std::tie(head, end) = findSection(lines, section)) {
        lines.erase(lines.begin() + head, lines.begin() + end);
        changed = true;
    }
    return changed;
}

void setEntry(QStringList& lines, const QString& section, const QString& key,
              const QString& value) {
    const QString wanted = key.trimmed();
    auto [head, end] = findSection(lines, section);
    if (head < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
        lines << QLatin1Char('[') + section + QLatin1Char(']');
        lines << wanted + QLatin1Char('=') + value;
        return;
    }
    qsizetype lastEntry = head;
    for (qsizetype i = head + 1; i < end; ++i) {
        const QString k = entryKey(lines[i]);
        if (k.isNull()) continue;
        if (k.compare(wanted, Qt::CaseInsensitive) == 0) {
            lines[i] = k + QLatin1Char('=') + value;
            return;
        }
        lastEntry = i;
    }
    lines.insert(lastEntry + 1, wanted + QLatin1Char('=') + value);
}

CodeTableFile::WritableCheck& writableCheck() {
    static CodeTableFile::WritableCheck check;
    return check;
}

bool canWrite(const QString& path) {
    if (const auto& check = writableCheck()) return check(path);
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir() || !folder.isWritable()) return false;
    return !info.exists() || info.isWritable();
}

} // namespace

CodeTableFile::CodeTableFile() = default;

CodeTableFile::CodeTableFile(QString path) : path_(std::move(path)) {}

CodeTableFile CodeTableFile::withUserCopy(QString programPath, QString userPath) {
    CodeTableFile file;
    file.programPath_ = std::move(programPath);
    file.userPath_ = std::move(userPath);
    return file;
}

QString CodeTableFile::programPath() {
    return QCoreApplication::applicationDirPath() + QLatin1String("/Solvanta.cfg");
}

QString CodeTableFile::userCopyPath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return folder.isEmpty() ? QString() : folder + QLatin1String("/Solvanta.cfg");
}

void CodeTableFile::setWritableCheck(WritableCheck check) {
    writableCheck() = std::move(check);
}

QString CodeTableFile::programFile() const {
    return programPath_.isEmpty() ? programPath() : programPath_;
}

QString CodeTableFile::userFile() const {
    return programPath_.isEmpty() ? userCopyPath() : userPath_;
}

bool CodeTableFile::usesUserCopy() const {
    if (!path_.isEmpty()) return false;
    const QString user = userFile();
    return !user.isEmpty() && QFileInfo::exists(user) && !canWrite(programFile());
}

QString CodeTableFile::path() const {
    if (!path_.isEmpty()) return path_;
    return usesUserCopy() ? userFile() : programFile();
}

// The program's file is changed in place while it can be written; otherwise
// the change goes to the user's copy, made from the whole program's file the
// first time.
CodeTableFile::Target CodeTableFile::target() const {
    if (!path_.isEmpty()) return Target::Fixed;
    if (usesUserCopy()) return Target::Copy;
    const QString program = programFile();
    const QString user = userFile();
    if (user.isEmpty() || canWrite(program)) return Target::Program;
    const QString folder = QFileInfo(user).absolutePath();
    if (!QDir().mkpath(folder))
        throw IoError(QStringLiteral("No se puede escribir el archivo de códigos «%1», y tampoco "
                                     "se pudo crear la carpeta «%2» para guardar una copia.")
                          .arg(shownPath(program), shownPath(folder)));
    return Target::FreshCopy;
}

namespace {

// ---- the user's copy ------------------------------------------------------------
//
// Before its first section the copy holds a comment line per list taken from
// the program's file, with a digest of the list's entries as taken:
//   ;original [Tipo Linea] 3f2a...
// The entries are compared without their blanks at the ends, comments and
// blank lines, so a copy rewritten by the program compares as it was.

const QLatin1String kOriginalTag(";original [");
const QString kCopyNote = QStringLiteral(
    "; Copia del usuario de la tabla de códigos del programa. Las listas que no se cambien "
    "aquí se leen de la tabla del programa.");

struct Original {
    QString section;
    QByteArray digest;
};

QByteArray digest(const QStringList& lines, qsizetype head, qsizetype end) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (qsizetype i = head + 1; i < end; ++i) {
        const QString t = lines[i].trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char(';'))) continue;
        hash.addData(t.toUtf8());
        hash.addData(QByteArrayView("\n"));
    }
    return hash.result().toHex();
}

qsizetype firstHeader(const QStringList& lines) {
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (isHeader(lines[i])) return i;
    return lines.size();
}

QList<Original> originals(const QStringList& lines) {
    QList<Original> out;
    const qsizetype head = firstHeader(lines);
    for (qsizetype i = 0; i < head; ++i) {
        const QString t = lines[i].trimmed();
        if (!t.startsWith(kOriginalTag)) continue;
        const qsizetype close = t.lastIndexOf(QLatin1Char(']'));
        if (close < kOriginalTag.size()) continue;
        out.push_back({t.mid(kOriginalTag.size(), close - kOriginalTag.size()).trimmed(),
                       t.mid(close + 1).trimmed().toLatin1()});
    }
    return out;
}

Original* originalOf(QList<Original>& list, const QString& section) {
    for (Original& o : list)
        if (o.section.compare(section, Qt::CaseInsensitive) == 0) return &o;
    return nullptr;
}

// Puts the note and the lines of `list` before the first section, in place
// of the ones there were.
void setOriginals(QStringList& lines, const QList<Original>& list) {
    QStringList kept;
    const qsizetype head = firstHeader(lines);
    for (qsizetype i = 0; i < head; ++i) {
        const QString t = lines[i].trimmed();
        if (t != kCopyNote && !t.startsWith(kOriginalTag)) kept << lines[i];
    }
    QStringList top{kCopyNote};
    for (const Original& o : list)
        top << kOriginalTag + o.section + QLatin1String("] ") + QString::fromLatin1(o.digest);
    if (kept.isEmpty() || !kept.first().trimmed().isEmpty()) top << QString();
    lines = top + kept + lines.mid(head);
}

// The section names of the file, each once, in file order.
QStringList sectionNames(const QStringList& lines) {
    QStringList names;
    for (const QString& line : lines) {
        const QString name = headerName(line);
        if (!name.isNull() && !names.contains(name, Qt::CaseInsensitive)) names << name;
    }
    return names;
}

// The lines of [head, end) without the blank lines at its end.
qsizetype contentEnd(const QStringList& lines, qsizetype head, qsizetype end) {
    while (end > head + 1 && lines[end - 1].trimmed().isEmpty())
        --end;
    return end;
}

// The program's file as just copied: every list recorded as taken.
void stampOriginals(IniText& copy) {
    QList<Original> list;
    for (const QString& name : sectionNames(copy.lines)) {
        const auto [head, end] = findSection(copy.lines, name);
        list.push_back({name, digest(copy.lines, head, end)});
    }
    setOriginals(copy.lines, list);
}

// Brings the user's copy up to date with the program's file: a list still as
// taken is the program's list now, and a list the copy never had is added.
void refresh(IniText& copy, const IniText& program) {
    QList<Original> list = originals(copy.lines);
    for (const QString& name : sectionNames(program.lines)) {
        const auto [ph, pe] = findSection(program.lines, name);
        const QByteArray now = digest(program.lines, ph, pe);
        const auto [ch, ce] = findSection(copy.lines, name);
        Original* taken = originalOf(list, name);
        if (ch < 0) {
            if (taken) continue; // the user erased it
            while (!copy.lines.isEmpty() && copy.lines.last().trimmed().isEmpty())
                copy.lines.removeLast();
            if (!copy.lines.isEmpty()) copy.lines << QString();
            copy.lines += program.lines.mid(ph, contentEnd(program.lines, ph, pe) - ph);
            list.push_back({name, now});
        } else if (taken && digest(copy.lines, ch, ce) == taken->digest) {
            const qsizetype keepFrom = contentEnd(copy.lines, ch, ce);
            const QStringList body =
                program.lines.mid(ph + 1, contentEnd(program.lines, ph, pe) - ph - 1);
            copy.lines = copy.lines.mid(0, ch + 1) + body + copy.lines.mid(keepFrom);
            taken->digest = now;
        }
    }
    setOriginals(copy.lines, list);
}

} // namespace

namespace {

QStringList sectionKeys(const IniText& ini, const QString& section) {
    QStringList keys;
    const auto [head, end] = findSection(ini.lines, section);
    for (qsizetype i = head + 1; head >= 0 && i < end; ++i) {
        const QString k = entryKey(ini.lines[i]);
        if (!k.isNull()) keys << k;
    }
    return keys;
}

} // namespace

namespace {

// The user's copy as it reads now: brought up to date with the program's
// file, which may be missing or unreadable (the copy is then read as it is).
IniText readCopy(const QString& user, const QString& program, bool toRewrite,
                 QString* why = nullptr) {
    IniText copy = readIni(user, toRewrite, why);
    if (why && !why->isEmpty()) return copy;
    refresh(copy, readIni(program));
    return copy;
}

QString listNames(const QStringList& names) {
    QStringList quoted;
    for (const QString& n : names)
        quoted << QStringLiteral("«%1»").arg(n);
    if (quoted.size() == 1) return quoted.first();
    const QString last = quoted.takeLast();
    return quoted.join(QLatin1String(", ")) + QLatin1String(" y ") + last;
}

} // namespace

QStringList CodeTableFile::readSection(const QString& section) const {
    return readSections({section}).first();
}

QList<QStringList> CodeTableFile::readSections(const QStringList& sections) const {
    return readChecked(sections).lists;
}

CodeTableFile::Reading CodeTableFile::readChecked(const QStringList& sections) const {
    const QString p = path();
    QString why;
    const IniText ini =
        usesUserCopy() ? readCopy(p, programFile(), false, &why) : readIni(p, false, &why);
    Reading r;
    QStringList missing;
    bool anySection = false;
    for (const QString& section : sections) {
        r.lists << sectionKeys(ini, section);
        if (findSection(ini.lines, section).first < 0)
            missing << section;
        else
            anySection = true;
    }
    if (why.isEmpty()) {
        const bool blank = std::all_of(ini.lines.cbegin(), ini.lines.cend(), [](const QString& l) {
            const QString t = l.trimmed();
            return t.isEmpty() || t.startsWith(QLatin1Char(';'));
        });
        if (blank)
            why = QStringLiteral("está vacío.");
        else if (looksBinary(ini))
            why = QStringLiteral("no es un archivo de texto.");
        else if (!missing.isEmpty() && !anySection)
            why = QStringLiteral("no tiene ninguna de las listas de códigos.");
    }
    if (!why.isEmpty()) {
        // Whatever a file that is no code table holds is not used.
        for (QStringList& list : r.lists)
            list.clear();
        r.problem = QStringLiteral("El archivo de códigos «%1» no se puede usar: %2")
                        .arg(shownPath(p), why);
    } else if (!missing.isEmpty()) {
        r.partly = true;
        r.problem = QStringLiteral("Al archivo de códigos «%1» le %2 %3.")
                        .arg(shownPath(p),
                             missing.size() == 1 ? QStringLiteral("falta la lista")
                                                 : QStringLiteral("faltan las listas"),
                             listNames(missing));
    }
    return r;
}

void CodeTableFile::eraseSection(const QString& section) {
    changeLines([&](QStringList& lines) { return erase(lines, section); });
}

void CodeTableFile::writeEntry(const QString& section, const QString& key, const QString& value) {
    changeLines([&](QStringList& lines) {
        setEntry(lines, section, key, value);
        return true;
    });
}

namespace {

// The code of an entry: its key up to the first blank.
QString entryCode(const QString& key) {
    return key.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
}

// The comment lines of a section, each run with what places it: the code of
// the entry it came before (null for comments after the last entry) and how
// many entries came before it.
struct CommentRun {
    QStringList lines;
    QString code;
    qsizetype place = 0;
};

QList<CommentRun> sectionComments(const QStringList& lines, const QString& section) {
    QList<CommentRun> runs;
    CommentRun run;
    qsizetype entries = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!isSection(lines[i], section)) continue;
        for (++i; i < lines.size() && !isHeader(lines[i]); ++i) {
            const QString t = lines[i].trimmed();
            if (t.startsWith(QLatin1Char(';'))) {
                if (run.lines.isEmpty()) run.place = entries;
                run.lines << lines[i];
                continue;
            }
            const QString key = entryKey(lines[i]);
            if (key.isNull()) continue;
            if (!run.lines.isEmpty()) {
                run.code = entryCode(key);
                runs << run;
                run = {};
            }
            ++entries;
        }
        --i;
    }
    if (!run.lines.isEmpty()) runs << run;
    return runs;
}

// Puts the comment runs back into the rewritten section: before the entry
// with the code they preceded, or, when no entry has that code any more, at
// the place they had among the entries; comments after the last entry stay
// at the end.
void restoreComments(QStringList& lines, const QString& section, const QList<CommentRun>& runs) {
    if (runs.isEmpty()) return;
    const auto [head, end] = findSection(lines, section);
    if (head < 0) return;
    const QStringList body = lines.mid(head + 1, end - head - 1);
    QList<QStringList> before(body.size() + 1);
    for (const CommentRun& run : runs) {
        qsizetype at = run.code.isNull() ? body.size() : -1;
        if (!run.code.isNull())
            for (qsizetype j = 0; j < body.size() && at < 0; ++j)
                if (entryCode(entryKey(body[j])).compare(run.code, Qt::CaseInsensitive) == 0)
                    at = j;
        if (at < 0) at = std::min(run.place, body.size());
        before[at] << run.lines;
    }
    QStringList rebuilt;
    for (qsizetype j = 0; j <= body.size(); ++j) {
        rebuilt << before[j];
        if (j < body.size()) rebuilt << body[j];
    }
    lines.erase(lines.begin() + head + 1, lines.begin() + end);
    for (qsizetype j = 0; j < rebuilt.size(); ++j)
        lines.insert(head + 1 + j, rebuilt[j]);
}

} // namespace

// The section's comment lines survive the rewrite (see restoreComments); an
// empty list still leaves no section, comments included.
void CodeTableFile::replaceSection(const QString& section, const QStringList& entries) {
    changeLines([&](QStringList& lines) {
        const QList<CommentRun> comments = sectionComments(lines, section);
        const bool erased = erase(lines, section);
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        for (qsizetype i = 0; i < entries.size(); ++i)
            setEntry(lines, section, entries[i], QString::number(i));
        restoreComments(lines, section, comments);
        return erased || !entries.isEmpty();
    });
}

// Every change reads the file as it is now, changes the lines and writes
// them whole, holding a lock beside the file meanwhile: two windows (or two
// programs) changing codes at once each see the other's change, and neither
// loses it.
void CodeTableFile::changeLines(const std::function<bool(QStringList&)>& edit) {
    const Target t = target();
    const QString program = programFile();
    const QString to = t == Target::Fixed ? path_ : t == Target::Program ? program : userFile();
    QLockFile lock(to + QStringLiteral(".lock"));
    lock.setStaleLockTime(30000);
    // A folder where no lock can be made is one where the file cannot be
    // written either: the write says so.
    if (!lock.tryLock(10000) && lock.error() == QLockFile::LockFailedError)
        throw IoError(QStringLiteral("No se pudo modificar el archivo de códigos «%1»: otra "
                                     "ventana del programa lo está modificando. Inténtelo de "
                                     "nuevo.")
                          .arg(shownPath(to)));
    IniText ini;
    switch (t) {
    case Target::Fixed:
    case Target::Program:
        ini = readIni(to, true);
        break;
    case Target::Copy:
        ini = readCopy(to, program, true);
        break;
    case Target::FreshCopy:
        // Every list is taken as the program's file holds it before the
        // change.
        ini = readIni(program, true);
        stampOriginals(ini);
        break;
    }
    if (edit(ini.lines)) writeIni(to, ini);
}

} // namespace solvanta

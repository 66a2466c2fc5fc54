#include "CodeTableFile.h"

#include "util/CodePage.h"
#include "util/Errors.h"
#include "util/FileReasons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

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

// A missing file reads as no lines. One that exists but cannot be read reads
// as no lines too, unless the lines are read to be written back: then the
// write would keep only what is added, and it stops here instead.
IniText readIni(const QString& path, bool toRewrite = false) {
    IniText ini;
    QFile file(path);
    const bool special = isSpecialFile(path);
    if (special || !file.open(QIODevice::ReadOnly)) {
        if (toRewrite && file.exists())
            throw IoError(
                QStringLiteral("No se pudo leer el archivo de códigos «%1», así que no se "
                               "cambió: %2")
                    .arg(shownPath(path), special || QFileInfo(path).isDir()
                                              ? readFailure(path)
                                              : QStringLiteral("no tiene permiso para leerlo.")));
        return ini;
    }
    const QByteArray bytes = file.readAll();
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

QString CodeTableFile::path() const {
    if (!path_.isEmpty()) return path_;
    const QString user = programPath_.isEmpty() ? userCopyPath() : userPath_;
    if (!user.isEmpty() && QFileInfo::exists(user)) return user;
    return programPath_.isEmpty() ? programPath() : programPath_;
}

// The program's file is changed in place while it can be written; otherwise
// the change goes, with the whole file, to the user's copy, which every later
// call then reads.
QString CodeTableFile::writePath(const QString& readPath) const {
    if (!path_.isEmpty()) return readPath;
    const QString user = programPath_.isEmpty() ? userCopyPath() : userPath_;
    if (user.isEmpty() || readPath == user || canWrite(readPath)) return readPath;
    const QString folder = QFileInfo(user).absolutePath();
    if (!QDir().mkpath(folder))
        throw IoError(QStringLiteral("No se puede escribir el archivo de códigos «%1», y tampoco "
                                     "se pudo crear la carpeta «%2» para guardar una copia.")
                          .arg(shownPath(readPath), shownPath(folder)));
    return user;
}

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

QStringList CodeTableFile::readSection(const QString& section) const {
    return sectionKeys(readIni(path()), section);
}

QList<QStringList> CodeTableFile::readSections(const QStringList& sections) const {
    const IniText ini = readIni(path());
    QList<QStringList> lists;
    for (const QString& section : sections)
        lists << sectionKeys(ini, section);
    return lists;
}

void CodeTableFile::eraseSection(const QString& section) {
    const QString p = path();
    IniText ini = readIni(p, true);
    if (erase(ini.lines, section)) writeIni(writePath(p), ini);
}

void CodeTableFile::writeEntry(const QString& section, const QString& key, const QString& value) {
    const QString p = path();
    IniText ini = readIni(p, true);
    setEntry(ini.lines, section, key, value);
    writeIni(writePath(p), ini);
}

void CodeTableFile::replaceSection(const QString& section, const QStringList& entries) {
    const QString p = path();
    IniText ini = readIni(p, true);
    const bool erased = erase(ini.lines, section);
    while (!ini.lines.isEmpty() && ini.lines.last().trimmed().isEmpty())
        ini.lines.removeLast();
    for (qsizetype i = 0; i < entries.size(); ++i)
        setEntry(ini.lines, section, entries[i], QString::number(i));
    if (erased || !entries.isEmpty()) writeIni(writePath(p), ini);
}

} // namespace solvanta

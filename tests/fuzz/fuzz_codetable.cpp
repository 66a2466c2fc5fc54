// libFuzzer harness for the code-table file: any file content, in either of
// its encodings, read and changed through CodeTableFile.
//
// An input is one line of operations followed by the file's bytes:
//
//     FLAGS|SECTION|KEY|VALUE|ENTRY|ENTRY...\n<file bytes>
//
// The fields are Windows-1252 text. FLAGS are letters, taken in order:
// 'u' stores the file as UTF-16LE with its byte-order mark (the bytes after
// the first line read as Windows-1252), 'n' leaves no file at all, 'w' writes
// KEY=VALUE into SECTION, 'e' erases SECTION, 'r' replaces SECTION with the
// ENTRY list. After each change:
// - every other section reads as it did before;
// - with a section, key, value and entries the file can hold (no line break,
//   no "]" in the section, no "=" in a key nor a key that starts like a
//   comment or a header), what was written reads back: the key is in its
//   section with its value, an erased section reads empty, a replaced one
//   reads the entries in order, each with its position as value;
// - the file keeps its encoding.

#include "FuzzSupport.h"
#include "engine/codes/CodeTableFile.h"
#include "engine/util/CodePage.h"

#include <QMap>
#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace solvanta;

namespace {

QString decode(std::string_view bytes) {
    return cp1252::decode(bytes);
}

// The file's text as its readers take it, cut into lines.
QStringList fileLines(const QByteArray& bytes) {
    QString text;
    if (bytes.startsWith("\xFF\xFE"))
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                  (bytes.size() - 2) / 2);
    else
        text = decode({bytes.constData(), std::size_t(bytes.size())});
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}

// Names worth watching: whatever stands between "[" and "]" on some line.
QStringList headerNames(const QByteArray& bytes) {
    QStringList names;
    for (const QString& line : fileLines(bytes)) {
        const QString t = line.trimmed();
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (t.startsWith(QLatin1Char('[')) && close > 0) names << t.mid(1, close - 1);
    }
    return names;
}

bool sameSection(const QString& a, const QString& b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

bool hasLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

bool canHoldSection(const QString& s) {
    return !s.trimmed().isEmpty() && !s.contains(QLatin1Char(']')) && !hasLineBreak(s);
}

// (Control characters other than a tab have no place in a code; a file
// full of them reads as no text at all.)
bool canHoldKey(const QString& k) {
    const QString t = k.trimmed();
    return !t.isEmpty() && !t.startsWith(QLatin1Char(';')) && !t.startsWith(QLatin1Char('[')) &&
           !k.contains(QLatin1Char('=')) && !hasLineBreak(k) &&
           std::none_of(k.begin(), k.end(), [](QChar c) {
               return c.unicode() < 0x20 && c != QLatin1Char('\t');
           });
}

// A file that reads as no text (a NUL, control characters everywhere) gives
// no lists at all, before a change and after it.
bool readsAsText(const CodeTableFile& file, const QString& section) {
    return !file.readChecked({section}).problem.contains(QLatin1String("no es un archivo de texto"));
}

QString keyIn(const QStringList& keys, const QString& key) {
    for (const QString& k : keys)
        if (k.compare(key.trimmed(), Qt::CaseInsensitive) == 0) return k;
    return {};
}

QString listed(const QStringList& keys) {
    return QLatin1Char('[') + keys.join(QLatin1String("] [")) + QLatin1Char(']');
}

struct Operations {
    QString flags, section, key, value;
    QStringList entries;
};

void check(const Operations& ops, CodeTableFile& file, const QString& path) {
    int done = 0;
    for (const QChar op : ops.flags) {
        if (op != u'w' && op != u'e' && op != u'r') continue;
        if (++done > 4) break;
        const QByteArray before = fuzz::readFile(path);
        QStringList names = headerNames(before);
        names << ops.section;
        QMap<QString, QStringList> sections;
        const QList<QStringList> together = file.readSections(names);
        for (qsizetype i = 0; i < names.size(); ++i) {
            sections[names[i]] = file.readSection(names[i]);
            FUZZ_CHECK(together[i] == sections[names[i]],
                       QStringLiteral("readSections and readSection differ on ") + names[i]);
        }

        const bool textBefore = readsAsText(file, ops.section);
        bool checkTarget = canHoldSection(ops.section);
        if (op == u'w') {
            file.writeEntry(ops.section, ops.key, ops.value);
            checkTarget = checkTarget && canHoldKey(ops.key) && !hasLineBreak(ops.value);
        } else if (op == u'e') {
            file.eraseSection(ops.section);
        } else {
            file.replaceSection(ops.section, ops.entries);
            for (const QString& e : ops.entries)
                checkTarget = checkTarget && canHoldKey(e);
        }
        // An operation with text the file cannot hold may reshape it in any
        // way; it must only not break.
        if (!checkTarget || !textBefore || !readsAsText(file, ops.section)) continue;

        const QByteArray after = fuzz::readFile(path);
        for (const QString& name : names) {
            if (sameSection(name, ops.section)) continue;
            const QStringList now = file.readSection(name);
            FUZZ_CHECK(now == sections[name], QStringLiteral("section %1 went from %2 to %3")
                                                  .arg(name, listed(sections[name]), listed(now)));
        }
        if (!before.isEmpty())
            FUZZ_CHECK(after.startsWith("\xFF\xFE") == before.startsWith("\xFF\xFE"),
                       QStringLiteral("the file changed its encoding"));
        else
            FUZZ_CHECK(!after.startsWith("\xFF\xFE"), QStringLiteral("a new file is UTF-16"));

        const QStringList old = sections[ops.section];
        const QStringList now = file.readSection(ops.section);
        const QStringList lines = fileLines(after);
        if (op == u'w') {
            const QString existing = keyIn(old, ops.key);
            const QString stored = existing.isNull() ? ops.key.trimmed() : existing;
            const QStringList expected = existing.isNull() ? old + QStringList{stored} : old;
            FUZZ_CHECK(now == expected,
                       QStringLiteral("after writing %1: %2").arg(ops.key, listed(now)));
            FUZZ_CHECK(lines.contains(stored + QLatin1Char('=') + ops.value),
                       QStringLiteral("no line %1=%2").arg(stored, ops.value));
        } else if (op == u'e') {
            FUZZ_CHECK(now.isEmpty(), QStringLiteral("erased section reads ") + listed(now));
        } else {
            // A repeated entry (letter case ignored) keeps its first text and
            // takes the last position.
            QStringList expected;
            QMap<QString, int> position;
            for (qsizetype i = 0; i < ops.entries.size(); ++i) {
                const QString k = ops.entries[i].trimmed();
                const QString first = keyIn(expected, k);
                if (first.isNull()) expected << k;
                position[(first.isNull() ? k : first)] = int(i);
            }
            FUZZ_CHECK(
                now == expected,
                QStringLiteral("replaced by %1, reads %2").arg(listed(ops.entries), listed(now)));
            for (auto it = position.cbegin(); it != position.cend(); ++it)
                FUZZ_CHECK(
                    lines.contains(it.key() + QLatin1Char('=') + QString::number(it.value())),
                    QStringLiteral("no line %1=%2").arg(it.key()).arg(it.value()));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lf = input.find('\n');
    const std::string_view head = input.substr(0, lf);
    const std::string_view body =
        lf == std::string_view::npos ? std::string_view() : input.substr(lf + 1);
    const QStringList fields = decode(head).split(QLatin1Char('|'));
    Operations ops;
    ops.flags = fields.value(0);
    ops.section = fields.value(1);
    ops.key = fields.value(2);
    ops.value = fields.value(3);
    ops.entries = fields.mid(4);

    const QString path = fuzz::scratchFile("Solvanta.cfg");
    QFile::remove(path);
    if (!ops.flags.contains(u'n')) {
        if (ops.flags.contains(u'u')) {
            const QString text = decode(body);
            QByteArray bytes("\xFF\xFE", 2);
            bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
            fuzz::writeFile(path, {bytes.constData(), std::size_t(bytes.size())});
        } else {
            fuzz::writeFile(path, body);
        }
    }
    CodeTableFile file(path);
    check(ops, file, path);
    return 0;
}

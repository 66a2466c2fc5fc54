#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// What the libFuzzer harnesses share: a scratch folder for the files the
// engine reads and writes, and the check that stops the run when a property
// does not hold (libFuzzer then keeps the input as a crash artifact).
namespace fuzz {

[[noreturn]] inline void failed(const char* file, int line, const char* condition,
                                const QString& detail) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n%s\n", file, line, condition,
                 detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

// One folder per process, made at the first call, in the system's temporary
// folder (TMPDIR; scripts/fuzz.sh points it at a memory-backed folder of its
// own and removes that at the end, whatever way the run ends).
inline const QTemporaryDir& scratch() {
    static const QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder: %s\n", qPrintable(dir.errorString()));
        std::abort();
    }
    return dir;
}

inline QString scratchFile(const char* name) {
    return scratch().filePath(QLatin1String(name));
}

inline void writeFile(const QString& path, std::string_view bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A byte string for a failure report: printable ASCII as it is, anything
// else as \xNN.
inline QString shown(std::string_view bytes) {
    QString out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\')
            out += QLatin1Char(char(c));
        else
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace fuzz

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) ::fuzz::failed(__FILE__, __LINE__, #condition, (detail));                \
    } while (false)

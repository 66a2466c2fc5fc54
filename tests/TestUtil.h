#pragma once

#include "model/FieldTable.h"
#include "model/RxMem.h"
#include "util/CodePage.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// Small helpers shared by the engine tests.
namespace testutil {

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QString dataFile(const char* name) {
    return QStringLiteral(SOLVANTA_TEST_DATA "/") + QLatin1StringView(name);
}

// Windows-1252 bytes of a text.
inline QByteArray cp(const QString& text) {
    const std::string s = solvanta::cp1252::encode(text);
    return QByteArray(s.data(), qsizetype(s.size()));
}

inline int field(const char* name) { return solvanta::RxMem::fieldByName(QString::fromLatin1(name)); }

} // namespace testutil

#include "FileReasons.h"

#include <QDir>
#include <QFileInfo>

namespace solvanta {

QString shownPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

namespace {

QString specialFile() {
    return QStringLiteral(
        "no es un archivo común, sino un dispositivo o un canal entre programas.");
}

} // namespace

bool isSpecialFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

QString readFailure(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("el archivo no existe.");
    if (info.isDir()) return QStringLiteral("es una carpeta, no un archivo.");
    if (!info.isFile()) return specialFile();
    if (!info.isReadable()) return QStringLiteral("no tiene permiso para leerlo.");
    return QStringLiteral("no se pudo leer.");
}

QString writeFailure(const QString& path, QFileDevice::FileError error) {
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists()) return QStringLiteral("la carpeta no existe.");
    if (info.isDir()) return QStringLiteral("ese nombre es una carpeta.");
    if (info.exists() && !info.isFile()) return specialFile();
    if (!folder.isWritable())
        return QStringLiteral("no tiene permiso para escribir en esa carpeta.");
    if (info.exists() && !info.isWritable())
        return QStringLiteral("el archivo es de solo lectura.");
    if (error == QFileDevice::ResourceError || error == QFileDevice::WriteError)
        return QStringLiteral("falló la escritura; puede que el disco esté lleno.");
    return QStringLiteral("no se pudo escribir.");
}

QFileDevice::FileError shortWriteError(const QFileDevice& file) {
    return file.error() == QFileDevice::NoError ? QFileDevice::ResourceError : file.error();
}

} // namespace solvanta

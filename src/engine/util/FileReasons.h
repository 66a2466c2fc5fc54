#pragma once

#include <QFileDevice>
#include <QString>

// Why a file could not be read or written, in words for the user, and the
// path as the platform writes it.
namespace solvanta {

QString shownPath(const QString& path);

// Something is at the path that is neither a regular file nor a folder: a
// device, a pipe, a socket. Opening one can wait forever (a pipe without a
// writer) or read without end (a device), and writing would put a regular
// file in its place; such a path is refused before it is opened.
bool isSpecialFile(const QString& path);
QString readFailure(const QString& path);
QString writeFailure(const QString& path, QFileDevice::FileError error);

// The error of a write to the file that took fewer bytes than asked. On a
// full disk the system takes what fits and reports no error, so a short
// write without one counts as out of space.
QFileDevice::FileError shortWriteError(const QFileDevice& file);

} // namespace solvanta

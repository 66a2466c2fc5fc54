#pragma once

#include <QFileDevice>
#include <QString>

// Why a file could not be read or written, in words for the user, and the
// path as the platform writes it.
namespace solvanta {

QString shownPath(const QString& path);
QString readFailure(const QString& path);
QString writeFailure(const QString& path, QFileDevice::FileError error);

// The error of a write to the file that took fewer bytes than asked. On a
// full disk the system takes what fits and reports no error, so a short
// write without one counts as out of space.
QFileDevice::FileError shortWriteError(const QFileDevice& file);

} // namespace solvanta

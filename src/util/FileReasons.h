#pragma once

#include <QFileDevice>
#include <QString>

// Why a file could not be read or written, in words for the user, and the
// path as the platform writes it.
namespace solvanta {

QString shownPath(const QString& path);
QString readFailure(const QString& path);
QString writeFailure(const QString& path, QFileDevice::FileError error);

} // namespace solvanta

#pragma once

#include "engine/util/Errors.h"

#include <QString>
#include <QtGlobal>

namespace solvanta {

// What is being written, for the messages: "el archivo" or "la planilla".
enum class OutputKind { File, Workbook };

// The output named is the file being read.
class OutputIsInput : public IoError {
public:
    using IoError::IoError;
};

// A name a new file is about to take, checked before anything is written.
// Refused, with an IoError whose message names the file and the reason:
// - an empty name;
// - the file the output is made from (`input`), however it is reached: the
//   same name, a symbolic link to it or a second hard link (compared by
//   device and inode), since writing would destroy what is being read
//   (OutputIsInput);
// - a file that is read-only: its mode has no write bit, or the user may not
//   write it. Root may write anything, so the bits decide for root too;
// - a symbolic link that leads nowhere: to a folder that does not exist, or
//   round in a loop.
// A symbolic link to a file (existing or not, in an existing folder) is
// followed: the file it leads to is replaced and the link stays.
class OutputTarget {
public:
    OutputTarget(const QString& path, OutputKind kind, const QString& input = QString());

    // The file that will be created or replaced: the name with its links
    // followed, absolute.
    const QString& file() const { return file_; }
    // Whether a file of that name exists and will be replaced.
    bool replaces() const { return replaces_; }

    // After the new file took the name: gives it the permission bits, owner
    // and group of the file it replaced, as far as the user may (a user who
    // is not root cannot give a file away). Nothing when nothing was
    // replaced.
    void keepAttributes() const { giveAttributesTo(file_); }
    // The same for a new file not yet renamed to the name, so it never
    // shows more than the old file did.
    void giveAttributesTo(const QString& newFile) const;

    // "No se pudo crear el archivo «path»: " or "...la planilla «path»: ".
    static QString failurePrefix(const QString& path, OutputKind kind);

private:
    QString file_;
    bool replaces_ = false;
    quint32 mode_ = 0;
    quint32 owner_ = 0;
    quint32 group_ = 0;
};

} // namespace solvanta

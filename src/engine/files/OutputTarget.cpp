#include "OutputTarget.h"

#include "engine/util/Errors.h"
#include "engine/util/FileReasons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace solvanta {
namespace {

// More links in a row than this are taken for a loop, as the system does.
constexpr int kMaxLinks = 40;

[[noreturn]] void refuse(const QString& path, OutputKind kind, const QString& why) {
    throw IoError(OutputTarget::failurePrefix(path, kind) + why);
}

} // namespace

QString OutputTarget::failurePrefix(const QString& path, OutputKind kind) {
    return (kind == OutputKind::File ? QStringLiteral("No se pudo crear el archivo «%1»: ")
                                     : QStringLiteral("No se pudo crear la planilla «%1»: "))
        .arg(shownPath(path));
}

OutputTarget::OutputTarget(const QString& path, OutputKind kind, const QString& input) {
    if (path.isEmpty())
        throw IoError(kind == OutputKind::File
                          ? QStringLiteral("No se pudo crear el archivo: falta su nombre.")
                          : QStringLiteral("No se pudo crear la planilla: falta su nombre."));

    // Follow the links to the file that will really be written.
    QString file = QFileInfo(path).absoluteFilePath();
    for (int links = 0;; ++links) {
        const QFileInfo info(file);
        if (!info.isSymLink()) break;
        if (links == kMaxLinks)
            refuse(path, kind,
                   QStringLiteral("es un enlace que no lleva a ningún archivo (forma un ciclo)."));
        const QString next = info.symLinkTarget();
        if (!QFileInfo(QFileInfo(next).absolutePath()).isDir())
            refuse(path, kind,
                   QStringLiteral("es un enlace a «%1», cuya carpeta no existe.")
                       .arg(shownPath(next)));
        file = next;
    }
    file_ = QDir::cleanPath(file);

#ifdef Q_OS_UNIX
    struct stat target {};
    if (::stat(QFile::encodeName(file_).constData(), &target) != 0) return;
    if (!input.isEmpty()) {
        struct stat source {};
        if (::stat(QFile::encodeName(input).constData(), &source) == 0 &&
            source.st_dev == target.st_dev && source.st_ino == target.st_ino)
            throw OutputIsInput(failurePrefix(path, kind) +
                                QStringLiteral("es el mismo archivo que se está leyendo («%1»); "
                                               "escribirlo lo destruiría. Elija otro nombre.")
                                    .arg(shownPath(input)));
    }
    if (!S_ISREG(target.st_mode)) return; // folders and devices: the writing says why
    if ((target.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
        ::access(QFile::encodeName(file_).constData(), W_OK) != 0)
        refuse(path, kind, QStringLiteral("el archivo es de solo lectura."));
    replaces_ = true;
    mode_ = quint32(target.st_mode & 07777);
    owner_ = quint32(target.st_uid);
    group_ = quint32(target.st_gid);
#else
    const QFileInfo target(file_);
    if (!target.exists()) return;
    if (!input.isEmpty() && QFileInfo(input).canonicalFilePath() == target.canonicalFilePath())
        throw OutputIsInput(failurePrefix(path, kind) +
                            QStringLiteral("es el mismo archivo que se está leyendo («%1»); "
                                           "escribirlo lo destruiría. Elija otro nombre.")
                                .arg(shownPath(input)));
    if (target.isFile() && !target.isWritable())
        refuse(path, kind, QStringLiteral("el archivo es de solo lectura."));
    replaces_ = target.isFile();
#endif
}

void OutputTarget::giveAttributesTo(const QString& newFile) const {
#ifdef Q_OS_UNIX
    if (!replaces_) return;
    const QByteArray name = QFile::encodeName(newFile);
    struct stat now {};
    if (::stat(name.constData(), &now) != 0) return;
    // Giving a file away is for root only; a user keeps what the system
    // allows (a group of their own) and the bits in any case. chown may clear
    // the set-user and set-group bits, so the mode comes after.
    if ((now.st_uid != uid_t(owner_) || now.st_gid != gid_t(group_)) &&
        ::chown(name.constData(), uid_t(owner_), gid_t(group_)) != 0 &&
        ::chown(name.constData(), uid_t(-1), gid_t(group_)) != 0) {
        // Not allowed: the new file stays the user's own.
    }
    if (::chmod(name.constData(), mode_t(mode_)) != 0) {
        // The new file keeps the bits it was made with.
    }
#else
    Q_UNUSED(newFile);
#endif
}

} // namespace solvanta

#pragma once

#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"
#include "engine/util/CodePage.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#ifdef Q_OS_UNIX
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

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

// Every line's bytes as the table holds them, in line order.
inline QList<QByteArray> lineBytes(const solvanta::RxMem& t) {
    QList<QByteArray> out;
    for (int r = 0; r < t.recordCount(); ++r)
        out << QByteArray(reinterpret_cast<const char*>(t.recordAt(r).data()),
                          qsizetype(solvanta::recordLayout().size));
    return out;
}

inline int field(const char* name) {
    return solvanta::RxMem::fieldByName(QString::fromLatin1(name));
}

#ifdef Q_OS_UNIX
// While alive, no file of this process may grow beyond the given number of
// bytes, whatever the user's rights (tests may run as root, for whom
// permission bits stop nothing). A write that crosses the limit writes what
// fits and reports how much, as on a disk that fills up; the next one fails.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ok_ = getrlimit(RLIMIT_FSIZE, &old_) == 0;
        if (!ok_) return;
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool ok_ = false;
};

// While alive, every write to a file fails.
class NoFileGrowth : public FileSizeLimit {
public:
    NoFileGrowth() : FileSizeLimit(0) {}
};

// Kinds of file that are no regular file, made at a path for tests: a named
// pipe with no writer, and a local socket bound to the path while this is
// alive. The path is removed at the end.
class SpecialFile {
public:
    enum Kind { Pipe, Socket };
    SpecialFile(Kind kind, const QString& path) : path_(path) {
        const QByteArray name = QFile::encodeName(path);
        if (kind == Pipe) {
            ok_ = mkfifo(name.constData(), 0600) == 0;
            return;
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (name.size() >= qsizetype(sizeof address.sun_path)) return;
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        ok_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~SpecialFile() {
        if (fd_ >= 0) ::close(fd_);
        QFile::remove(path_);
    }
    SpecialFile(const SpecialFile&) = delete;
    SpecialFile& operator=(const SpecialFile&) = delete;
    bool ok() const { return ok_; }

private:
    QString path_;
    int fd_ = -1;
    bool ok_ = false;
};
#endif

} // namespace testutil

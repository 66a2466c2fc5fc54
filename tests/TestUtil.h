#pragma once

#include "model/FieldTable.h"
#include "model/RxMem.h"
#include "util/CodePage.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
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
#endif

} // namespace testutil

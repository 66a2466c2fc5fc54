#include "Journal.h"

#include "engine/model/Record.h"
#include "engine/util/Errors.h"
#include "engine/util/FileReasons.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <cstring>
#include <set>
#include <unordered_map>

#include <fcntl.h>
#include <unistd.h>

namespace solvanta {

namespace {

constexpr char kMagic[8] = {'S', 'L', 'V', 'J', 'R', 'N', 'L', '1'};
constexpr std::uint8_t kHeaderEntry = 0x48; // 'H'
// An entry this large reaches the disk at once.
constexpr std::size_t kLarge = 64 * 1024;
// No entry of a journal this program writes is larger: a length beyond it is
// damage, not an entry.
constexpr std::uint32_t kMaxEntry = 1u << 30;

std::uint32_t crc32(const std::byte* data, std::size_t n) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i)
        c = table[(c ^ std::to_integer<std::uint32_t>(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Little-endian numbers and blocks into a buffer, and back.
struct Out {
    std::vector<std::byte> bytes;
    void putBytes(const void* p, std::size_t n) {
        const std::size_t at = bytes.size();
        bytes.resize(at + n);
        if (n) std::memcpy(bytes.data() + at, p, n);
    }
    template <typename T> void put(T v) { putBytes(&v, sizeof(T)); }
    template <typename T> void putAll(const std::vector<T>& v) {
        put(std::uint32_t(v.size()));
        putBytes(v.data(), v.size() * sizeof(T));
    }
    void putText(const QString& t) {
        const QByteArray utf8 = t.toUtf8();
        put(std::uint32_t(utf8.size()));
        putBytes(utf8.constData(), std::size_t(utf8.size()));
    }
};

struct In {
    const std::byte* p;
    std::size_t left;
    bool ok = true;
    template <typename T> T get() {
        T v{};
        if (left < sizeof(T)) {
            ok = false;
            return v;
        }
        std::memcpy(&v, p, sizeof(T));
        p += sizeof(T);
        left -= sizeof(T);
        return v;
    }
    template <typename T> std::vector<T> getAll() {
        const std::uint32_t n = get<std::uint32_t>();
        if (!ok || std::size_t(n) * sizeof(T) > left) {
            ok = false;
            return {};
        }
        std::vector<T> v(n);
        if (n) std::memcpy(v.data(), p, n * sizeof(T));
        p += n * sizeof(T);
        left -= n * sizeof(T);
        return v;
    }
    QString getText() {
        const std::vector<char> utf8 = getAll<char>();
        return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    }
};

std::vector<std::byte> stepBytes(const HistoryStep& step, const RxMem& table) {
    Out o;
    o.put(std::uint8_t(step.kind));
    o.put(std::uint8_t(step.joined));
    o.put(std::int32_t(step.field));
    o.putAll(step.fields);
    o.putAll(step.lineSlots);
    o.putAll(step.rows);
    o.putAll(step.before);
    o.putAll(step.after);
    // A new line is only a place in the history: its bytes go with it.
    std::vector<std::byte> line;
    if (step.kind == HistoryStep::Kind::Insert && !step.rows.empty()) {
        const RecordView added = table.recordAt(step.rows.front());
        line.assign(added.data(), added.data() + table.lineBytes());
    }
    o.putAll(line);
    return std::move(o.bytes);
}

[[noreturn]] void notAJournal(const QString& path, const QString& why) {
    throw IoError(QStringLiteral("No se pudo leer el registro de correcciones «%1»: %2")
                      .arg(shownPath(path), why));
}

} // namespace

FileIdentity FileIdentity::of(const QString& path) {
    FileIdentity id;
    id.path = QFileInfo(path).absoluteFilePath();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return id;
    id.size = f.size();
    id.modified = QFileInfo(path).lastModified().toMSecsSinceEpoch();
    // A quick hash of every byte (FNV-1a over eight bytes at a time): enough
    // to know whether the file changed, read at the speed of the disk cache.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    constexpr qint64 kBlock = 1 << 20;
    std::vector<char> buf(kBlock);
    for (;;) {
        const qint64 n = f.read(buf.data(), kBlock);
        if (n < 0) {
            id.size = -1;
            return id;
        }
        if (n == 0) break;
        qint64 i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, buf.data() + i, 8);
            h = (h ^ w) * 0x100000001b3ULL;
        }
        for (; i < n; ++i)
            h = (h ^ static_cast<unsigned char>(buf[std::size_t(i)])) * 0x100000001b3ULL;
    }
    id.hash = h;
    return id;
}

JournalWriter::JournalWriter(const QString& path, const JournalHeader& header) : path_(path) {
    fd_ =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        const int error = errno;
        throw IoError(QStringLiteral("No se pudo crear el registro de correcciones «%1»: %2")
                          .arg(shownPath(path), QString::fromLocal8Bit(std::strerror(error))));
    }
    Out o;
    o.putText(header.file.path);
    o.put(header.file.size);
    o.put(header.file.modified);
    o.put(header.file.hash);
    o.put(std::uint8_t(header.form));
    o.put(std::uint8_t(header.sheet));
    o.put(header.processId);
    o.put(header.started.toMSecsSinceEpoch());
    if (::write(fd_, kMagic, sizeof kMagic) != qint64(sizeof kMagic)) {
        const int error = errno;
        ::close(fd_);
        QFile::remove(path);
        throw IoError(QStringLiteral("No se pudo escribir el registro de correcciones «%1»: %2")
                          .arg(shownPath(path), QString::fromLocal8Bit(std::strerror(error))));
    }
    append(JournalEntry::Type(kHeaderEntry), o.bytes, true);
    flusher_ = std::thread([this] { flushLoop(); });
    sync();
}

JournalWriter::~JournalWriter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    if (fd_ >= 0) {
        ::fdatasync(fd_);
        ::close(fd_);
    }
}

void JournalWriter::append(JournalEntry::Type type, const std::vector<std::byte>& payload,
                           bool large) {
    if (fd_ < 0 || !failure_.isEmpty()) return;
    // length, type, payload, checksum of type and payload
    std::vector<std::byte> entry(4 + 1 + payload.size() + 4);
    const std::uint32_t length = std::uint32_t(1 + payload.size());
    std::memcpy(entry.data(), &length, 4);
    entry[4] = std::byte(type);
    if (!payload.empty()) std::memcpy(entry.data() + 5, payload.data(), payload.size());
    const std::uint32_t sum = crc32(entry.data() + 4, 1 + payload.size());
    std::memcpy(entry.data() + 5 + payload.size(), &sum, 4);
    std::size_t done = 0;
    while (done < entry.size()) {
        const ssize_t n = ::write(fd_, entry.data() + done, entry.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure_ = QStringLiteral("No se pudo escribir el registro de correcciones «%1»: %2. "
                                      "Las correcciones siguen en el listado; grábelas con "
                                      "«Crear Archivo».")
                           .arg(shownPath(path_), QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        done += std::size_t(n);
    }
    {
        std::lock_guard lock(mutex_);
        dirty_ = true;
        urgent_ = urgent_ || large || entry.size() >= kLarge;
    }
    if (large || entry.size() >= kLarge) wake_.notify_all();
}

void JournalWriter::flushLoop() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_ || urgent_; });
        if (!dirty_) continue;
        dirty_ = urgent_ = false;
        lock.unlock();
        ::fdatasync(fd_);
        lock.lock();
    }
}

void JournalWriter::sync() {
    if (fd_ >= 0) ::fdatasync(fd_);
}

void JournalWriter::recorded(const HistoryStep& step, const RxMem& table) {
    const std::vector<std::byte> bytes = stepBytes(step, table);
    append(JournalEntry::Type::Step, bytes, bytes.size() >= kLarge);
}

void JournalWriter::undone() {
    append(JournalEntry::Type::Undo, {}, false);
}

void JournalWriter::redone() {
    append(JournalEntry::Type::Redo, {}, false);
}

void JournalWriter::remove() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    QFile::remove(path_);
}

JournalReading readJournal(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) notAJournal(path, readFailure(path));
    const QByteArray all = f.readAll();
    if (all.size() < qsizetype(sizeof kMagic) || std::memcmp(all.constData(), kMagic, 8) != 0)
        notAJournal(path, QStringLiteral("no es un registro de correcciones de este programa."));
    JournalReading r;
    const auto* p = reinterpret_cast<const std::byte*>(all.constData()) + 8;
    std::size_t left = std::size_t(all.size()) - 8;
    bool first = true;
    std::set<std::uint32_t> touched;
    while (left > 0) {
        std::uint32_t length = 0;
        if (left < 4) {
            r.torn = true;
            break;
        }
        std::memcpy(&length, p, 4);
        if (length == 0 || length > kMaxEntry || left < 4 + std::size_t(length) + 4) {
            r.torn = true;
            break;
        }
        std::uint32_t sum = 0;
        std::memcpy(&sum, p + 4 + length, 4);
        if (crc32(p + 4, length) != sum) {
            r.torn = true;
            break;
        }
        const auto type = std::to_integer<std::uint8_t>(p[4]);
        In in{p + 5, length - 1};
        if (first) {
            if (type != kHeaderEntry) notAJournal(path, QStringLiteral("le falta su encabezado."));
            JournalHeader& h = r.header;
            h.file.path = in.getText();
            h.file.size = in.get<qint64>();
            h.file.modified = in.get<qint64>();
            h.file.hash = in.get<quint64>();
            h.form = FileForm(in.get<std::uint8_t>());
            h.sheet = in.get<std::uint8_t>() != 0;
            h.processId = in.get<qint64>();
            h.started = QDateTime::fromMSecsSinceEpoch(in.get<qint64>());
            if (!in.ok) notAJournal(path, QStringLiteral("su encabezado está dañado."));
            first = false;
        } else {
            JournalEntry e;
            e.type = JournalEntry::Type(type);
            if (e.type == JournalEntry::Type::Step) {
                HistoryStep& s = e.step;
                s.kind = HistoryStep::Kind(in.get<std::uint8_t>());
                s.joined = in.get<std::uint8_t>() != 0;
                s.field = in.get<std::int32_t>();
                s.fields = in.getAll<std::int16_t>();
                s.lineSlots = in.getAll<std::uint32_t>();
                s.rows = in.getAll<std::int32_t>();
                s.before = in.getAll<std::byte>();
                s.after = in.getAll<std::byte>();
                e.line = in.getAll<std::byte>();
                touched.insert(s.lineSlots.begin(), s.lineSlots.end());
            } else if (e.type != JournalEntry::Type::Undo && e.type != JournalEntry::Type::Redo) {
                in.ok = false;
            }
            if (!in.ok) {
                r.torn = true;
                break;
            }
            r.entries.push_back(std::move(e));
        }
        p += 4 + length + 4;
        left -= 4 + std::size_t(length) + 4;
    }
    if (first) notAJournal(path, QStringLiteral("está vacío."));
    r.linesTouched = int(touched.size());
    return r;
}

void replayJournal(const JournalReading& journal, RxMem& table) {
    // The lines of the file keep their places; lines added then get new
    // ones here, which may differ from the first time.
    std::unordered_map<std::uint32_t, std::uint32_t> added;
    const auto place = [&](std::uint32_t slot) {
        if (const auto it = added.find(slot); it != added.end()) return it->second;
        if (!table.hasSlot(slot))
            throw TableError(QStringLiteral("El registro de correcciones no corresponde a las "
                                            "líneas del archivo."));
        return slot;
    };
    for (const JournalEntry& e : journal.entries) {
        switch (e.type) {
        case JournalEntry::Type::Undo:
            table.undo();
            break;
        case JournalEntry::Type::Redo:
            table.redo();
            break;
        case JournalEntry::Type::Step: {
            HistoryStep step = e.step;
            if (step.kind == HistoryStep::Kind::Insert) {
                const std::uint32_t was = step.lineSlots.empty() ? UINT32_MAX : step.lineSlots[0];
                added[was] = table.applyRecorded(std::move(step), e.line);
                break;
            }
            for (std::uint32_t& slot : step.lineSlots)
                slot = place(slot);
            if (step.kind == HistoryStep::Kind::Line &&
                (step.before.size() != table.lineBytes() || step.after.size() != table.lineBytes()))
                throw TableError(QStringLiteral("El registro de correcciones está dañado."));
            table.applyRecorded(std::move(step), {});
            break;
        }
        }
    }
}

} // namespace solvanta

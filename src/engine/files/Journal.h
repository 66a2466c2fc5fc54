#pragma once

#include "engine/files/DeclarationFile.h"
#include "engine/model/History.h"
#include "engine/model/RxMem.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace solvanta {

// What a loaded file was: its path, size, time of last change and a hash of
// its bytes, so that a journal is only ever replayed onto the same bytes.
struct FileIdentity {
    QString path;
    qint64 size = -1;
    qint64 modified = 0; // milliseconds since the epoch
    quint64 hash = 0;
    // The file as it is now; size -1 when it cannot be read.
    static FileIdentity of(const QString& path);
    bool sameBytes(const FileIdentity& o) const { return size == o.size && hash == o.hash; }
    bool operator==(const FileIdentity&) const = default;
};

// What a journal was kept for: the file, how it was read (its form, or a
// spreadsheet), and when the journal began.
struct JournalHeader {
    FileIdentity file;
    FileForm form = FileForm::Position;
    bool sheet = false;
    qint64 processId = 0;
    QDateTime started;
};

// One change as a journal keeps it.
struct JournalEntry {
    enum class Type : std::uint8_t { Step = 1, Undo = 2, Redo = 3 };
    Type type = Type::Step;
    HistoryStep step;            // Step
    std::vector<std::byte> line; // Step of an insert: the new line's bytes
};

// The changes of an open file, appended as they are made to a file of their
// own (the journal), each entry with its length and a checksum. The writes
// reach the disk (fdatasync) at most a second after a change, and at once
// after a large one, from a thread of their own: the window never waits for
// the disk. A journal that outlives its program (a crash, a power cut) is
// read back with readJournal and replayed onto the same file.
class JournalWriter : public RxMem::Recorder {
public:
    // Creates the journal, its header written and on the disk. IoError when
    // it cannot be made.
    JournalWriter(const QString& path, const JournalHeader& header);
    ~JournalWriter() override; // closes the file; the journal stays
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    void recorded(const HistoryStep& step, const RxMem& table) override;
    void undone() override;
    void redone() override;

    const QString& path() const { return path_; }
    // Everything written so far is on the disk when this returns.
    void sync();
    // Closes and deletes the journal: the changes were written to the file,
    // or the user gave them up.
    void remove();
    // A write failed (a full disk): the journal stops, and says why once.
    const QString& failure() const { return failure_; }

private:
    void append(JournalEntry::Type type, const std::vector<std::byte>& payload, bool large);
    void flushLoop();

    QString path_;
    int fd_ = -1;
    QString failure_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool dirty_ = false, urgent_ = false, stop_ = false;
    std::thread flusher_;
};

struct JournalReading {
    JournalHeader header;
    std::vector<JournalEntry> entries;
    // The last entry was cut short (the power went in the middle of a
    // write, or its checksum is wrong): it and what follows are dropped.
    bool torn = false;
    int linesTouched = 0; // distinct lines the steps changed, added or deleted
};

// Reads a journal. IoError, in Spanish, when the file is no journal.
JournalReading readJournal(const QString& path);

// Makes the journal's changes again on a table holding the lines of the
// journal's file as loaded, in order, undo and redo included: the table is
// left as it was when the journal was last written, unsaved, with its
// history. TableError when an entry does not fit the table.
void replayJournal(const JournalReading& journal, RxMem& table);

} // namespace solvanta

#include "Document.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include "engine/util/Errors.h"

#include <optional>

namespace solvanta {

Document::Document(CodeTableFile codes)
    : codes_(std::move(codes)), checker_(std::make_unique<LineChecker>(codes_)) {
    table_.open();
    table_.setRecorder(this);
}

Document::~Document() {
    table_.setRecorder(nullptr);
    // Undone back to the file as it was: nothing to recover. Otherwise the
    // journal stays for the next start (the window asks before it closes
    // with changes, and gives them up with discardChanges()).
    if (journal_ && !table_.hasUnsavedChanges()) endJournal();
}

LoadReport Document::load(const QString& path, FileForm form, Progress* progress,
                          const LoadOptions& options) {
    return loadWith(path, form, [&](RxMem& table) {
        return loadDeclaration(path, form, table, progress, options);
    });
}

LoadReport Document::loadWith(const QString& path, FileForm form,
                              const std::function<LoadReport(RxMem&)>& read, bool sheet) {
    endJournal();
    LoadReport report = read(table_);
    path_ = path;
    form_ = form;
    sheet_ = sheet;
    identity_ = FileIdentity::of(path);
    holdFile();
    return report;
}

void Document::write(const QString& path, FileForm form, Progress* progress) {
    // Writing walks every line; the line that was current stays current.
    struct KeepCurrent {
        RxMem& table;
        std::optional<RxMem::Bookmark> line =
            table.isEmpty() ? std::nullopt : std::optional(table.bookmark());
        ~KeepCurrent() {
            try {
                if (line) table.gotoBookmark(*line);
            } catch (const Error&) {
                // the line is gone: the cursor stays where the writer left it
            }
        }
    } keep{table_};
    writeDeclaration(path, form, table_, progress);
    table_.markSaved();
    path_ = path;
    form_ = form;
    sheet_ = false;
    identity_ = FileIdentity::of(path);
    holdFile();
    // Written: nothing is left to recover.
    endJournal();
}

void Document::holdFile() {
    fileLock_.reset();
    openElsewhere_ = 0;
    const QString folder = journalFolder_.isEmpty() ? defaultJournalFolder() : journalFolder_;
    if (!QDir().mkpath(folder)) return;
    const QString name = QFileInfo(path_).absoluteFilePath();
    auto lock = std::make_unique<QLockFile>(
        folder + u'/' + QString::number(qHash(name), 16) + QStringLiteral(".abierto.lock"));
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        fileLock_ = std::move(lock);
        return;
    }
    qint64 pid = 0;
    QString host, app;
    if (lock->getLockInfo(&pid, &host, &app)) openElsewhere_ = pid;
}

QString Document::defaultJournalFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recuperacion");
}

void Document::discardChanges() {
    endJournal();
}

void Document::closeFile() {
    endJournal();
    fileLock_.reset();
    openElsewhere_ = 0;
}

bool Document::changedOnDisk() const {
    if (path_.isEmpty() || identity_.size < 0) return false;
    const QFileInfo now(path_);
    if (!now.exists()) return false;
    if (now.size() != identity_.size ||
        now.lastModified().toMSecsSinceEpoch() != identity_.modified)
        return true;
    return !FileIdentity::of(path_).sameBytes(identity_);
}

void Document::recover(const JournalReading& journal, const QString& journalPath) {
    if (!journal.header.file.sameBytes(identity_))
        throw IoError(QStringLiteral("«%1» cambió después de las correcciones sin grabar: no se "
                                     "pueden aplicar sobre él. El registro de correcciones se "
                                     "conserva.")
                          .arg(QFileInfo(path_).fileName()));
    replayJournal(journal, table_);
    QFile::remove(journalPath);
    QFile::remove(journalPath + QStringLiteral(".lock"));
}

JournalWriter* Document::journal() {
    if (journal_ || journalFailed_) return journal_.get();
    const QString folder = journalFolder_.isEmpty() ? defaultJournalFolder() : journalFolder_;
    try {
        if (!QDir().mkpath(folder))
            throw IoError(QStringLiteral("No se pudo crear la carpeta «%1».").arg(folder));
        // One journal per open document: the file's name, this process and
        // a number.
        const QString stem =
            QStringLiteral("%1-%2-%3")
                .arg(QString::number(qHash(identity_.path.isEmpty() ? path_ : identity_.path), 16))
                .arg(QCoreApplication::applicationPid())
                .arg(reinterpret_cast<quintptr>(this), 0, 16);
        const QString path = folder + u'/' + stem + QStringLiteral(".jrn");
        journalLock_ = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
        journalLock_->setStaleLockTime(0);
        if (!journalLock_->tryLock(0)) throw IoError(QStringLiteral("El registro está tomado."));
        JournalHeader header;
        header.file = identity_;
        if (header.file.path.isEmpty()) header.file.path = QFileInfo(path_).absoluteFilePath();
        header.form = form_;
        header.sheet = sheet_;
        header.processId = QCoreApplication::applicationPid();
        header.started = QDateTime::currentDateTime();
        journal_ = std::make_unique<JournalWriter>(path, header);
    } catch (const Error&) {
        // Without a journal the work goes on, as it did before journals.
        journalFailed_ = true;
        journalLock_.reset();
    }
    return journal_.get();
}

void Document::endJournal() {
    if (journal_) journal_->remove();
    journal_.reset();
    journalLock_.reset();
    journalFailed_ = false;
}

void Document::recorded(const HistoryStep& step, const RxMem& table) {
    if (JournalWriter* j = journal()) j->recorded(step, table);
}

void Document::undone() {
    if (JournalWriter* j = journal()) j->undone();
}

void Document::redone() {
    if (JournalWriter* j = journal()) j->redone();
}

void Document::reloadCodeLists() {
    checker_ = std::make_unique<LineChecker>(codes_);
}

} // namespace solvanta

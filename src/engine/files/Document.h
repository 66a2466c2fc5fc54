#pragma once

#include "engine/codes/CodeTableFile.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/Journal.h"
#include "engine/files/LineChecks.h"
#include "engine/files/ProblemStore.h"
#include "engine/model/RxMem.h"

#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

namespace solvanta {

class Progress;

// An open declaration file: its lines (with their history of changes), the
// line checks and the problems they found, and the file's name and form.
// It outlives the windows that show it; they are handed it when they are
// made and reach nothing else of it.
class Document : private RxMem::Recorder {
public:
    // The line checks take their code lists from `codes`.
    explicit Document(CodeTableFile codes = {});
    ~Document() override;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    RxMem& table() { return table_; }
    const RxMem& table() const { return table_; }
    ProblemStore& problems() { return problems_; }
    const LineChecker& checker() const { return *checker_; }
    const CodeTableFile& codes() const { return codes_; }

    // The file the lines came from or were last written to, and its form;
    // empty before a load.
    const QString& path() const { return path_; }
    FileForm form() const { return form_; }

    // Reads the file in place of the lines held, which it becomes. Throws as
    // loadDeclaration does, leaving the table empty and the name unchanged.
    // The problems are not checked here: that is a step of its own, which
    // the user may follow and cancel.
    LoadReport load(const QString& path, FileForm form, Progress* progress = nullptr,
                    const LoadOptions& options = {});
    // The same with another reader of lines (a spreadsheet's): `read` fills
    // the table; the file becomes the document's, to be written in `form`.
    LoadReport loadWith(const QString& path, FileForm form,
                        const std::function<LoadReport(RxMem&)>& read, bool sheet = false);
    // The lines came from a spreadsheet (until a file is written).
    bool isSheet() const { return sheet_; }
    // Writes every line to the file in that form; the file written becomes
    // the document's file and the reference of what changed. The current
    // line stays current.
    void write(const QString& path, FileForm form, Progress* progress = nullptr);

    // Reads the code lists again, as the code-table file has them now.
    void reloadCodeLists();

    bool hasUnsavedChanges() const { return table_.hasUnsavedChanges(); }

    // ---- the journal of changes -------------------------------------------
    // Every change is kept, as it is made, in a journal of this document's
    // own in `folder` (the user's data folder by default), held by a lock
    // while the document lives: a crash or a power cut loses nothing. The
    // journal begins with the first change and ends when the lines are
    // written, or given up with discardChanges().
    void setJournalFolder(const QString& folder) { journalFolder_ = folder; }
    static QString defaultJournalFolder();
    QString journalPath() const { return journal_ ? journal_->path() : QString(); }
    // The user gave up the changes (closing without writing): the journal goes.
    void discardChanges();
    // The window that showed the file closed: the changes are given up and
    // other windows no longer hear that the file is open here.
    void closeFile();
    // Another window or program that has the same file open (its process
    // number), as it tells by a lock it holds while the file is open; 0
    // when none does.
    qint64 openElsewhere() const { return openElsewhere_; }
    // What the loaded (or last written) file was when it was read.
    const FileIdentity& identity() const { return identity_; }
    // The file on disk is no longer what was loaded or written: another
    // program (or another window) changed it since.
    bool changedOnDisk() const;
    // Makes a journal's changes again on the lines just loaded from its
    // file, which must be the same bytes (IoError otherwise, saying so);
    // then the old journal goes, the changes being in this one's.
    void recover(const JournalReading& journal, const QString& journalPath);

private:
    void recorded(const HistoryStep& step, const RxMem& table) override;
    void undone() override;
    void redone() override;
    JournalWriter* journal(); // made with the first change
    void endJournal();
    void holdFile(); // the lock that tells other windows the file is open here

    CodeTableFile codes_;
    RxMem table_;
    std::unique_ptr<LineChecker> checker_;
    ProblemStore problems_{table_};
    QString path_;
    FileForm form_ = FileForm::Position;
    bool sheet_ = false;
    FileIdentity identity_;
    QString journalFolder_;
    std::unique_ptr<JournalWriter> journal_;
    std::unique_ptr<QLockFile> journalLock_;
    std::unique_ptr<QLockFile> fileLock_;
    qint64 openElsewhere_ = 0;
    bool journalFailed_ = false;
};

} // namespace solvanta

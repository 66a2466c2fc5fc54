#pragma once

#include "History.h"
#include "Record.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace solvanta {

// The declaration table: every line of the open file, in file order, with a
// cursor and the browse, insert and edit states of a classic in-memory table.
//
// Moving the cursor (first, next, prior, last, moveTo, locate, gotoBookmark)
// or starting another insert while a line is being inserted or edited stores
// that line when something was assigned to it, and drops it otherwise.
// Bookmarks stay valid while other lines are inserted or deleted.
class RxMem {
public:
    enum class State { Inactive, Browse, Edit, Insert };

    struct Bookmark {
        std::uint32_t slot = UINT32_MAX;
        bool isNull() const { return slot == UINT32_MAX; }
        bool operator==(const Bookmark&) const = default;
    };

    // Told about every change of the sequence of lines, so a view can follow.
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void aboutToInsert(int row) = 0;
        virtual void inserted(int row) = 0;
        virtual void aboutToRemove(int row) = 0;
        virtual void removed(int row) = 0;
        virtual void changed(int row) = 0;
        // Lines first to last changed in place, told once for all of them.
        virtual void changedRows(int first, int last) = 0;
        virtual void aboutToReset() = 0;
        virtual void reset() = 0;
    };

    // Told about every change the history records, as it is recorded, and
    // about every undo and redo: a journal that survives a crash.
    class Recorder {
    public:
        virtual ~Recorder() = default;
        virtual void recorded(const HistoryStep& step, const RxMem& table) = 0;
        virtual void undone() = 0;
        virtual void redone() = 0;
    };

    RxMem();
    ~RxMem();
    RxMem(const RxMem&) = delete;
    RxMem& operator=(const RxMem&) = delete;

    void open();  // empty, with the 105 fields
    void close(); // discards every line
    bool isActive() const { return state_ != State::Inactive; }
    State state() const { return state_; }
    bool isModified() const { return modified_; }
    // Goes up with every change of the lines (undo and redo included): a
    // window compares it to know whether lines changed since it last looked.
    std::uint64_t changeCount() const { return changes_; }
    void setObserver(Observer* observer) { observer_ = observer; }
    void setRecorder(Recorder* recorder) { recorder_ = recorder; }

    int recordCount() const { return static_cast<int>(order_.size()); }
    bool isEmpty() const { return order_.empty(); }
    int recNo() const { return cur_ + 1; } // 1-based; 0 when empty
    int row() const { return cur_; }       // 0-based; -1 when empty
    bool eof() const { return eof_; }

    void first();
    void next();
    void prior();
    void last();
    void moveTo(int row);

    void append(); // empty line after the last one; insert state
    void insert(); // empty line before the current one; insert state
    void edit();   // edit state (insert state on an empty table)
    void post();   // stores the line being inserted or edited
    void cancel(); // drops the inserted line, or undoes the edits
    void deleteRecord();
    // Deletes every line of the list in one pass, whatever their order; lines
    // already gone are skipped. A pending line among them goes with its edits
    // abandoned (a new one just disappears); a pending line not among them is
    // stored or dropped first, as a cursor move would. The line that followed
    // the last deleted one becomes current. Returns how many lines were
    // deleted.
    int deleteRecords(const std::vector<Bookmark>& lines);

    // Gives one field the same value on every listed line (every line of the
    // table when `all` is set), as setText would, storing each line. All
    // lines or none: a value the field cannot take throws ConversionError,
    // naming the first line, before anything is written. The cursor does
    // not move; the observer hears once. Returns how many lines changed.
    int assign(const std::vector<Bookmark>& lines, int field, QStringView text);
    int assignAll(int field, QStringView text);

    // Gives each listed cell its own value, as setText would, storing each
    // line: a replacement over many cells, a pasted block. All or none: a
    // value a field cannot take throws ConversionError, naming its line
    // ("Línea 12: ..."), before anything is written. Cells whose value stays
    // the same are left alone; an empty text empties a number cell. One undo
    // step; the cursor does not move; the observer hears once. Returns how
    // many cells changed.
    struct CellValue {
        Bookmark line;
        int field = -1;
        QString text;
    };
    int setCells(const std::vector<CellValue>& cells);

    // ---- undo and redo ------------------------------------------------------
    // Every change is one step: a line stored in place, a new line stored, a
    // deletion (of one line or many), one field given to many lines. Undo
    // first stores or drops a pending line, as a cursor move would, then
    // takes back the last step; redo repeats the last undone one. A new
    // change drops the undone steps. The first line a step touched becomes
    // current.
    struct Replayed {
        bool done = false;              // false: there was nothing to undo or redo
        int first = -1, last = -1;      // rows touched; where the lines were, when removed
        std::vector<Bookmark> restored; // lines that came back
    };
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    Replayed undo();
    Replayed redo();
    std::size_t historyBytes() const { return history_.bytes(); }
    // A change read back from a journal, made again as it was first made: it
    // becomes the next step of the history (undo takes it back). `line` is
    // the new line's bytes for an insert; its lines are known by their
    // places in this table. Returns the new line's place for an insert.
    std::uint32_t applyRecorded(HistoryStep step, const std::vector<std::byte>& line);
    // Whether a line's place (a slot) holds a line, shown or deleted.
    bool hasSlot(std::uint32_t slot) const { return slot < slotCount_; }
    std::size_t lineBytes() const { return recSize_; }
    std::size_t changeMarkBytes() const { return marks_.bytes(); }
    std::size_t storageBytes() const; // the lines and their order

    // The present lines are the saved ones (just loaded or written): the
    // reference for the unsaved state and for the change marks.
    void markSaved();
    // Lines differ from the saved ones, or a pending line was changed. Undoing
    // back to the saved state counts as no change.
    bool hasUnsavedChanges() const;
    // The cell's value differs from the saved one (every cell of an added line).
    bool cellChanged(int row, int field) const;
    bool lineChanged(int row) const;
    struct ChangeSummary {
        int changed = 0; // saved lines with a different value somewhere
        int added = 0;
        int deleted = 0;
    };
    ChangeSummary changesSinceSaved() const;

    // Changes made while a Group lives are one change for undo and redo: a
    // paste that adds lines and fills cells goes back in one Ctrl+Z.
    class Group {
    public:
        explicit Group(RxMem& table) : table_(table) {
            if (table_.grouping_++ == 0) table_.groupHasStep_ = false;
        }
        ~Group() { --table_.grouping_; }
        Group(const Group&) = delete;
        Group& operator=(const Group&) = delete;

    private:
        RxMem& table_;
    };

    // Lines added while a Fill lives are the table's starting content: they
    // make no undo steps, and at its end they are the saved state.
    class Fill {
    public:
        explicit Fill(RxMem& table) : table_(table) { table_.recording_ = false; }
        ~Fill();
        Fill(const Fill&) = delete;
        Fill& operator=(const Fill&) = delete;

    private:
        RxMem& table_;
    };

    // ---- notes on cells ------------------------------------------------------
    // A note on one cell of one line that the checks of the line cannot
    // find again, such as what the loader had to put in place of a value it
    // could not read. It stands while the cell holds the value it held when
    // the note was made (an undo back to that value brings it back).
    struct CellNote {
        int field;
        QString problem;
    };
    void noteCell(Bookmark line, int field, const QString& problem);
    // The notes of the line that still stand, in field order.
    std::vector<CellNote> notesOf(Bookmark line) const;
    bool hasNotes() const { return !notes_.empty(); }

    // Field of that name, letter case ignored; FieldError names an unknown one.
    static int fieldByName(QStringView name);

    // Field access on the current line. Assignments need the insert or edit
    // state; a refused conversion throws ConversionError and leaves the field.
    // A text field refuses a text whose kept part holds a character the code
    // page cannot hold, rather than keep a "?" in its place.
    QString asText(int field) const;
    void setText(int field, QStringView text);
    // As setText, but an empty text empties a number field (a cell the user
    // emptied), as setCells does.
    void setTextOrClear(int field, QStringView text);
    // Throws the ConversionError setTextOrClear would throw for `text`,
    // touching nothing: a value checked before lines are added for it.
    static void checkValue(int field, QStringView text);
    double asNumber(int field) const;
    void setNumber(int field, double value);
    QVariant value(int field) const;
    void setValue(int field, const QVariant& value);
    bool isNull(int field) const;
    void clear(int field);

    // Moves to the first line whose field equals the value; false (and the
    // cursor where it was) when there is none.
    bool locate(int field, const QVariant& value);

    Bookmark bookmark() const;
    Bookmark bookmarkAt(int row) const { return Bookmark{order_[std::size_t(row)]}; }
    void gotoBookmark(Bookmark bookmark); // TableError when the line is gone
    int rowOf(Bookmark bookmark) const;   // -1 when the line is gone

    // Any line, without moving the cursor.
    RecordView recordAt(int row) const { return RecordView(slotData(order_[std::size_t(row)])); }
    QString textAt(int row, int field) const { return recordAt(row).text(field); }
    RecordView current() const;

    // The line being inserted or edited, for bulk fills; marks it modified.
    RecordRef pending();

private:
    std::byte* slotData(std::uint32_t slot) const;
    std::uint32_t newSlot();
    void checkActive() const;
    void checkCurrent() const;
    RecordRef writable(int field);
    void settle();     // store or drop a pending line before the cursor moves
    void dropInsert(); // removes the line being inserted
    void removeAt(int row);
    void insertAt(int row);
    void placeSlot(int row, std::uint32_t slot);
    // Removes the lines of these rows (ascending), telling the observer once
    // when there are many; the line after the last becomes current.
    void removeRows(const std::vector<int>& rows);
    void restoreRows(const HistoryStep& step, Replayed& r);
    Replayed replay(HistoryStep& step, bool forward);
    void record(HistoryStep step);
    int assignRows(std::vector<int> rows, int field, QStringView text);
    // A value converted for its field, ready to be put on lines.
    struct FieldValue {
        std::string bytes;      // Text
        double number = 0;      // Number
        std::int32_t whole = 0; // Integer
        bool empty = false;     // a number field left without a value
    };
    // Throws ConversionError; an empty text empties a number field when
    // `emptyClears`, and is refused otherwise (one value for many lines).
    static FieldValue convert(int field, QStringView text, bool emptyClears);
    static void put(RecordRef& line, int field, const FieldValue& value);
    [[noreturn]] static void conversionError(int field, QStringView text, bool whole);
    // The text's bytes for a text field; ConversionError when what the field
    // keeps holds a character the code page cannot hold.
    static std::string textBytes(int field, QStringView text);

    std::size_t recSize_;
    std::vector<std::unique_ptr<std::byte[]>> chunks_;
    std::uint32_t slotCount_ = 0;
    std::vector<std::uint32_t> order_;          // slots in line order
    mutable std::vector<std::int32_t> slotRow_; // row of each slot; -1 when deleted
    mutable int rowsKnown_ = 0;                 // slotRow_ is exact for rows below this
    int cur_ = -1;
    bool eof_ = true;
    State state_ = State::Inactive;
    bool modified_ = false;
    std::uint64_t changes_ = 0;
    std::vector<std::byte> backup_; // the line as it was before edit()
    History history_;
    ChangeMarks marks_;
    bool recording_ = true;
    int grouping_ = 0;          // Groups alive
    bool groupHasStep_ = false; // the outermost one recorded a step already
    Observer* observer_ = nullptr;
    Recorder* recorder_ = nullptr;
    struct StoredNote {
        int field;
        QString problem;
        std::string held; // the cell's text form when noted
    };
    std::unordered_map<std::uint32_t, std::vector<StoredNote>> notes_; // by slot
};

} // namespace solvanta

#include "RxMem.h"

#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace solvanta {
namespace {

constexpr unsigned kChunkShift = 10; // 1024 lines per block of storage
constexpr std::uint32_t kChunkMask = (1u << kChunkShift) - 1;

} // namespace

RxMem::RxMem() : recSize_(recordLayout().size) {}

RxMem::~RxMem() = default;

void RxMem::open() {
    close();
    state_ = State::Browse;
}

void RxMem::close() {
    if (observer_) observer_->aboutToReset();
    chunks_.clear();
    slotCount_ = 0;
    order_.clear();
    order_.shrink_to_fit();
    slotRow_.clear();
    slotRow_.shrink_to_fit();
    rowsKnown_ = 0;
    cur_ = -1;
    eof_ = true;
    state_ = State::Inactive;
    modified_ = false;
    history_.clear();
    marks_.clear();
    notes_.clear();
    if (observer_) observer_->reset();
}

std::byte* RxMem::slotData(std::uint32_t slot) const {
    return chunks_[slot >> kChunkShift].get() + (slot & kChunkMask) * recSize_;
}

std::uint32_t RxMem::newSlot() {
    if ((slotCount_ & kChunkMask) == 0)
        chunks_.emplace_back(new std::byte[recSize_ << kChunkShift]());
    slotRow_.push_back(INT32_MAX); // row not known yet
    marks_.addSlot();
    return slotCount_++;
}

void RxMem::checkActive() const {
    if (state_ == State::Inactive) throw TableError(QStringLiteral("La tabla no está abierta."));
}

void RxMem::checkCurrent() const {
    checkActive();
    if (cur_ < 0) throw TableError(QStringLiteral("No hay ninguna línea."));
}

RecordView RxMem::current() const {
    checkCurrent();
    return recordAt(cur_);
}

RecordRef RxMem::pending() {
    if (state_ != State::Edit && state_ != State::Insert)
        throw TableError(QStringLiteral("La línea no está en edición."));
    modified_ = true;
    return RecordRef(slotData(order_[std::size_t(cur_)]));
}

RecordRef RxMem::writable(int field) {
    if (field < 0 || field >= kFieldCount) throw FieldError(QStringLiteral("Campo inexistente."));
    return pending();
}

// ---- sequence ------------------------------------------------------------

void RxMem::insertAt(int row) {
    const std::uint32_t slot = newSlot();
    state_ = State::Insert;
    modified_ = false;
    placeSlot(row, slot);
}

void RxMem::placeSlot(int row, std::uint32_t slot) {
    if (observer_) observer_->aboutToInsert(row);
    order_.insert(order_.begin() + row, slot);
    if (row == rowsKnown_ && row + 1 == recordCount()) {
        slotRow_[slot] = row;
        ++rowsKnown_;
    } else {
        slotRow_[slot] = INT32_MAX; // a line that comes back was marked deleted
        rowsKnown_ = std::min(rowsKnown_, row);
    }
    cur_ = row;
    eof_ = false;
    if (observer_) observer_->inserted(row);
}

void RxMem::removeAt(int row) {
    if (observer_) observer_->aboutToRemove(row);
    slotRow_[order_[std::size_t(row)]] = -1;
    order_.erase(order_.begin() + row);
    rowsKnown_ = std::min(rowsKnown_, row);
    if (order_.empty()) {
        cur_ = -1;
        eof_ = true;
    } else {
        cur_ = std::min(row, recordCount() - 1);
    }
    if (observer_) observer_->removed(row);
}

void RxMem::dropInsert() {
    state_ = State::Browse;
    modified_ = false;
    removeAt(cur_);
}

void RxMem::settle() {
    if (state_ == State::Edit || state_ == State::Insert) {
        if (modified_)
            post();
        else
            cancel();
    }
}

// ---- cursor --------------------------------------------------------------

void RxMem::first() {
    checkActive();
    settle();
    cur_ = order_.empty() ? -1 : 0;
    eof_ = order_.empty();
}

void RxMem::next() {
    checkActive();
    settle();
    if (cur_ + 1 < recordCount())
        ++cur_;
    else
        eof_ = true;
}

void RxMem::prior() {
    checkActive();
    settle();
    if (cur_ > 0) --cur_;
    eof_ = order_.empty();
}

void RxMem::last() {
    checkActive();
    settle();
    cur_ = recordCount() - 1;
    eof_ = order_.empty();
}

void RxMem::moveTo(int row) {
    checkActive();
    settle();
    if (order_.empty()) return;
    cur_ = std::clamp(row, 0, recordCount() - 1);
    eof_ = false;
}

// ---- states --------------------------------------------------------------

void RxMem::append() {
    checkActive();
    settle();
    insertAt(recordCount());
}

void RxMem::insert() {
    checkActive();
    settle();
    insertAt(std::max(cur_, 0));
}

void RxMem::edit() {
    checkActive();
    if (state_ == State::Edit || state_ == State::Insert) return;
    if (order_.empty()) {
        insert();
        return;
    }
    const std::byte* data = slotData(order_[std::size_t(cur_)]);
    backup_.assign(data, data + recSize_);
    state_ = State::Edit;
    modified_ = false;
}

void RxMem::post() {
    if (state_ != State::Edit && state_ != State::Insert) return;
    const std::uint32_t slot = order_[std::size_t(cur_)];
    if (state_ == State::Insert) {
        if (recording_) { // a load's lines make no step, and cost none
            HistoryStep step;
            step.kind = HistoryStep::Kind::Insert;
            step.lineSlots = {slot};
            step.rows = {cur_};
            record(std::move(step));
        }
        ++changes_;
    } else if (modified_) {
        const std::byte* now = slotData(slot);
        bool same = true;
        for (int f = 0; f < kFieldCount && same; ++f)
            same = sameFieldValue(backup_.data(), now, f);
        if (!same) {
            marks_.noteOldLine(slot, backup_.data(), now);
            HistoryStep step;
            step.kind = HistoryStep::Kind::Line;
            step.lineSlots = {slot};
            step.before = backup_;
            step.after.assign(now, now + recSize_);
            record(std::move(step));
            ++changes_;
        }
    }
    state_ = State::Browse;
    modified_ = false;
    if (observer_) observer_->changed(cur_);
}

void RxMem::cancel() {
    if (state_ == State::Insert) {
        dropInsert();
    } else if (state_ == State::Edit) {
        std::memcpy(slotData(order_[std::size_t(cur_)]), backup_.data(), recSize_);
        state_ = State::Browse;
        modified_ = false;
        if (observer_) observer_->changed(cur_);
    }
}

void RxMem::deleteRecord() {
    checkActive();
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    cancel();
    checkCurrent();
    deleteRecords({bookmark()});
}

int RxMem::deleteRecords(const std::vector<Bookmark>& lines) {
    checkActive();
    // A pending line that is itself deleted goes as it was: its edits are
    // abandoned, a new line simply disappears. Any other is stored or
    // dropped as a cursor move would.
    if (std::find(lines.begin(), lines.end(), bookmark()) != lines.end())
        cancel();
    else
        settle();
    std::vector<int> rows;
    rows.reserve(lines.size());
    for (const Bookmark& b : lines)
        if (const int r = rowOf(b); r >= 0) rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty()) return 0;
    HistoryStep step;
    step.kind = HistoryStep::Kind::Delete;
    step.rows.assign(rows.begin(), rows.end());
    step.lineSlots.reserve(rows.size());
    for (const int r : rows)
        step.lineSlots.push_back(order_[std::size_t(r)]);
    removeRows(rows);
    record(std::move(step));
    ++changes_;
    return int(rows.size());
}

void RxMem::removeRows(const std::vector<int>& rows) {
    if (rows.size() == 1) {
        removeAt(rows.front());
        return;
    }
    // Many lines: compact the line order in one pass and tell the observer
    // once, instead of line by line.
    if (observer_) observer_->aboutToReset();
    std::size_t next = 0, kept = std::size_t(rows.front());
    for (std::size_t i = std::size_t(rows.front()); i < order_.size(); ++i) {
        if (next < rows.size() && std::size_t(rows[next]) == i) {
            slotRow_[order_[i]] = -1;
            ++next;
        } else {
            order_[kept++] = order_[i];
        }
    }
    order_.resize(kept);
    rowsKnown_ = std::min(rowsKnown_, rows.front());
    if (order_.empty()) {
        cur_ = -1;
        eof_ = true;
    } else {
        cur_ = std::min(rows.back() + 1 - int(rows.size()), recordCount() - 1);
    }
    if (observer_) observer_->reset();
}

void RxMem::restoreRows(const HistoryStep& step, Replayed& r) {
    const std::vector<std::int32_t>& rows = step.rows;
    if (rows.size() == 1) {
        placeSlot(rows.front(), step.lineSlots.front());
    } else {
        if (observer_) observer_->aboutToReset();
        std::vector<std::uint32_t> merged;
        merged.reserve(order_.size() + rows.size());
        std::size_t old = 0, back = 0;
        while (old < order_.size() || back < rows.size()) {
            if (back < rows.size() && std::size_t(rows[back]) == merged.size())
                merged.push_back(step.lineSlots[back++]);
            else
                merged.push_back(order_[old++]);
        }
        order_ = std::move(merged);
        for (const std::uint32_t slot : step.lineSlots)
            slotRow_[slot] = INT32_MAX;
        rowsKnown_ = std::min(rowsKnown_, rows.front());
        cur_ = rows.front();
        eof_ = false;
        if (observer_) observer_->reset();
    }
    r.first = rows.front();
    r.last = rows.back();
    for (const std::uint32_t slot : step.lineSlots)
        r.restored.push_back(Bookmark{slot});
}

int RxMem::assign(const std::vector<Bookmark>& lines, int field, QStringView text) {
    checkActive();
    settle();
    std::vector<int> rows;
    rows.reserve(lines.size());
    for (const Bookmark& b : lines)
        if (const int r = rowOf(b); r >= 0) rows.push_back(r);
    return assignRows(std::move(rows), field, text);
}

int RxMem::assignAll(int field, QStringView text) {
    checkActive();
    settle();
    std::vector<int> rows(order_.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = int(i);
    return assignRows(std::move(rows), field, text);
}

int RxMem::assignRows(std::vector<int> rows, int field, QStringView text) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty()) return 0;
    // The value is the same for every line: convert it once, so that a value
    // the field refuses stops the work before the first line is touched.
    const FieldValue value = [&] {
        try {
            return convert(field, text, false);
        } catch (const ConversionError& e) {
            throw ConversionError(
                QStringLiteral("Línea %1: %2").arg(rows.front() + 1).arg(e.message()));
        }
    }();
    HistoryStep step;
    step.kind = HistoryStep::Kind::Field;
    step.field = field;
    const std::size_t imageSize = fieldImageSize(field);
    if (recording_) {
        step.lineSlots.reserve(rows.size());
        step.before.resize(rows.size() * imageSize);
    }
    std::size_t i = 0;
    for (const int r : rows) {
        const std::uint32_t slot = order_[std::size_t(r)];
        std::byte* data = slotData(slot);
        marks_.noteOld(slot, field, data);
        if (recording_) {
            step.lineSlots.push_back(slot);
            copyFieldImage(data, field, step.before.data() + i++ * imageSize);
        }
        RecordRef line(data);
        put(line, field, value);
    }
    step.after.resize(imageSize);
    copyFieldImage(slotData(order_[std::size_t(rows.front())]), field, step.after.data());
    record(std::move(step));
    ++changes_;
    if (observer_) observer_->changedRows(rows.front(), rows.back());
    return int(rows.size());
}

RxMem::FieldValue RxMem::convert(int field, QStringView text, bool emptyClears) {
    FieldValue v;
    const Kind kind = kFields[std::size_t(field)].kind;
    if (emptyClears && kind != Kind::Text && text.trimmed().isEmpty()) {
        v.empty = true; // an emptied number cell holds no value
        return v;
    }
    switch (kind) {
    case Kind::Text:
        v.bytes = textBytes(field, text);
        break;
    case Kind::Number:
        if (const auto n = numtext::parseDecimal(text))
            v.number = *n;
        else
            conversionError(field, text, false);
        break;
    case Kind::Integer:
        if (const auto n = numtext::parseWhole(text))
            v.whole = *n;
        else
            conversionError(field, text, true);
        break;
    }
    return v;
}

void RxMem::put(RecordRef& line, int field, const FieldValue& value) {
    if (value.empty) {
        line.clear(field);
        return;
    }
    switch (kFields[std::size_t(field)].kind) {
    case Kind::Text:
        line.setTextBytes(field, value.bytes);
        break;
    case Kind::Number:
        line.setNumber(field, value.number);
        break;
    case Kind::Integer:
        line.setInteger(field, value.whole);
        break;
    }
}

int RxMem::setCells(const std::vector<CellValue>& cells) {
    checkActive();
    settle();
    // Every value converted, and every line found, before the first cell is
    // touched.
    struct Planned {
        std::uint32_t slot;
        int row;
        int field;
        FieldValue value;
    };
    std::vector<Planned> plan;
    plan.reserve(cells.size());
    for (const CellValue& c : cells) {
        const int row = rowOf(c.line);
        if (row < 0) throw TableError(QStringLiteral("La línea marcada ya no existe."));
        try {
            plan.push_back({c.line.slot, row, c.field, convert(c.field, c.text, true)});
        } catch (const ConversionError& e) {
            throw ConversionError(QStringLiteral("Línea %1: %2").arg(row + 1).arg(e.message()));
        }
    }
    HistoryStep step;
    step.kind = HistoryStep::Kind::Cells;
    int first = INT_MAX, last = -1, changed = 0;
    std::vector<std::byte> before, after, line(recSize_);
    for (const Planned& p : plan) {
        std::byte* data = slotData(p.slot);
        const std::size_t size = fieldImageSize(p.field);
        before.resize(size);
        after.resize(size);
        copyFieldImage(data, p.field, before.data());
        // The new value is put on a copy of the line first, so that a value
        // that leaves the cell as it was touches nothing.
        std::memcpy(line.data(), data, recSize_);
        RecordRef scratch(line.data());
        put(scratch, p.field, p.value);
        copyFieldImage(line.data(), p.field, after.data());
        if (fieldHasImage(data, p.field, after.data())) continue;
        ++changed;
        marks_.noteOld(p.slot, p.field, data);
        putFieldImage(data, p.field, after.data());
        if (recording_) {
            step.lineSlots.push_back(p.slot);
            step.fields.push_back(std::int16_t(p.field));
            step.before.insert(step.before.end(), before.begin(), before.end());
            step.after.insert(step.after.end(), after.begin(), after.end());
        }
        first = std::min(first, p.row);
        last = std::max(last, p.row);
    }
    if (changed == 0) return 0;
    record(std::move(step));
    ++changes_;
    if (observer_) observer_->changedRows(first, last);
    return changed;
}

// ---- fields --------------------------------------------------------------

int RxMem::fieldByName(QStringView name) {
    const int i = findField(name);
    if (i < 0)
        throw FieldError(
            QStringLiteral("La línea de declaración no tiene el campo «%1».").arg(name.toString()));
    return i;
}

std::string RxMem::textBytes(int field, QStringView text) {
    bool lossy = false;
    std::string bytes = cp1252::encode(text, lossy);
    // What the field keeps must be what was given: a character the code
    // page cannot hold would become "?" without anyone noticing.
    if (lossy) {
        const QString problem =
            cp1252::unencodableProblem(text.left(kFields[std::size_t(field)].size));
        if (!problem.isEmpty())
            throw ConversionError(QStringLiteral("%1: %2").arg(fieldTitle(field), problem));
    }
    return bytes;
}

void RxMem::conversionError(int field, QStringView text, bool whole) {
    throw ConversionError(
        QStringLiteral("«%1» no es un número%2 válido para el campo %3.")
            .arg(excerpt(text), whole ? QStringLiteral(" entero") : QString(), fieldTitle(field)));
}

QString RxMem::asText(int field) const {
    return current().text(field);
}

void RxMem::setText(int field, QStringView text) {
    // Converted before the line is touched: a refused value leaves it as it was.
    const FieldValue value = convert(field, text, false);
    RecordRef line = writable(field);
    put(line, field, value);
}

void RxMem::setTextOrClear(int field, QStringView text) {
    const FieldValue value = convert(field, text, true);
    RecordRef line = writable(field);
    put(line, field, value);
}

void RxMem::checkValue(int field, QStringView text) {
    convert(field, text, true);
}

double RxMem::asNumber(int field) const {
    const RecordView r = current();
    switch (kFields[field].kind) {
    case Kind::Number:
        return r.number(field);
    case Kind::Integer:
        return r.integer(field);
    case Kind::Text: {
        const QString t = r.text(field);
        const auto v = numtext::parseDecimal(t);
        if (!v) conversionError(field, t, false);
        return *v;
    }
    }
    return 0;
}

void RxMem::setNumber(int field, double value) {
    switch (kFields[field].kind) {
    case Kind::Number:
        writable(field).setNumber(field, value);
        return;
    case Kind::Integer:
        writable(field).setInteger(field, static_cast<std::int32_t>(std::llround(value)));
        return;
    case Kind::Text: {
        char buf[numtext::kMaxNumberText];
        const int n = numtext::format(value, numtext::decimalSeparator(), buf);
        writable(field).setTextBytes(field, std::string_view(buf, std::size_t(n)));
        return;
    }
    }
}

QVariant RxMem::value(int field) const {
    const RecordView r = current();
    if (!r.hasValue(field)) return {};
    switch (kFields[field].kind) {
    case Kind::Text:
        return r.text(field);
    case Kind::Number:
        return r.number(field);
    case Kind::Integer:
        return r.integer(field);
    }
    return {};
}

void RxMem::setValue(int field, const QVariant& value) {
    if (value.isNull() || !value.isValid()) {
        clear(field);
    } else if (value.typeId() == QMetaType::QString) {
        setText(field, value.toString());
    } else {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (!ok) conversionError(field, value.toString(), false);
        setNumber(field, d);
    }
}

bool RxMem::isNull(int field) const {
    return !current().hasValue(field);
}

void RxMem::clear(int field) {
    writable(field).clear(field);
}

// ---- locate and bookmarks --------------------------------------------------

bool RxMem::locate(int field, const QVariant& value) {
    checkActive();
    settle();
    const int n = recordCount();
    int found = -1;
    if (kFields[field].kind == Kind::Text) {
        const std::string wanted = cp1252::encode(value.toString());
        for (int i = 0; i < n && found < 0; ++i)
            if (recordAt(i).textBytes(field) == wanted) found = i;
    } else {
        std::optional<double> wanted;
        if (value.typeId() == QMetaType::QString)
            wanted = numtext::parseDecimal(value.toString());
        else if (bool ok = false; value.isValid() && (value.toDouble(&ok), ok))
            wanted = value.toDouble();
        if (!wanted) return false;
        const bool integer = kFields[field].kind == Kind::Integer;
        for (int i = 0; i < n && found < 0; ++i) {
            const RecordView r = recordAt(i);
            if (r.hasValue(field) && (integer ? r.integer(field) : r.number(field)) == *wanted)
                found = i;
        }
    }
    if (found < 0) return false;
    cur_ = found;
    eof_ = false;
    return true;
}

RxMem::Bookmark RxMem::bookmark() const {
    if (cur_ < 0) return {};
    return Bookmark{order_[std::size_t(cur_)]};
}

int RxMem::rowOf(Bookmark b) const {
    if (b.isNull() || b.slot >= slotCount_) return -1;
    const std::int32_t known = slotRow_[b.slot];
    if (known < rowsKnown_) return known; // -1 for a deleted line
    for (int i = rowsKnown_; i < recordCount(); ++i)
        slotRow_[order_[std::size_t(i)]] = i;
    rowsKnown_ = recordCount();
    return slotRow_[b.slot];
}

void RxMem::gotoBookmark(Bookmark b) {
    checkActive();
    settle();
    const int r = rowOf(b);
    if (r < 0) throw TableError(QStringLiteral("La línea marcada ya no existe."));
    cur_ = r;
    eof_ = false;
}

// ---- notes on cells ------------------------------------------------------------

void RxMem::noteCell(Bookmark line, int field, const QString& problem) {
    char buf[numtext::kMaxNumberText];
    const RecordView r(slotData(line.slot));
    notes_[line.slot].push_back(
        {field, problem, std::string(r.textForm(field, numtext::decimalSeparator(), buf))});
}

std::vector<RxMem::CellNote> RxMem::notesOf(Bookmark line) const {
    std::vector<CellNote> out;
    const auto it = notes_.find(line.slot);
    if (it == notes_.end()) return out;
    const int row = rowOf(line);
    if (row < 0) return out;
    const RecordView r = recordAt(row);
    char buf[numtext::kMaxNumberText];
    for (const StoredNote& n : it->second)
        if (r.textForm(n.field, numtext::decimalSeparator(), buf) == n.held)
            out.push_back({n.field, n.problem});
    std::stable_sort(out.begin(), out.end(),
                     [](const CellNote& a, const CellNote& b) { return a.field < b.field; });
    return out;
}

// ---- undo and redo -------------------------------------------------------------

void RxMem::record(HistoryStep step) {
    if (!recording_) return;
    if (grouping_ > 0) {
        step.joined = groupHasStep_;
        groupHasStep_ = true;
    }
    history_.push(std::move(step));
    if (recorder_) recorder_->recorded(history_.last(), *this);
}

std::uint32_t RxMem::applyRecorded(HistoryStep step, const std::vector<std::byte>& line) {
    checkActive();
    settle();
    std::uint32_t placed = UINT32_MAX;
    if (step.kind == HistoryStep::Kind::Insert) {
        if (line.size() != recSize_)
            throw TableError(QStringLiteral("La línea agregada no tiene el largo de una línea."));
        placed = newSlot();
        std::memcpy(slotData(placed), line.data(), recSize_);
        step.lineSlots = {placed};
    }
    history_.pushToRedo(std::move(step));
    ++changes_;
    replay(history_.redoStep(), true);
    if (recorder_) recorder_->recorded(history_.last(), *this);
    return placed;
}

namespace {
// What the steps of one change did, together.
void addReplayed(RxMem::Replayed& all, RxMem::Replayed&& one) {
    all.first = all.first < 0 ? one.first : std::min(all.first, one.first);
    all.last = std::max(all.last, one.last);
    all.restored.insert(all.restored.end(), one.restored.begin(), one.restored.end());
}
} // namespace

RxMem::Replayed RxMem::undo() {
    checkActive();
    settle();
    if (!history_.canUndo()) return {};
    ++changes_;
    Replayed all;
    bool more = true;
    while (more && history_.canUndo()) {
        HistoryStep& step = history_.undoStep();
        more = step.joined;
        addReplayed(all, replay(step, false));
    }
    all.done = true;
    if (recorder_) recorder_->undone();
    return all;
}

RxMem::Replayed RxMem::redo() {
    checkActive();
    settle();
    if (!history_.canRedo()) return {};
    ++changes_;
    Replayed all;
    do
        addReplayed(all, replay(history_.redoStep(), true));
    while (history_.redoIsJoined());
    all.done = true;
    if (recorder_) recorder_->redone();
    return all;
}

RxMem::Replayed RxMem::replay(HistoryStep& step, bool forward) {
    Replayed r;
    r.done = true;
    const bool adds = (step.kind == HistoryStep::Kind::Insert) == forward;
    switch (step.kind) {
    case HistoryStep::Kind::Line: {
        const std::uint32_t slot = step.lineSlots.front();
        std::byte* data = slotData(slot);
        const std::byte* to = (forward ? step.after : step.before).data();
        marks_.noteOldLine(slot, data, to);
        std::memcpy(data, to, recSize_);
        cur_ = r.first = r.last = rowOf(Bookmark{slot});
        eof_ = false;
        if (observer_) observer_->changed(cur_);
        break;
    }
    case HistoryStep::Kind::Insert:
    case HistoryStep::Kind::Delete:
        if (adds) {
            restoreRows(step, r);
        } else {
            std::vector<int> rows;
            rows.reserve(step.lineSlots.size());
            for (const std::uint32_t slot : step.lineSlots)
                rows.push_back(rowOf(Bookmark{slot}));
            std::sort(rows.begin(), rows.end());
            removeRows(rows);
            r.first = rows.front();
            r.last = rows.back();
        }
        break;
    case HistoryStep::Kind::Field:
    case HistoryStep::Kind::Cells: {
        // Field: one field, the old images one per line, the new one once.
        // Cells: each cell its field and its own images, one after another.
        const bool cells = step.kind == HistoryStep::Kind::Cells;
        const std::vector<std::byte>& images = forward ? step.after : step.before;
        std::size_t at = 0;
        r.first = INT_MAX;
        for (std::size_t i = 0; i < step.lineSlots.size(); ++i) {
            const std::uint32_t slot = step.lineSlots[i];
            const int field = cells ? step.fields[i] : step.field;
            const std::size_t size = fieldImageSize(field);
            const std::byte* image =
                cells || !forward ? images.data() + (cells ? at : i * size) : images.data();
            at += size;
            std::byte* data = slotData(slot);
            marks_.noteOld(slot, field, data);
            putFieldImage(data, field, image);
            const int row = rowOf(Bookmark{slot});
            r.first = std::min(r.first, row);
            r.last = std::max(r.last, row);
        }
        cur_ = r.first;
        eof_ = false;
        if (observer_) observer_->changedRows(r.first, r.last);
        break;
    }
    }
    return r;
}

std::size_t RxMem::storageBytes() const {
    return chunks_.size() * (recSize_ << kChunkShift) + order_.capacity() * sizeof(std::uint32_t) +
           slotRow_.capacity() * sizeof(std::int32_t);
}

void RxMem::markSaved() {
    history_.markSaved();
    std::vector<bool> live(slotCount_);
    for (const std::uint32_t slot : order_)
        live[slot] = true;
    marks_.reset(live);
}

bool RxMem::hasUnsavedChanges() const {
    return ((state_ == State::Edit || state_ == State::Insert) && modified_) || !history_.atSaved();
}

bool RxMem::cellChanged(int row, int field) const {
    const std::uint32_t slot = order_[std::size_t(row)];
    return marks_.cellDiffers(slot, field, slotData(slot));
}

bool RxMem::lineChanged(int row) const {
    const std::uint32_t slot = order_[std::size_t(row)];
    return marks_.lineDiffers(slot, slotData(slot));
}

RxMem::ChangeSummary RxMem::changesSinceSaved() const {
    ChangeSummary c;
    for (const std::uint32_t slot : order_) {
        if (marks_.isAdded(slot))
            ++c.added;
        else if (marks_.lineDiffers(slot, slotData(slot)))
            ++c.changed;
    }
    c.deleted = int(marks_.savedLines()) - (recordCount() - c.added);
    return c;
}

RxMem::Fill::~Fill() {
    table_.recording_ = true;
    if (table_.isActive()) table_.markSaved();
}

} // namespace solvanta

#include "Record.h"

#include "engine/util/CodePage.h"
#include "engine/util/NumberText.h"

#include <charconv>
#include <cstring>

namespace solvanta {
namespace {

RecordLayout buildLayout() {
    RecordLayout l{};
    int bits = 0;
    for (const FieldDef& f : kFields)
        if (f.kind != Kind::Text) ++bits;
    std::size_t offset = static_cast<std::size_t>((bits + 7) / 8);
    bits = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        const FieldDef& f = kFields[i];
        FieldSlot& s = l.fieldSlots[i];
        s.offset = static_cast<std::uint16_t>(offset);
        switch (f.kind) {
        case Kind::Text:
            s.nullBit = -1;
            offset += 1 + static_cast<std::size_t>(f.size);
            break;
        case Kind::Number:
            s.nullBit = static_cast<std::int16_t>(bits++);
            offset += sizeof(double);
            break;
        case Kind::Integer:
            s.nullBit = static_cast<std::int16_t>(bits++);
            offset += sizeof(std::int32_t);
            break;
        }
    }
    l.size = offset;
    return l;
}

} // namespace

const RecordLayout& recordLayout() {
    static const RecordLayout layout = buildLayout();
    return layout;
}

bool RecordView::hasValue(int field) const {
    return slot::hasValue(data_, recordLayout().fieldSlots[field]);
}

std::string_view RecordView::textBytes(int field) const {
    return slot::text(data_, recordLayout().fieldSlots[field]);
}

double RecordView::number(int field) const {
    if (!hasValue(field)) return 0;
    return slot::number(data_, recordLayout().fieldSlots[field]);
}

std::int32_t RecordView::integer(int field) const {
    if (!hasValue(field)) return 0;
    return slot::integer(data_, recordLayout().fieldSlots[field]);
}

std::string_view RecordView::textForm(int field, char separator, char* buf) const {
    switch (kFields[field].kind) {
    case Kind::Text:
        return textBytes(field);
    case Kind::Number:
        if (!hasValue(field)) return {};
        return {buf, static_cast<std::size_t>(numtext::format(number(field), separator, buf))};
    case Kind::Integer: {
        if (!hasValue(field)) return {};
        const auto r = std::to_chars(buf, buf + numtext::kMaxNumberText, integer(field));
        return {buf, static_cast<std::size_t>(r.ptr - buf)};
    }
    }
    return {};
}

QString RecordView::text(int field) const {
    char buf[numtext::kMaxNumberText];
    const std::string_view t = textForm(field, numtext::decimalSeparator(), buf);
    return kFields[field].kind == Kind::Text ? cp1252::decode(t)
                                             : QString::fromLatin1(t.data(), qsizetype(t.size()));
}

void RecordRef::setTextBytes(int field, std::string_view bytes) {
    slot::putText(mut(), recordLayout().fieldSlots[field], std::size_t(kFields[field].size), bytes);
}

void RecordRef::setNumber(int field, double value) {
    slot::putNumber(mut(), recordLayout().fieldSlots[field], value);
}

void RecordRef::setInteger(int field, std::int32_t value) {
    slot::putInteger(mut(), recordLayout().fieldSlots[field], value);
}

void RecordRef::clear(int field) {
    const FieldSlot& s = recordLayout().fieldSlots[field];
    if (s.nullBit < 0) {
        mut()[s.offset] = std::byte{0};
        return;
    }
    mut()[s.nullBit >> 3] &= ~static_cast<std::byte>(1u << (s.nullBit & 7));
}

// ---- field images -----------------------------------------------------------

namespace {

std::size_t valueSize(const FieldDef& f) {
    switch (f.kind) {
    case Kind::Text:
        return 1 + static_cast<std::size_t>(f.size);
    case Kind::Number:
        return sizeof(double);
    case Kind::Integer:
        return sizeof(std::int32_t);
    }
    return 0;
}

} // namespace

std::size_t fieldImageSize(int field) {
    const FieldDef& f = kFields[field];
    return valueSize(f) + (f.kind == Kind::Text ? 0 : 1);
}

void copyFieldImage(const std::byte* record, int field, std::byte* image) {
    const FieldDef& f = kFields[field];
    const std::size_t n = valueSize(f);
    std::memcpy(image, record + recordLayout().fieldSlots[field].offset, n);
    if (f.kind != Kind::Text) image[n] = std::byte{RecordView(record).hasValue(field)};
}

void putFieldImage(std::byte* record, int field, const std::byte* image) {
    const FieldDef& f = kFields[field];
    const std::size_t n = valueSize(f);
    std::memcpy(record + recordLayout().fieldSlots[field].offset, image, n);
    if (f.kind == Kind::Text) return;
    const FieldSlot& s = recordLayout().fieldSlots[field];
    const auto bit = static_cast<std::byte>(1u << (s.nullBit & 7));
    if (image[n] != std::byte{0})
        record[s.nullBit >> 3] |= bit;
    else
        record[s.nullBit >> 3] &= ~bit;
}

bool fieldHasImage(const std::byte* record, int field, const std::byte* image) {
    const FieldDef& f = kFields[field];
    const std::byte* value = record + recordLayout().fieldSlots[field].offset;
    if (f.kind == Kind::Text)
        return value[0] == image[0] &&
               std::memcmp(value + 1, image + 1, std::to_integer<std::size_t>(image[0])) == 0;
    const std::size_t n = valueSize(f);
    const bool has = RecordView(record).hasValue(field);
    if (has != (image[n] != std::byte{0})) return false;
    return !has || std::memcmp(value, image, n) == 0;
}

bool sameFieldValue(const std::byte* a, const std::byte* b, int field) {
    std::byte image[256];
    copyFieldImage(b, field, image);
    return fieldHasImage(a, field, image);
}

} // namespace solvanta

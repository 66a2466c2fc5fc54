#include "PlainCells.h"

#include "engine/util/NumberText.h"

namespace solvanta {

PlainCells::PlainCells(bool utf8) : utf8_(utf8), separator_(numtext::decimalSeparator()) {
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldDef& d = kFields[std::size_t(f)];
        Way way = Way::Text;
        if (d.value == Value::Rut)
            way = d.kind == Kind::Text ? Way::RutText : Way::RutNumber;
        else if (d.kind == Kind::Number)
            way = takesDecimals(d) ? Way::Decimal : Way::Number;
        else if (d.kind == Kind::Integer)
            way = Way::Integer;
        plans_[std::size_t(f)] = {recordLayout().fieldSlots[std::size_t(f)],
                                  static_cast<unsigned char>(d.size), way};
    }
}

// Printable characters the table's code page holds as they are: ASCII, and
// the Latin-1 letters (ñ, á, Ñ...), which Windows-1252 has at the same codes
// as Unicode. In UTF-8 those letters take two bytes each.
bool PlainCells::putLetters(std::byte* record, const Plan& p, std::string_view bytes) const {
    char out[256];
    std::size_t n = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (n == p.size) return false;
        const auto c = static_cast<unsigned char>(bytes[i]);
        if ((c >= 0x20 && c <= 0x7E) || (!utf8_ && c >= 0xA0)) {
            out[n++] = char(c);
        } else if (utf8_ && (c == 0xC2 || c == 0xC3) && i + 1 < bytes.size()) {
            const auto d = static_cast<unsigned char>(bytes[++i]);
            const unsigned code = ((c & 0x1Fu) << 6) | (d & 0x3Fu);
            if ((d & 0xC0) != 0x80 || code < 0xA0) return false;
            out[n++] = char(code);
        } else {
            return false;
        }
    }
    slot::putText(record, p.slot, p.size, std::string_view(out, n));
    return true;
}

} // namespace solvanta

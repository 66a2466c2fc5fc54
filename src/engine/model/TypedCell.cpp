#include "TypedCell.h"

#include "FieldTable.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

namespace solvanta {

namespace {

// A text as its field can hold it. A text read from a file by position keeps
// the blanks that filled its field, and those may go: the file pads the field
// again. Anything longer is refused, as the table would keep only its start.
QString fitted(int field, const QString& text) {
    const int size = kFields[std::size_t(field)].size;
    if (text.size() <= size) return text;
    qsizetype end = text.size();
    while (end > size && text[end - 1] == u' ')
        --end;
    if (end > size)
        throw ConversionError(QStringLiteral("%1: «%2» tiene %3 caracteres y el campo admite %4.")
                                  .arg(fieldTitle(field), excerpt(text))
                                  .arg(text.size())
                                  .arg(size));
    return text.left(end);
}

} // namespace

std::vector<TypedCell> readTypedCell(int field, const QString& typed) {
    const FieldDef& f = kFields[std::size_t(field)];
    const bool number = f.kind != Kind::Text;
    if (typed.isEmpty() || (number && typed.trimmed().isEmpty())) return {{field, QString()}};
    if (f.value == Value::Rut) {
        const auto rut = readRut(typed);
        if (!rut)
            throw ConversionError(QStringLiteral("%1: %2").arg(fieldTitle(field), notARut(typed)));
        std::vector<TypedCell> cells{{field, rut->digits}};
        if (!rut->check.isNull()) cells.push_back({checkFieldOf(field), QString(rut->check)});
        return cells;
    }
    if (f.kind == Kind::Number) {
        const numtext::Typed value = numtext::readTyped(typed, takesDecimals(f));
        if (!value.value)
            throw ConversionError(QStringLiteral("%1: %2").arg(fieldTitle(field), value.problem));
        return {{field, numtext::format(*value.value)}};
    }
    return {{field, f.kind == Kind::Text ? fitted(field, typed) : typed}};
}

} // namespace solvanta

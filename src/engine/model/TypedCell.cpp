#include "TypedCell.h"

#include "FieldTable.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

namespace solvanta {

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
    return {{field, typed}};
}

} // namespace solvanta

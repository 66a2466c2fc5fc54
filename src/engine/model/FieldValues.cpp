#include "FieldValues.h"

#include <algorithm>

namespace solvanta {
namespace {

// clang-format off
constexpr FieldValues kValues[] = {
    {.field = Field::Sexo, .values = {{{"F", u"Femenino"}, {"M", u"Masculino"}}}, .problem = u"el sexo debe ser M o F."},
    {.field = Field::Nacion, .values = {{{"0", u"Chilena"}, {"1", u"Extranjera"}}}, .problem = u"la nacionalidad debe ser 0 (chilena) o 1 (extranjera)."},
    {.field = Field::RegPrevi, .values = {{{"AFP", u"AFP"}, {"INP", u"INP"}, {"SIP", u"SIP"}}}, .problem = u"el régimen previsional debe ser AFP, INP o SIP."},
    {.field = Field::DiasTrab, .range = NumberRange{0, 30}},
    {.field = Field::NumCarSim, .range = NumberRange{0, kMaxSimpleDependants}},
    {.field = Field::SubTrabJov, .values = {{{"S", u"Si"}, {"N", u"No"}}}, .problem = u"el subsidio al trabajador joven debe ser S o N."},
    {.field = Field::PorcTrabPesado, .range = NumberRange{0, 99}},
    {.field = Field::FormaPagoApvi, .values = {{{""}, {"0"}, {"1", u"Directa"}, {"2", u"Indirecta"}}}, .problem = u"la forma de pago del APVI debe estar vacía o ser 0, 1 o 2."},
    {.field = Field::FormaPagoApvc, .values = {{{""}, {"0"}, {"1", u"Directa"}, {"2", u"Indirecta"}}}, .problem = u"la forma de pago del APVC debe estar vacía o ser 0, 1 o 2."},
    {.field = Field::NumPerCotiza, .range = NumberRange{0, 30}},
    {.field = Field::MonedaPlan, .values = {{{""}, {"0"}, {"1", u"Pesos"}, {"2", u"UF"}}}, .problem = u"la moneda del plan debe estar vacía o ser 0, 1 o 2."},
    {.field = Field::OtrosDescCcaf2, .values = {{{"0", nullptr, "1"}, {"1", u"Completa"}, {"2", u"Parcial"}}}, .problem = u"el tipo de jornada debe ser 0, 1 (completa) o 2 (parcial)."},
};
// clang-format on

constexpr bool wellFormed() {
    for (std::size_t i = 0; i < std::size(kValues); ++i) {
        const FieldValues& r = kValues[i];
        // In field order, one row a field.
        if (i > 0 && fieldIndex(kValues[i - 1].field) >= fieldIndex(r.field)) return false;
        // A set has its problem text, and nothing after its end.
        bool ended = false;
        for (const AllowedValue& v : r.values) {
            if (ended && (v.value || v.caption)) return false;
            ended = ended || !v.value;
        }
        if ((r.values[0].value != nullptr) != (r.problem != nullptr)) return false;
        if (r.range && r.range->minimum > r.range->maximum) return false;
    }
    return true;
}
static_assert(wellFormed(), "field values: one row a field in field order, each set with its "
                            "problem text");

} // namespace

std::span<const AllowedValue> FieldValues::allowed() const {
    std::size_t n = 0;
    while (n < values.size() && values[n].value)
        ++n;
    return {values.data(), n};
}

bool FieldValues::allows(std::string_view value) const {
    const auto set = allowed();
    return std::any_of(set.begin(), set.end(),
                       [&](const AllowedValue& v) { return value == v.value; });
}

const FieldValues* valuesOf(Field field) {
    for (const FieldValues& r : kValues)
        if (r.field == field) return &r;
    return nullptr;
}

const FieldValues* valuesOf(int field) {
    return field >= 0 && field < kFieldCount ? valuesOf(Field(field)) : nullptr;
}

std::span<const FieldValues> fieldValues() {
    return kValues;
}

} // namespace solvanta

#include "Generator.h"

#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"
#include "engine/util/CodePage.h"
#include "engine/util/StrUtil.h"

#include <QString>
#include <algorithm>
#include <array>
#include <random>
#include <string>

using namespace solvanta;

namespace {

const std::array kSurnames = {u"GONZÁLEZ", u"MUÑOZ", u"ROJAS", u"DÍAZ", u"PÉREZ", u"SOTO",
                              u"CONTRERAS", u"SILVA", u"MARTÍNEZ", u"SEPÚLVEDA", u"MORALES",
                              u"RODRÍGUEZ", u"LÓPEZ", u"FUENTES", u"HERNÁNDEZ", u"TORRES",
                              u"ARAYA", u"FLORES", u"ESPINOZA", u"VALENZUELA", u"CASTILLO",
                              u"NÚÑEZ", u"IBÁÑEZ", u"PEÑA"};
const std::array kNames = {u"JOSÉ LUIS", u"MARÍA JOSÉ", u"JUAN PABLO", u"CATALINA", u"ÁLVARO",
                           u"FRANCISCA", u"SEBASTIÁN", u"CONSTANZA", u"MATÍAS", u"VALENTINA",
                           u"IÑAKI", u"BELÉN", u"RAÚL ANDRÉS", u"SOFÍA", u"TOMÁS", u"ANA MARÍA"};

class Filler {
public:
    Filler(RxMem& t, std::uint64_t seed) : table_(t), rng_(seed) {}

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return uniform(1, 100) <= percent; }

    void text(const char* field, const QString& value) {
        table_.setText(RxMem::fieldByName(QString::fromLatin1(field)), value);
    }
    void text(const char* field, const std::string& value) { text(field, QString::fromStdString(value)); }
    void number(const char* field, double value) {
        table_.setNumber(RxMem::fieldByName(QString::fromLatin1(field)), value);
    }
    void integer(const char* field, int value) { number(field, value); }

    // Text fields are written left-aligned and blank-filled to their size.
    static QString padded(const QString& s, int width) {
        return RellenaDerecha(s.left(width), QStringLiteral(" "), width);
    }
    static std::string digits(int value, int width) {
        std::string s = std::to_string(value);
        return std::string(std::size_t(std::max(0, width - int(s.size()))), '0') + s;
    }
    static QChar checkDigit(int rut) {
        for (char c : std::string("0123456789K"))
            if (ValidaRut(QString::number(rut) + QLatin1Char(c))) return QLatin1Char(c);
        return QLatin1Char('0');
    }
    QString date(int year) {
        return QStringLiteral("%1-%2-%3")
            .arg(uniform(1, 28), 2, 10, QLatin1Char('0'))
            .arg(uniform(1, 12), 2, 10, QLatin1Char('0'))
            .arg(year);
    }
    // One of the codes of a list of the shipped code tables.
    int pickOf(std::initializer_list<int> codes) {
        return *(codes.begin() + uniform(0, int(codes.size()) - 1));
    }
    template <typename A> QString pick(const A& list) {
        return QString::fromUtf16(list[std::size_t(uniform(0, int(list.size()) - 1))]);
    }

    void line() {
        const int rut = uniform(5'000'000, 26'000'000);
        const int month = uniform(1, 12);
        const QString period = QString::fromStdString(digits(month, 2) + "2026");
        const double pay = uniform(460, 3'200) * 1000.0;
        const bool afp = chance(90);
        const bool movement = chance(15);

        number("rut", rut);
        text("dv", QString(checkDigit(rut)));
        text("ape_pat", padded(pick(kSurnames), 30));
        text("ape_mat", padded(pick(kSurnames), 30));
        text("nombres", padded(pick(kNames), 30));
        text("sexo", QString::fromLatin1(chance(50) ? "M" : "F"));
        integer("nacion", chance(92) ? 0 : 1);
        text("tipo_pago", QString::fromLatin1("01"));
        text("remu_desde", period);
        text("remu_hasta", QString::fromLatin1("000000"));
        text("reg_previ", QString::fromLatin1(afp ? "AFP" : "INP"));
        text("tipo_trab", QString::number(uniform(0, 3)));
        text("dias_trab", QString::number(chance(85) ? 30 : uniform(1, 29)));
        text("tipo_linea", QString::fromLatin1("00"));
        text("cod_mov", QString::number(movement ? uniform(1, 7) : 0));
        // A movement's end never comes before its start.
        QString from = movement ? date(2026) : QString(), to = movement ? date(2026) : QString();
        if (to.mid(3, 2) + to.left(2) < from.mid(3, 2) + from.left(2)) std::swap(from, to);
        text("Fecha_Desde", from);
        text("Fecha_Hasta", to);
        text("Tramo_Fam", QString::fromLatin1(pay < 800'000 ? "B" : "D"));
        const int dependants = chance(40) ? uniform(1, 4) : 0;
        text("num_car_sim", QString::number(dependants));
        text("num_car_mat", QString::fromLatin1("0"));
        text("num_car_inv", QString::fromLatin1("0"));
        number("asig_fam", dependants * (pay < 800'000 ? 13'155 : 0));
        number("asig_fam_ret", 0);
        number("reint_cargas", 0);
        text("sub_trab_jov", QString::fromLatin1("N"));
        text("nom_AFP", QString::number(afp ? pickOf({3, 5, 8, 29, 33, 34, 35}) : 0));
        number("impo_afp", afp ? pay : 0);
        number("cot_obli_afp", afp ? std::round(pay * 0.1) : 0);
        number("aporte_sis", afp ? std::round(pay * 0.0149) : 0);
        number("ahorro_afp", 0);
        number("sust_afp", 0);
        text("tasa_pac_afp", QStringLiteral("0"));
        number("aporte_indem", 0);
        text("num_per_sust", QString::fromLatin1("0"));
        text("per_desde_sust", padded(QString(), 10));
        text("per_hasta_sust", padded(QString(), 10));
        text("trab_pesado", padded(QString(), 40));
        number("porc_trab_pesado", 0);
        number("cot_trab_pesado", 0);
        const bool apv = chance(10);
        text("inst_apvi", QString::number(apv ? pickOf({3, 5, 8, 29, 33, 34, 35, 100, 200, 300}) : 0));
        text("num_contra_apvi", padded(apv ? QString::number(uniform(100000, 999999)) : QString(), 20));
        text("forma_pago_apvi", QString::fromLatin1(apv ? "1" : "0"));
        number("cotiza_apvi", apv ? uniform(10, 200) * 1000.0 : 0);
        number("cot_dep_conv", 0);
        text("inst_apvc", QString::fromLatin1("0"));
        text("num_contra_apvc", padded(QString(), 20));
        text("forma_pago_apvc", QString::fromLatin1("0"));
        number("cotiza_apvc", 0);
        number("cot_emp_apvc", 0);
        text("rut_afi_volun", QString::fromLatin1("0"));
        text("dv_afi_volun", QString::fromLatin1(" "));
        text("ape_pat_volun", padded(QString(), 30));
        text("ape_mat_volun", padded(QString(), 30));
        text("nombre_volun", padded(QString(), 30));
        text("cod_mov_per_volun", QString::fromLatin1("00"));
        text("fec_desde_volun", padded(QString(), 10));
        text("fec_hasta_volun", padded(QString(), 10));
        text("cod_afp_volun", QString::fromLatin1("0"));
        number("monto_cap_volun", 0);
        number("monto_aho_vol", 0);
        text("num_per_cotiza", QString::fromLatin1("0"));
        text("cod_ex_caja", QString::number(afp ? 0 : uniform(1001, 1008)));
        number("tasa_ex_caja", afp ? 0 : uniform(100, 2000) / 100.0);
        number("renta_imp_fonasa", pay);
        number("cot_INP", afp ? 0 : std::round(pay * 0.1884));
        number("Renta_imp_des", 0);
        text("cod_ex_caja_des", QString::fromLatin1("0"));
        number("tasa_ex_caja_des", 0);
        number("cot_desahucio", 0);
        const bool fonasa = chance(45);
        number("cotiza_fonasa", fonasa ? std::round(pay * 0.07) : 0);
        number("cot_acc_trab_inp", 0);
        number("boni_ley", 0);
        number("desc_cargas_fam_inp", 0);
        number("bonos_gob", 0);
        text("cod_inst_salud", QString::number(fonasa ? 7 : uniform(1, 5)));
        text("num_FUN", padded(fonasa ? QString() : QString::number(uniform(1000000, 9999999)), 16));
        number("impo_isapre", fonasa ? 0 : pay);
        text("moneda_plan", QString::fromLatin1(fonasa ? "0" : "2"));
        number("cot_pactada", fonasa ? 0 : uniform(20, 90) / 10.0);
        number("cot_obli_isa", fonasa ? 0 : std::round(pay * 0.07));
        number("cot_ad_vol", fonasa ? 0 : uniform(0, 50) * 1000.0);
        number("monto_ges", 0);
        text("cod_CCAF", QString::number(uniform(1, 4)));
        number("impo_ccaf", pay);
        number("Cred_per_CCAF", chance(10) ? uniform(10, 90) * 1000.0 : 0);
        number("Desc_Dental", 0);
        number("desc_leassing", 0);
        number("desc_seg_vida", 0);
        number("otros_desc_ccaf", 0);
        number("cot_CCAF", std::round(pay * 0.006));
        number("Desc_Car_fam", 0);
        number("otros_desc_ccaf1", 0);
        number("otros_desc_ccaf2", chance(80) ? 1 : 2);
        number("bono_gob_ccaf", std::round(pay * 0.001));
        text("cod_sucur_ccaf", padded(QString::number(std::round(pay * 0.009), 'f', 0), 20));
        text("cod_mutual", QString::number(uniform(1, 3)));
        number("impo_mutual", pay);
        number("cotiza_mutual", std::round(pay * 0.0093));
        text("sucur_mutual", QString::number(uniform(0, 120)));
        number("Renta_impo_SC", pay);
        number("Aporte_trab_SC", std::round(pay * 0.006));
        number("aporte_emp_SC", std::round(pay * 0.024));
        text("rut_pag_subs", QString::fromLatin1("0"));
        text("dv_pag_subs", QString::fromLatin1(" "));
        text("centro_costo", padded(QStringLiteral("SUCURSAL %1").arg(uniform(1, 40)), 20));
    }

private:
    RxMem& table_;
    std::mt19937_64 rng_;
};

} // namespace

void generateDeclaration(RxMem& table, int lines, std::uint64_t seed) {
    table.open();
    Filler filler(table, seed);
    for (int i = 0; i < lines; ++i) {
        table.append();
        filler.line();
        table.post();
    }
}

namespace {

struct Spoil {
    const char* field;
    const char* value; // nullptr: a wrong check character for the RUT before it
};

// clang-format off
const Spoil kSpoils[] = {
    {"dv", nullptr},                    {"tipo_pago", "99"},
    {"sexo", "X"},                      {"reg_previ", "XXX"},
    {"tipo_trab", "9"},                 {"dias_trab", "45"},
    {"Fecha_Desde", "99-99-9999"},      {"Fecha_Hasta", "99-99-9999"},
    {"Tramo_Fam", "Z"},                 {"num_car_sim", "20"},
    {"nom_AFP", "99"},                  {"cod_inst_salud", "99"},
    {"cod_CCAF", "99"},                 {"cod_mutual", "99"},
    {"remu_desde", "132026"},           {"remu_hasta", "132026"},
    {"rut_afi_volun", "12345678"},      {"rut_pag_subs", "12345678"},
    {"per_desde_sust", "99-99-9999"},   {"per_hasta_sust", "99-99-9999"},
    {"inst_apvi", "999"},               {"sub_trab_jov", "X"},
    {"forma_pago_apvi", "7"},           {"inst_apvc", "999"},
    {"forma_pago_apvc", "7"},           {"cod_mov_per_volun", "99"},
    {"fec_desde_volun", "99-99-9999"},  {"fec_hasta_volun", "99-99-9999"},
    {"cod_afp_volun", "99"},            {"cod_ex_caja", "9999"},
    {"cod_ex_caja_des", "9999"},        {"moneda_plan", "7"},
    {"tipo_linea", "99"},               {"cod_mov", "99"},
    {"nacion", "5"},                    {"otros_desc_ccaf2", "7"},
    {"ape_pat", ""},                    {"nombres", ""},
};
// clang-format on
static_assert(std::size(kSpoils) == kMostProblemsPerLine);

// A check character that does not fit the RUT.
QString wrongCheck(const QString& rut) {
    for (char c : std::string("0123456789K"))
        if (!ValidaRut(rut + QLatin1Char(c))) return QString(QLatin1Char(c));
    return QStringLiteral("X");
}

} // namespace

void addProblems(RxMem& table, int perLine, int every) {
    const int n = std::min(perLine, int(std::size(kSpoils)));
    const auto field = [](const char* name) { return RxMem::fieldByName(QString::fromLatin1(name)); };
    for (int r = 0; r < table.recordCount(); r += std::max(every, 1)) {
        table.moveTo(r);
        table.edit();
        for (int i = 0; i < n; ++i) {
            const Spoil& s = kSpoils[i];
            const int f = field(s.field);
            if (QLatin1String(s.field) == QLatin1String("dv")) {
                table.setText(f, wrongCheck(table.asText(field("rut"))));
            } else if (QLatin1String(s.field).startsWith(QLatin1String("rut_"))) {
                // The RUT and, in the next field, a check character that does not fit it.
                table.setText(f, QString::fromLatin1(s.value));
                table.setText(f + 1, wrongCheck(QString::fromLatin1(s.value)));
            } else {
                // Texts keep the width of their columns.
                const int size = kFields[std::size_t(f)].size;
                QString v = QString::fromLatin1(s.value);
                if (kFields[std::size_t(f)].kind == Kind::Text && v.size() < size &&
                    kFields[std::size_t(f)].writeRule == WriteRule::T)
                    v = v.leftJustified(size);
                table.setText(f, v);
            }
        }
        table.post();
    }
}

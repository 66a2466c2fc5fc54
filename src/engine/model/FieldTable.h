#pragma once

#include <QString>
#include <QStringView>
#include <array>

// The 105 fields of a declaration line, in field order, with everything the
// program needs to know about each one: its kind and size in the table, its
// labels, its columns in the position form, and how it is read and written.
// Reading, writing, the grid and the export walk this table.
namespace solvanta {

constexpr int kFieldCount = 105;
constexpr int kPositionLineLength = 861;

// The fields by name, in field order: `Field::Sexo` is kFields[5], the field
// declared "sexo". Each enumerator is its field's declared name written
// without underscores (FieldTable.cpp checks it when it compiles), so code
// that means a field names it here and a misspelling does not compile.
// clang-format off
enum class Field : unsigned char {
    Rut, Dv, ApePat, ApeMat, Nombres, Sexo, Nacion, TipoPago, RemuDesde, RemuHasta, RegPrevi,
    TipoTrab, DiasTrab, TipoLinea, CodMov, FechaDesde, FechaHasta, TramoFam, NumCarSim, NumCarMat,
    NumCarInv, AsigFam, AsigFamRet, ReintCargas, SubTrabJov, NomAfp, ImpoAfp, CotObliAfp,
    AporteSis, AhorroAfp, SustAfp, TasaPacAfp, AporteIndem, NumPerSust, PerDesdeSust, PerHastaSust,
    TrabPesado, PorcTrabPesado, CotTrabPesado, InstApvi, NumContraApvi, FormaPagoApvi, CotizaApvi,
    CotDepConv, InstApvc, NumContraApvc, FormaPagoApvc, CotizaApvc, CotEmpApvc, RutAfiVolun,
    DvAfiVolun, ApePatVolun, ApeMatVolun, NombreVolun, CodMovPerVolun, FecDesdeVolun,
    FecHastaVolun, CodAfpVolun, MontoCapVolun, MontoAhoVol, NumPerCotiza, CodExCaja, TasaExCaja,
    RentaImpFonasa, CotInp, RentaImpDes, CodExCajaDes, TasaExCajaDes, CotDesahucio, CotizaFonasa,
    CotAccTrabInp, BoniLey, DescCargasFamInp, BonosGob, CodInstSalud, NumFun, ImpoIsapre,
    MonedaPlan, CotPactada, CotObliIsa, CotAdVol, MontoGes, CodCcaf, ImpoCcaf, CredPerCcaf,
    DescDental, DescLeassing, DescSegVida, OtrosDescCcaf, CotCcaf, DescCarFam, OtrosDescCcaf1,
    OtrosDescCcaf2, BonoGobCcaf, CodSucurCcaf, CodMutual, ImpoMutual, CotizaMutual, SucurMutual,
    RentaImpoSc, AporteTrabSc, AporteEmpSc, RutPagSubs, DvPagSubs, CentroCosto,
};
// clang-format on
static_assert(int(Field::CentroCosto) + 1 == kFieldCount, "one enumerator per field");

// The field's index (0-based) in kFields and in a line.
constexpr int fieldIndex(Field f) {
    return int(f);
}

enum class Kind : unsigned char { Text, Number, Integer };

// How the writer lays a field's text into its columns of the position form.
enum class WriteRule : unsigned char {
    Z,  // blanks removed, zero-filled on the left
    B,  // blanks removed, blank-filled on the left
    T,  // blank-filled on the right
    H,  // unchanged
    D1, // unchanged, or ten blanks when empty or "0"
    D2, // unchanged, or ten blanks when empty
};

// How the loader stores a field's columns of the position form.
enum class LoadRule : unsigned char {
    Text,    // unchanged, blanks included
    Whole0,  // whole number without leading zeros; "0" when it does not read
    Whole00, // as Whole0, fallback "00"
    Whole2,  // whole number zero-filled to two characters; fallback "00"
    Decimal, // decimal number in its number text; "0" when it does not read
    Rate,    // as Decimal, accepting "." and "," as the decimal separator
    Rut,     // decimal number; the number 0 when it does not read
    Integer, // given to the integer field as it is; no fallback
};

// How the loader stores a field's piece of the separator form.
enum class SepRule : unsigned char {
    Text,       // the piece unchanged
    TextOrZero, // the piece, or "0" when it is empty
    Number,     // the table's number conversion; the number 0 when refused
    Rut,        // decimal number; the number 0 when it does not read
    Integer,    // given to the integer field as it is; no fallback
};

enum class Align : unsigned char { Default, Right };

// What a field's value is, for reading what the user types and for naming
// what the loader could not read.
enum class Value : unsigned char {
    Plain,    // text, or a code
    Amount,   // pesos: a whole number, digits only in the file's columns
    Decimal,  // a rate, a percentage or the agreed health contribution: decimals allowed
    Whole,    // a whole number that is not an amount (a code held as a number)
    Rut,      // the number of a RUT; its check character is the next field
    RutCheck, // the check character of the RUT in the field before
};

struct FieldDef {
    int number;       // 1..105
    const char* name; // as declared; matched without regard to case
    Kind kind;
    int size;              // characters, for text fields
    const char16_t* label; // display label ("[1]Rut")
    int start;             // first column in the position form, 1-based
    int width;             // columns in the position form
    WriteRule writeRule;
    LoadRule loadRule;
    SepRule sepRule;
    const char16_t* gridTitle; // title in the listing's grid ("[1] Rut")
    int gridWidth;             // pixels; -1 for the default width
    Align gridAlign;
    bool gridTitleCentred;
    bool sepUntrimmed; // written to the separator form without trimming
    Value value;

    QStringView labelText() const { return QStringView(label); }
    QStringView gridTitleText() const { return QStringView(gridTitle); }
};

extern const std::array<FieldDef, kFieldCount> kFields;

inline const FieldDef& def(Field f) {
    return kFields[std::size_t(fieldIndex(f))];
}

// Whether the field keeps decimals: only rates, percentages and the agreed
// health contribution; amounts are whole pesos.
inline bool takesDecimals(const FieldDef& f) {
    return f.value == Value::Decimal;
}

// The field that holds the check character of a RUT field.
inline int checkFieldOf(int rutField) {
    return rutField + 1;
}

// The most simple dependants (num_car_sim) a line may declare.
constexpr int kMaxSimpleDependants = 13;

// How messages name a field: its title in the listing ("[1] Rut"), which the
// user can find on the screen.
QString fieldTitle(int field);

// Index (0-based) of the field of that name, letter case ignored; -1 when the
// declaration line has no such field.
int findField(QStringView name);

} // namespace solvanta

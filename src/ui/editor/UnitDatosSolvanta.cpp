#include "UnitDatosSolvanta.h"

#include "engine/codes/CodeLists.h"
#include "engine/files/DeclarationFile.h"
#include "engine/model/FieldTable.h"
#include "engine/model/FieldValues.h"
#include "engine/util/CodePage.h"
#include "engine/util/DateText.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/PeriodText.h"
#include "engine/util/RemuTool.h"
#include "engine/util/StrUtil.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/EntryControls.h"
#include "ui/widgets/RadioGroup.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>
#include <optional>

using namespace solvanta;

namespace {

// ---- what the window holds ---------------------------------------------------

enum class Ctl { Rut, Check, Text, Digits, Period, Number, Date, List, Radio };

// How a control's content goes back into its field.
enum class Store {
    Text,   // as text
    Number, // read as a number (a list: its first characters), stored as a number
    Count,  // empty: the number 0; otherwise read as a number
};

// Checks made while storing, each with its message on the first tab.
enum class Check { None, TipoPago, TipoTrab, CodMov };

// Add-mode defaults.
enum class Add { None, First, Fourth, Period, Zero, Item0 };

struct TabDef {
    const char16_t* caption;
};
const TabDef kTabs[] = {
    {u"Datos Trabajador"},
    {u"Datos AFP - APVI - APVC"},
    {u"Datos Afi. Voluntario - INP - Salud"},
    {u"Datos CCAF - Mutual - Cesantía - Centro Costo"},
};

// A framed group of controls on a tab, placed in the tab's grid; inside, its
// controls stand in `pairs` columns of label and control.
struct GroupDef {
    int tab;
    const char16_t* caption;
    int row, col, rowSpan;
    int pairs;
    bool packed = false; // controls side by side at their own width
};
const GroupDef kGroups[] = {
    {0, u"", 0, 0, 1, 3},                                         // 0 worker
    {0, u"", 1, 0, 1, 3},                                         // 1 contract
    {1, u"Datos de la AFP", 0, 0, 2, 2},                          // 2
    {1, u"Datos APVI", 0, 1, 1, 1},                               // 3
    {1, u"Datos APVC", 1, 1, 1, 1},                               // 4
    {2, u"Datos Afiliado Voluntario", 0, 0, 1, 2},                // 5
    {2, u"Datos IPS - ISL - Fonasa", 0, 1, 2, 1},                 // 6
    {2, u"Datos Institución de Salud", 1, 0, 1, 2},               // 7
    {3, u"Datos CCAF", 0, 0, 1, 3},                               // 8
    {3, u"Datos Mutual de Seguridad", 1, 0, 1, 3},                // 9
    {3, u"Datos Adm. Fondos de Cesantía", 2, 0, 1, 3},            // 10
    {3, u"Datos Pagador de Subsidios", 3, 0, 1, 3, true},         // 11
    {3, u"Datos Centro de Costo, Sucursal o Región", 4, 0, 1, 3}, // 12
};

// A text standing alone in a group, above the controls it names.
struct HeadingDef {
    int group, row, col, span;
    const char16_t* text;
};
const HeadingDef kHeadings[] = {{1, 0, 1, 2, u"Período Remuneraciones"}};

using Fmt = NumberEdit::Format;

// Every control, in keyboard order. `row` and `col` place it in its group
// (col counts pairs of label and control).
//
// A radio group offers its field's allowed values that have captions, and a
// number edit takes nothing above its field's range (FieldValues).
struct ControlDef {
    const char* name;
    Ctl kind;
    Field field;
    const char16_t* label = nullptr;
    int group = 0, row = 0, col = 0, span = 1;
    int size = 0; // Rut: digits; Number: maximum characters (a text takes what its field holds)
    Fmt format = Fmt::Whole;
    bool decimalsWhenFraction = false;
    Store store = Store::Text;
    Check check = Check::None;
    int columns = 1;
    int start = -1;             // Radio: item chosen when the window is created
    int otherwise = -1;         // Radio: item for a value of no item (-1: none)
    const char* none = nullptr; // stored for an empty text or no item chosen
    Add add = Add::None;
    const char16_t* guard = nullptr; // the field's label in the guarded stretches
    const char16_t* owner = nullptr; // Rut: whose RUT, in the messages ("del afiliado voluntario")
};

// clang-format off
const ControlDef kControls[] = {
    // Tab 1, worker
    {.name = "EdRut", .kind = Ctl::Rut, .field = Field::Rut, .label = u"RUT", .group = 0, .row = 0, .col = 0, .size = 10},
    {.name = "EdDV", .kind = Ctl::Check, .field = Field::Dv, .label = u"DV", .group = 0, .row = 0, .col = 1},
    {.name = "RGpSexo", .kind = Ctl::Radio, .field = Field::Sexo, .label = u"Sexo", .group = 0, .row = 0, .col = 2, .columns = 2, .otherwise = 1, .none = "M", .add = Add::Item0},
    {.name = "EdApepat", .kind = Ctl::Text, .field = Field::ApePat, .label = u"Apellido Paterno", .group = 0, .row = 1, .col = 0},
    {.name = "EdApeMat", .kind = Ctl::Text, .field = Field::ApeMat, .label = u"Apellido Materno", .group = 0, .row = 1, .col = 1},
    {.name = "EdNombres", .kind = Ctl::Text, .field = Field::Nombres, .label = u"Nombres", .group = 0, .row = 1, .col = 2},
    {.name = "RGNacionalidad", .kind = Ctl::Radio, .field = Field::Nacion, .label = u"Nacionalidad", .group = 0, .row = 2, .col = 0, .columns = 2, .start = 0, .none = "1"},
    // Tab 1, contract
    {.name = "CBxTipoPago", .kind = Ctl::List, .field = Field::TipoPago, .label = u"Tipo de Pago", .group = 1, .row = 1, .col = 0, .check = Check::TipoPago, .add = Add::First},
    {.name = "EdPerDesde", .kind = Ctl::Period, .field = Field::RemuDesde, .label = u"Desde", .group = 1, .row = 1, .col = 1, .add = Add::Period},
    {.name = "EdPerHasta", .kind = Ctl::Period, .field = Field::RemuHasta, .label = u"Hasta", .group = 1, .row = 1, .col = 2, .none = "000000", .add = Add::Period},
    {.name = "RGpRegPrevi", .kind = Ctl::Radio, .field = Field::RegPrevi, .label = u"Reg. Previsional", .group = 1, .row = 2, .col = 0, .columns = 3, .start = 0, .none = "SIP"},
    {.name = "CBxTTrabajador", .kind = Ctl::List, .field = Field::TipoTrab, .label = u"Tipo Trabajador", .group = 1, .row = 2, .col = 1, .store = Store::Number, .check = Check::TipoTrab, .add = Add::First},
    {.name = "CuEdDiasTrab", .kind = Ctl::Number, .field = Field::DiasTrab, .label = u"Días Trab.", .group = 1, .row = 2, .col = 2, .format = Fmt::WholeDollar, .store = Store::Number},
    {.name = "CBxTipoLinea", .kind = Ctl::List, .field = Field::TipoLinea, .label = u"Tipo de Línea", .group = 1, .row = 3, .col = 0, .none = "00", .add = Add::First},
    {.name = "CBxMovPersonal", .kind = Ctl::List, .field = Field::CodMov, .label = u"Cod. Mov. Personal", .group = 1, .row = 3, .col = 1, .span = 2, .store = Store::Number, .check = Check::CodMov, .add = Add::First},
    {.name = "DEdMovDesde", .kind = Ctl::Date, .field = Field::FechaDesde, .label = u"Desde", .group = 1, .row = 4, .col = 1},
    {.name = "DEdMovHasta", .kind = Ctl::Date, .field = Field::FechaHasta, .label = u"Hasta", .group = 1, .row = 4, .col = 2},
    {.name = "CBxTramoFam", .kind = Ctl::List, .field = Field::TramoFam, .label = u"Tramo Asig. Familiar", .group = 1, .row = 5, .col = 0, .add = Add::Fourth},
    {.name = "EdCargasSimples", .kind = Ctl::Text, .field = Field::NumCarSim, .label = u"N° Cargas Simples", .group = 1, .row = 5, .col = 1, .store = Store::Count, .add = Add::Zero},
    {.name = "EdCargasMater", .kind = Ctl::Text, .field = Field::NumCarMat, .label = u"N° Cargas Mater.", .group = 1, .row = 5, .col = 2, .store = Store::Count, .add = Add::Zero},
    {.name = "EdCargasInva", .kind = Ctl::Text, .field = Field::NumCarInv, .label = u"N° Cargas Inval.", .group = 1, .row = 6, .col = 0, .store = Store::Count, .add = Add::Zero},
    {.name = "CuEdAsigFamiliar", .kind = Ctl::Number, .field = Field::AsigFam, .label = u"Asig. Familiar", .group = 1, .row = 6, .col = 1, .store = Store::Number, .guard = u"Asignación Familiar"},
    {.name = "CuEdAsigRetro", .kind = Ctl::Number, .field = Field::AsigFamRet, .label = u"Asig. Fam. Retroactiva", .group = 1, .row = 6, .col = 2, .store = Store::Number, .guard = u"Asig. Fam Retroactiva"},
    {.name = "CuEdReintegro", .kind = Ctl::Number, .field = Field::ReintCargas, .label = u"Reintegro Car. Fam.", .group = 1, .row = 7, .col = 0, .store = Store::Number, .guard = u"Reintegro Cargas"},
    {.name = "RGSubsiTrabajador", .kind = Ctl::Radio, .field = Field::SubTrabJov, .label = u"Subsidio Trabajador Joven", .group = 1, .row = 7, .col = 1, .columns = 2, .start = 1, .otherwise = 1, .none = "N"},
    // Tab 2, AFP
    {.name = "CBxAfp", .kind = Ctl::List, .field = Field::NomAfp, .label = u"Nombre AFP", .group = 2, .row = 0, .col = 0, .store = Store::Number, .add = Add::First, .guard = u"Nombre AFP"},
    {.name = "CuEdImpoAFP", .kind = Ctl::Number, .field = Field::ImpoAfp, .label = u"Imponible AFP", .group = 2, .row = 0, .col = 1, .store = Store::Number, .guard = u"Imponible AFP"},
    {.name = "CuEdCotizaAfp", .kind = Ctl::Number, .field = Field::CotObliAfp, .label = u"Cot. Obligatoria", .group = 2, .row = 1, .col = 0, .store = Store::Number, .guard = u"Cotiza. Oblig. AFP"},
    {.name = "CuEdAporteSIS", .kind = Ctl::Number, .field = Field::AporteSis, .label = u"Aporte SIS", .group = 2, .row = 1, .col = 1, .store = Store::Number, .guard = u"Aporte SIS"},
    {.name = "CuEdAhorroAfp", .kind = Ctl::Number, .field = Field::AhorroAfp, .label = u"Ahorro Vol. (Cta. 2)", .group = 2, .row = 2, .col = 0, .store = Store::Number, .guard = u"Ahorro AFP"},
    {.name = "CuEdRentaImpSust", .kind = Ctl::Number, .field = Field::SustAfp, .label = u"Renta Imp. Sust.", .group = 2, .row = 2, .col = 1, .store = Store::Number, .guard = u"Renta Imp. Sustitutiva"},
    {.name = "CuEdTasaPacSust", .kind = Ctl::Number, .field = Field::TasaPacAfp, .label = u"Tasa Pac. Sust.", .group = 2, .row = 3, .col = 0, .store = Store::Number, .guard = u"Tasa Pactada Sustitutiva"},
    {.name = "CuEdAporteIndemSust", .kind = Ctl::Number, .field = Field::AporteIndem, .label = u"Aporte Indem. Sust.", .group = 2, .row = 3, .col = 1, .store = Store::Number, .guard = u"Aporte Indem. Sustitutiva"},
    {.name = "CuEdPeriSust", .kind = Ctl::Number, .field = Field::NumPerSust, .label = u"N° Períodos Sust.", .group = 2, .row = 4, .col = 0, .store = Store::Number, .guard = u"Nº Per. Sustitutivo"},
    {.name = "DEdPerDesdeSust", .kind = Ctl::Date, .field = Field::PerDesdeSust, .label = u"Período Desde (Sust.)", .group = 2, .row = 4, .col = 1},
    {.name = "DEdPerHastaSust", .kind = Ctl::Date, .field = Field::PerHastaSust, .label = u"Período Hasta (Sust.)", .group = 2, .row = 5, .col = 0},
    {.name = "EdTrabPesado", .kind = Ctl::Text, .field = Field::TrabPesado, .label = u"Puesto de Trabajo Pesado", .group = 2, .row = 5, .col = 1},
    {.name = "CuEdPorTrabPesado", .kind = Ctl::Number, .field = Field::PorcTrabPesado, .label = u"% Cot. Trab. Pesado", .group = 2, .row = 6, .col = 0, .format = Fmt::TwoDecimals, .store = Store::Number, .guard = u"Porcentaje Trab. Pesado"},
    {.name = "CuEdCotTrabPesado", .kind = Ctl::Number, .field = Field::CotTrabPesado, .label = u"Cot. Trab. Pesado", .group = 2, .row = 6, .col = 1, .store = Store::Number, .guard = u"Cotización Trab. Pesado"},
    // Tab 2, APVI
    {.name = "CBxApvi", .kind = Ctl::List, .field = Field::InstApvi, .label = u"Institución APVI", .group = 3, .row = 0, .add = Add::First},
    {.name = "EdContratoApvi", .kind = Ctl::Text, .field = Field::NumContraApvi, .label = u"N° Contrato APVI", .group = 3, .row = 1},
    {.name = "RGFormaPagoAPVI", .kind = Ctl::Radio, .field = Field::FormaPagoApvi, .label = u"Forma Pago APVI", .group = 3, .row = 2, .columns = 2, .none = "2"},
    {.name = "CuEdCotAPVI", .kind = Ctl::Number, .field = Field::CotizaApvi, .label = u"Cotización APVI", .group = 3, .row = 3, .store = Store::Number},
    {.name = "CuEdDepConveniAPVI", .kind = Ctl::Number, .field = Field::CotDepConv, .label = u"Cot.Dep.Convenidos", .group = 3, .row = 4, .store = Store::Number},
    // Tab 2, APVC
    {.name = "CBxAPVC", .kind = Ctl::List, .field = Field::InstApvc, .label = u"Institución APVC", .group = 4, .row = 0},
    {.name = "EdContratoAPVC", .kind = Ctl::Text, .field = Field::NumContraApvc, .label = u"N° Contrato APVC", .group = 4, .row = 1},
    {.name = "RGFormaPAgoAPVC", .kind = Ctl::Radio, .field = Field::FormaPagoApvc, .label = u"Forma Pago APVC", .group = 4, .row = 2, .columns = 2, .none = "2"},
    {.name = "CuEdCotAPVC", .kind = Ctl::Number, .field = Field::CotizaApvc, .label = u"Cotización APVC", .group = 4, .row = 3, .store = Store::Number},
    {.name = "CuEdCotEmpleador", .kind = Ctl::Number, .field = Field::CotEmpApvc, .label = u"Cot. Empleador", .group = 4, .row = 4, .store = Store::Number},
    // Tab 3, voluntary affiliate
    {.name = "PFRutAfiVol", .kind = Ctl::Rut, .field = Field::RutAfiVolun, .label = u"RUT", .group = 5, .row = 0, .col = 0, .size = 10, .owner = u"del afiliado voluntario"},
    {.name = "EdDVAfiVol", .kind = Ctl::Check, .field = Field::DvAfiVolun, .label = u"DV", .group = 5, .row = 0, .col = 1},
    {.name = "EdApePatVolun", .kind = Ctl::Text, .field = Field::ApePatVolun, .label = u"Apellido Paterno", .group = 5, .row = 1, .col = 0},
    {.name = "EdApeMatVolun", .kind = Ctl::Text, .field = Field::ApeMatVolun, .label = u"Apellido Materno", .group = 5, .row = 1, .col = 1},
    {.name = "EdNombreVolun", .kind = Ctl::Text, .field = Field::NombreVolun, .label = u"Nombres", .group = 5, .row = 2, .col = 0},
    {.name = "CBxMovVolun", .kind = Ctl::List, .field = Field::CodMovPerVolun, .label = u"Cod. Mov. Personal", .group = 5, .row = 2, .col = 1, .guard = u"Cod. Mov. Afi. Vol."},
    {.name = "DEdDesdeVolun", .kind = Ctl::Date, .field = Field::FecDesdeVolun, .label = u"Desde", .group = 5, .row = 3, .col = 0},
    {.name = "DEdHastaVolun", .kind = Ctl::Date, .field = Field::FecHastaVolun, .label = u"Hasta", .group = 5, .row = 3, .col = 1},
    {.name = "CBxAfpVolun", .kind = Ctl::List, .field = Field::CodAfpVolun, .label = u"Nombre AFP", .group = 5, .row = 4, .col = 0},
    {.name = "CuEdCapiVolun", .kind = Ctl::Number, .field = Field::MontoCapVolun, .label = u"Mto. Capitalización", .group = 5, .row = 4, .col = 1, .store = Store::Number, .guard = u"Monto Capitalización"},
    {.name = "CuEdAhoVolun", .kind = Ctl::Number, .field = Field::MontoAhoVol, .label = u"Mto. Ahorro", .group = 5, .row = 5, .col = 0, .store = Store::Number, .guard = u"Monto Ahorro Afi. Vol."},
    {.name = "CuEdPerCotizaVolun", .kind = Ctl::Number, .field = Field::NumPerCotiza, .label = u"N° Per. Cotiza.", .group = 5, .row = 5, .col = 1, .format = Fmt::WholeDollar, .store = Store::Number, .guard = u"Nº Per. Cotiza."},
    // Tab 3, IPS - ISL - Fonasa
    {.name = "CBxCodCajaReg", .kind = Ctl::List, .field = Field::CodExCaja, .label = u"Cód. Ex-caja Régimen", .group = 6, .row = 0, .store = Store::Number, .add = Add::First, .guard = u"Código ex Caja Regimen"},
    {.name = "CuEdTasaCaja", .kind = Ctl::Number, .field = Field::TasaExCaja, .label = u"Tasa Ex-caja", .group = 6, .row = 1, .format = Fmt::TwoDecimals, .store = Store::Number, .guard = u"Tasa ex Caja Régimen"},
    {.name = "CuedImpoFonasa", .kind = Ctl::Number, .field = Field::RentaImpFonasa, .label = u"Impon. Fonasa", .group = 6, .row = 2, .store = Store::Number, .guard = u"Renta Imponible Fonasa"},
    {.name = "CuEdCotizaInp", .kind = Ctl::Number, .field = Field::CotInp, .label = u"Cotización IPS", .group = 6, .row = 3, .store = Store::Number, .guard = u"Cotización IPS"},
    {.name = "CBxCodCajaDesa", .kind = Ctl::List, .field = Field::CodExCajaDes, .label = u"Cód. Ex-caja Régimen Desahucio", .group = 6, .row = 4, .store = Store::Number, .add = Add::First, .guard = u"Código ex Caja Desahucio"},
    {.name = "CuEdTasaDesa", .kind = Ctl::Number, .field = Field::TasaExCajaDes, .label = u"Tasa Desahucio", .group = 6, .row = 5, .format = Fmt::TwoDecimals, .store = Store::Number, .guard = u"Tasa ex Caja Desahucio"},
    {.name = "CuEdCotizaDesa", .kind = Ctl::Number, .field = Field::CotDesahucio, .label = u"Cot. Desahucio", .group = 6, .row = 6, .store = Store::Number, .guard = u"Cotización Desahucio"},
    {.name = "CuEdRentaImpDes", .kind = Ctl::Number, .field = Field::RentaImpDes, .label = u"Renta Imp. Desahucio", .group = 6, .row = 7, .store = Store::Number, .guard = u"Renta Impon. Desahucio"},
    {.name = "CuEdCotFonasa", .kind = Ctl::Number, .field = Field::CotizaFonasa, .label = u"Cot. Fonasa", .group = 6, .row = 8, .store = Store::Number, .guard = u"Cotización Fonasa"},
    {.name = "CuEdAccidentes", .kind = Ctl::Number, .field = Field::CotAccTrabInp, .label = u"Cot. Acc. Trabajo", .group = 6, .row = 9, .store = Store::Number, .guard = u"Cot. Accidente Trab. ISL"},
    {.name = "CuEdLey", .kind = Ctl::Number, .field = Field::BoniLey, .label = u"Bonif. Ley 15.386", .group = 6, .row = 10, .store = Store::Number, .guard = u"Bonificación Ley 15.386"},
    {.name = "CuEdDescCargas", .kind = Ctl::Number, .field = Field::DescCargasFamInp, .label = u"Desc. Cargas Fam.", .group = 6, .row = 11, .store = Store::Number, .guard = u"Desc. Cargas Familiares IPS"},
    {.name = "CuEdBonoGob", .kind = Ctl::Number, .field = Field::BonosGob, .label = u"M.C.C.", .group = 6, .row = 12, .store = Store::Number, .guard = u"M.C.C."},
    // Tab 3, health insurer
    {.name = "CBxIsapre", .kind = Ctl::List, .field = Field::CodInstSalud, .label = u"Cód. Institución de Salud", .group = 7, .row = 0, .col = 0, .store = Store::Number, .add = Add::First, .guard = u"Código Instit. Salud"},
    {.name = "CuEdNumeroFun", .kind = Ctl::Digits, .field = Field::NumFun, .label = u"Nº FUN / Poliza MCC", .group = 7, .row = 0, .col = 1, .guard = u"Número FUN / Póliza MCC"},
    {.name = "CuedImpoSalud", .kind = Ctl::Number, .field = Field::ImpoIsapre, .label = u"Imponible", .group = 7, .row = 1, .col = 0, .store = Store::Number, .guard = u"Imponible Isapre"},
    {.name = "RGpMonedaPlan", .kind = Ctl::Radio, .field = Field::MonedaPlan, .label = u"Moneda Plan Pactado", .group = 7, .row = 1, .col = 1, .columns = 2, .none = "2", .add = Add::Item0},
    {.name = "CuEdCotPactada", .kind = Ctl::Number, .field = Field::CotPactada, .label = u"Cot. Pactada", .group = 7, .row = 2, .col = 0, .decimalsWhenFraction = true, .store = Store::Number, .guard = u"Cotiza. Pacatada Isapre"},
    {.name = "CuEdCotizaIsap", .kind = Ctl::Number, .field = Field::CotObliIsa, .label = u"Cotización Isapre", .group = 7, .row = 2, .col = 1, .store = Store::Number, .guard = u"Cotiz. Obligatoria Isapre"},
    {.name = "CuEdCotAdicio", .kind = Ctl::Number, .field = Field::CotAdVol, .label = u"Cot. Adic. Vol.", .group = 7, .row = 3, .col = 0, .store = Store::Number, .guard = u"Cotiz. Adicional Isapre"},
    {.name = "CuEdMontoGes", .kind = Ctl::Number, .field = Field::MontoGes, .label = u"Tipo Poliza MCC", .group = 7, .row = 3, .col = 1, .store = Store::Number, .guard = u"Tipo Póliza MCC"},
    // Tab 4, CCAF
    {.name = "CBxCodigoCcaf", .kind = Ctl::List, .field = Field::CodCcaf, .label = u"Código CCAF", .group = 8, .row = 0, .col = 0, .store = Store::Number, .add = Add::First, .guard = u"Código CCAF"},
    {.name = "CuEdImpoCCAF", .kind = Ctl::Number, .field = Field::ImpoCcaf, .label = u"Imponible", .group = 8, .row = 0, .col = 1, .store = Store::Number, .guard = u"Imponible CCAF"},
    {.name = "CuEdCredPerso", .kind = Ctl::Number, .field = Field::CredPerCcaf, .label = u"Créd. Personales", .group = 8, .row = 0, .col = 2, .store = Store::Number, .guard = u"Créditos Personales CCAF"},
    {.name = "CuEdDescDental", .kind = Ctl::Number, .field = Field::DescDental, .label = u"Desc. Dental", .group = 8, .row = 1, .col = 0, .store = Store::Number, .guard = u"Descuento Dental CCAF"},
    {.name = "CuEdDescLeas", .kind = Ctl::Number, .field = Field::DescLeassing, .label = u"Desc. por Leassing", .group = 8, .row = 1, .col = 1, .store = Store::Number, .guard = u"Descuento Leassing CCAF"},
    {.name = "CuEdSeguroVida", .kind = Ctl::Number, .field = Field::DescSegVida, .label = u"Seguro de Vida", .group = 8, .row = 1, .col = 2, .store = Store::Number, .guard = u"Descuento Seguro de Vida"},
    {.name = "CuEdOtrosDesc", .kind = Ctl::Number, .field = Field::OtrosDescCcaf, .label = u"Otros Desc.", .group = 8, .row = 2, .col = 0, .store = Store::Number, .guard = u"Otros Descuentos CCAF"},
    {.name = "CuEdCotizaCCAF", .kind = Ctl::Number, .field = Field::CotCcaf, .label = u"Cotización a CCAF", .group = 8, .row = 2, .col = 1, .store = Store::Number, .guard = u"Cotización CCAF"},
    {.name = "CuEdCarFamCcaf", .kind = Ctl::Number, .field = Field::DescCarFam, .label = u"Cargas Fam.", .group = 8, .row = 2, .col = 2, .store = Store::Number, .guard = u"Desc. Cargas Fam. CCAF"},
    {.name = "CuEdOtrosCCAF1", .kind = Ctl::Number, .field = Field::OtrosDescCcaf1, .label = u"R.I.M.A.", .group = 8, .row = 3, .col = 0, .store = Store::Number, .guard = u"R.I.M.A."},
    {.name = "CuEdBonoGobCCAF", .kind = Ctl::Number, .field = Field::BonoGobCcaf, .label = u"Cot. Exp. Vida", .group = 8, .row = 3, .col = 1, .store = Store::Number, .guard = u"Cotiza. Expect. Vida"},
    {.name = "EdSucurCCAF", .kind = Ctl::Text, .field = Field::CodSucurCcaf, .label = u"Cot. Renta. Protegida", .group = 8, .row = 3, .col = 2, .guard = u"Cotiza. Renta Protegida"},
    {.name = "RadioGroup1", .kind = Ctl::Radio, .field = Field::OtrosDescCcaf2, .label = u"Tipo de Jornada", .group = 8, .row = 4, .col = 0, .columns = 2, .start = 0, .none = "0"},
    // Tab 4, mutual
    {.name = "CBxMutual", .kind = Ctl::List, .field = Field::CodMutual, .label = u"Código Mutual", .group = 9, .row = 0, .col = 0, .store = Store::Number, .add = Add::First, .guard = u"Código Mutual"},
    {.name = "CuEdImpoMutual", .kind = Ctl::Number, .field = Field::ImpoMutual, .label = u"Imponible", .group = 9, .row = 0, .col = 1, .store = Store::Number, .guard = u"Imponible Mutual"},
    {.name = "CuEdCotMutual", .kind = Ctl::Number, .field = Field::CotizaMutual, .label = u"Cot. Mutual", .group = 9, .row = 0, .col = 2, .store = Store::Number, .guard = u"Cotización Mutual"},
    {.name = "CuEdSucursal", .kind = Ctl::Number, .field = Field::SucurMutual, .label = u"Sucursal", .group = 9, .row = 1, .col = 0, .size = 3, .store = Store::Number, .guard = u"Sucursal Mutual"},
    // Tab 4, unemployment fund
    {.name = "CuEdImpoCesantia", .kind = Ctl::Number, .field = Field::RentaImpoSc, .label = u"Imponible Seg. Cesantía", .group = 10, .row = 0, .col = 0, .store = Store::Number},
    {.name = "CuEdAporteTrab", .kind = Ctl::Number, .field = Field::AporteTrabSc, .label = u"Aporte Trabajador", .group = 10, .row = 0, .col = 1, .store = Store::Number},
    {.name = "CuEdAporteEmp", .kind = Ctl::Number, .field = Field::AporteEmpSc, .label = u"Aporte Empleador", .group = 10, .row = 0, .col = 2, .store = Store::Number},
    // Tab 4, cost centre (before the subsidy payer in keyboard order)
    {.name = "EdCentroCosto", .kind = Ctl::Text, .field = Field::CentroCosto, .label = u"Centro Costo", .group = 12, .row = 0, .col = 0},
    // Tab 4, subsidy payer: RUT, a dash, the check digit
    {.name = "EdRutPagSub", .kind = Ctl::Rut, .field = Field::RutPagSubs, .label = u"RUT", .group = 11, .row = 0, .col = 0, .size = 10, .none = "0", .owner = u"del pagador de subsidios"},
    {.name = "EdDVPagSub", .kind = Ctl::Check, .field = Field::DvPagSubs, .label = u"-", .group = 11, .row = 0, .col = 1},
};
// clang-format on
constexpr int kControlCount = int(std::size(kControls));
static_assert(kControlCount == kFieldCount, "one control per field");

// A failure while storing a field of a control with a guard label names
// that label in "Error en el campo"; any other shows the error as it is.
bool guarded(const ControlDef& d) {
    return d.guard != nullptr;
}

int fieldOf(const ControlDef& d) {
    return fieldIndex(d.field);
}

// The values a radio group offers, in the order of its items.
std::vector<AllowedValue> choicesOf(const ControlDef& d) {
    std::vector<AllowedValue> choices;
    if (const FieldValues* v = valuesOf(d.field))
        for (const AllowedValue& a : v->allowed())
            if (a.caption) choices.push_back(a);
    return choices;
}

QStringList captionsOf(const ControlDef& d) {
    QStringList captions;
    for (const AllowedValue& a : choicesOf(d))
        captions << QString::fromUtf16(a.caption);
    return captions;
}

// The most a number edit takes; 0: no maximum.
double maximumOf(const ControlDef& d) {
    const FieldValues* v = valuesOf(d.field);
    return v && v->range ? v->range->maximum : 0;
}

// ---- what storing gives --------------------------------------------------------

// What one control puts into its field: nothing, a text or a number.
struct Outcome {
    enum Kind { Leave, Text, Number } kind = Leave;
    QString text;
    double number = 0;
    static Outcome leave() { return {}; }
    static Outcome of(QString t) { return {Text, std::move(t), 0}; }
    static Outcome of(double v) { return {Number, {}, v}; }
};

// A check that stops the storing with its own message, tab and focus.
struct CheckFailure {
    QString message;
    int control;
};

double readNumber(const QString& text) {
    if (const auto v = numtext::parseDecimal(text)) return *v;
    throw ConversionError(QStringLiteral("«%1» no es un número válido.").arg(excerpt(text)));
}

// A RUT of nothing or zeros is no RUT, as the line checks read it.
bool isNoRut(const QString& digits) {
    for (QChar c : digits)
        if (c != u'0') return false;
    return true;
}

// The characters a text box takes: what its field holds, and no more than
// the field's columns in the position form.
int textLength(const ControlDef& d) {
    const FieldDef& f = def(d.field);
    return f.kind == Kind::Text ? std::min(f.size, f.width) : f.width;
}

} // namespace

// ---- creation ------------------------------------------------------------------

TFrmDatosSolvanta::TFrmDatosSolvanta(RxMem& table, bool adding, QWidget* parent,
                                     const CodeTableFile& codes)
    : QDialog(parent), table_(table), codes_(codes),
      checker_(std::make_unique<LineChecker>(codes_)), adding_(adding) {
    setObjectName(QStringLiteral("FrmDatosSolvanta"));
    setWindowTitle(QStringLiteral("Modificar Datos"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Midlight));
    setPalette(pal);

    tabs_ = new HighlightTabWidget(this);
    tabs_->setObjectName(QStringLiteral("PageControl1"));
    tabs_->bar()->setExpanding(false);
    tabs_->bar()->setUsesScrollButtons(false);
    buildControls();

    const OkCancel buttons = okCancelPanel(this, "Panel1");
    QFrame* bottom = buttons.panel;
    acceptButton_ = buttons.ok;
    cancelButton_ = buttons.cancel;
    setTabOrder(controls_.back(), acceptButton_);
    setTabOrder(acceptButton_, cancelButton_);

    // One caption for both ways in; this line says which it is.
    modeLabel_ = new QLabel(this);
    modeLabel_->setObjectName(QStringLiteral("LblModo"));
    QFont bold = modeLabel_->font();
    bold.setBold(true);
    modeLabel_->setFont(bold);
    showMode();
    QWidget* strip = buildProblemsStrip();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->setSpacing(4);
    layout->addWidget(modeLabel_);
    layout->addWidget(tabs_, 1);
    layout->addWidget(strip);
    layout->addWidget(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(acceptButton_, &QPushButton::clicked, this, &TFrmDatosSolvanta::acceptLine);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(tabs_, &QTabWidget::currentChanged, this, &TFrmDatosSolvanta::highlightOtherTabs);
    readCodeLists();
}

TFrmDatosSolvanta::~TFrmDatosSolvanta() {
    // Closing moves the focus, and a list reports that as a choice: not to
    // this window any more, whose members go first.
    for (const QMetaObject::Connection& c : inputConnections_)
        disconnect(c);
}

namespace {

// One page a tab, each with its grid.
std::vector<QGridLayout*> buildTabs(HighlightTabWidget* pages) {
    std::vector<QGridLayout*> tabGrids;
    for (const TabDef& t : kTabs) {
        auto* page = new QWidget;
        auto* grid = new QGridLayout(page);
        grid->setContentsMargins(8, 8, 8, 8);
        grid->setSpacing(8);
        pages->addTab(page, QString::fromUtf16(t.caption));
        tabGrids.push_back(grid);
    }
    for (int t = 0; t < int(tabGrids.size()); ++t)
        pages->widget(t)->setObjectName(QStringLiteral("TabSheet%1").arg(t + 1));
    return tabGrids;
}

// The framed groups on their tabs, with the headings inside them; the grid
// of each group.
std::vector<QGridLayout*> buildGroups(const std::vector<QGridLayout*>& tabGrids) {
    std::vector<QGridLayout*> groupGrids;
    for (const GroupDef& g : kGroups) {
        auto* box = new QGroupBox(QString::fromUtf16(g.caption));
        auto* grid = new QGridLayout(box);
        grid->setContentsMargins(8, 6, 8, 6);
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(5);
        if (g.packed)
            grid->setColumnStretch(2 * g.pairs, 1);
        else
            for (int c = 0; c < g.pairs; ++c)
                grid->setColumnStretch(2 * c + 1, 1);
        tabGrids[std::size_t(g.tab)]->addWidget(box, g.row, g.col, g.rowSpan, 1, Qt::AlignTop);
        groupGrids.push_back(grid);
    }
    for (QGridLayout* grid : tabGrids)
        grid->setRowStretch(grid->rowCount(), 1);
    for (const HeadingDef& h : kHeadings) {
        auto* label = new QLabel(QString::fromUtf16(h.text));
        label->setAlignment(Qt::AlignCenter);
        groupGrids[std::size_t(h.group)]->addWidget(label, h.row, 2 * h.col, 1, 2 * h.span);
    }
    return groupGrids;
}

QString labelOf(const ControlDef& d) {
    return d.label ? QString::fromUtf16(d.label) : QString();
}

// The control of one row of the table, not yet placed.
QWidget* createControl(const ControlDef& d) {
    switch (d.kind) {
    case Ctl::Rut: {
        auto* w = new RutEdit(d.size);
        w->setMaximumWidth(110);
        return w;
    }
    case Ctl::Check: {
        auto* w = new UpperEdit(textLength(d));
        w->setFixedWidth(32);
        return w;
    }
    case Ctl::Text: {
        auto* e = new UpperEdit(textLength(d));
        if (d.store == Store::Count) e->setMaximumWidth(50);
        return e;
    }
    case Ctl::Digits: {
        auto* e = new DigitEdit(textLength(d));
        e->setMaximumWidth(160);
        return e;
    }
    case Ctl::Period: {
        auto* w = new PeriodEdit;
        w->setMaximumWidth(90);
        return w;
    }
    case Ctl::Number: {
        auto* e = new NumberEdit(d.format);
        e->setMaximum(maximumOf(d));
        e->setDecimals(takesDecimals(def(d.field)));
        if (d.size > 0) e->setMaxLength(d.size);
        e->setMaximumWidth(140);
        return e;
    }
    case Ctl::Date: {
        auto* w = new DateEdit;
        w->setMaximumWidth(140);
        return w;
    }
    case Ctl::List:
        return new CodeList;
    case Ctl::Radio: {
        auto* r = new RadioGroup(labelOf(d), captionsOf(d), d.columns);
        r->setItemIndex(d.start);
        return r;
    }
    }
    return nullptr;
}

// The control in its group's grid, after its label (a radio group carries
// its own).
void placeControl(const ControlDef& d, QWidget* w, QGridLayout* grid) {
    if (d.kind == Ctl::Radio) {
        grid->addWidget(w, d.row, 2 * d.col, 1, 2 * d.span);
        return;
    }
    const QString label = labelOf(d);
    const Qt::Alignment align =
        (d.kind == Ctl::Text && d.store != Store::Count) || d.kind == Ctl::List ? Qt::Alignment()
                                                                                : Qt::AlignLeft;
    auto* l = new QLabel(label);
    l->setObjectName(QStringLiteral("Label") + QLatin1String(d.name));
    l->setBuddy(w);
    grid->addWidget(l, d.row, 2 * d.col);
    grid->addWidget(w, d.row, 2 * d.col + 1, 1, 2 * d.span - 1, align);
    w->setAccessibleName(d.kind == Ctl::Check && label == u"-" ? QStringLiteral("DV") : label);
}

} // namespace

void TFrmDatosSolvanta::buildControls() {
    const std::vector<QGridLayout*> groupGrids = buildGroups(buildTabs(tabs_));
    controlOfField_.fill(-1);
    for (int i = 0; i < kControlCount; ++i) {
        const ControlDef& d = kControls[i];
        QWidget* w = createControl(d);
        w->setObjectName(QLatin1String(d.name));
        fieldOfControl_[std::size_t(i)] = fieldOf(d);
        controlOfField_[std::size_t(fieldOf(d))] = i;
        placeControl(d, w, groupGrids[std::size_t(d.group)]);
        controls_.push_back(w);
    }
    connectRutChecks();
    connectInput();
    setKeyboardOrder();
}

void TFrmDatosSolvanta::connectInput() {
    // What the user does to a control (a key typed, an item chosen, a
    // click), never what loading a line does to it.
    touched_.assign(std::size_t(kControlCount), false);
    for (int i = 0; i < kControlCount; ++i) {
        QWidget* w = controls_[std::size_t(i)];
        const auto touch = [this, i] { touched_[std::size_t(i)] = true; };
        if (auto* r = qobject_cast<RadioGroup*>(w)) {
            for (int b = 0; b < r->count(); ++b)
                inputConnections_.push_back(
                    connect(r->button(b), &QAbstractButton::clicked, this, touch));
        } else if (auto* list = qobject_cast<CodeList*>(w)) {
            inputConnections_.push_back(connect(list, &QComboBox::activated, this, touch));
            inputConnections_.push_back(
                connect(list->lineEdit(), &QLineEdit::textEdited, this, touch));
        } else if (auto* date = qobject_cast<DateEdit*>(w)) {
            inputConnections_.push_back(connect(date, &DateEdit::edited, this, touch));
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            inputConnections_.push_back(connect(edit, &QLineEdit::textEdited, this, touch));
        }
    }
}

void TFrmDatosSolvanta::connectRutChecks() {
    // A check character written in a RUT box ("12.345.678-5") goes to the
    // check-digit box beside it, which follows it in the table.
    for (int i = 0; i + 1 < kControlCount; ++i)
        if (kControls[i].kind == Ctl::Rut && kControls[i + 1].kind == Ctl::Check) {
            auto* check = static_cast<UpperEdit*>(controls_[std::size_t(i + 1)]);
            // The user wrote it: the check-digit box counts as changed.
            connect(static_cast<RutEdit*>(controls_[std::size_t(i)]), &RutEdit::checkTyped, check,
                    [this, check, i](QChar c) {
                        check->setValue(QString(c));
                        touched_[std::size_t(i + 1)] = true;
                    });
        }
}

void TFrmDatosSolvanta::setKeyboardOrder() {
    // The order of the control table, each button of a radio group a stop.
    QWidget* previous = nullptr;
    for (QWidget* w : controls_) {
        QList<QWidget*> stops{w};
        if (auto* r = qobject_cast<RadioGroup*>(w)) {
            stops.clear();
            for (int i = 0; i < r->count(); ++i)
                stops << r->button(i);
        }
        for (QWidget* s : stops) {
            if (previous) setTabOrder(previous, s);
            previous = s;
        }
    }
}

void TFrmDatosSolvanta::readCodeLists() {
    tabs_->setCurrentIndex(0);
    highlightOtherTabs(0);
    lists_ = codes_.readSections(codeListSections());
    for (int i = 0; i < kControlCount; ++i) {
        const ControlDef& d = kControls[i];
        if (d.kind != Ctl::List) continue;
        const int listIndex = codeListOfField(fieldOfControl_[std::size_t(i)]);
        QStringList entries = lists_[listIndex];
        if (const char16_t* fixed = codeLists()[std::size_t(listIndex)].fixedEntry)
            entries.prepend(QString::fromUtf16(fixed));
        auto* list = static_cast<CodeList*>(controls_[std::size_t(i)]);
        list->setEntries(entries);
        list->setText(QString());
    }
    // Lookups include the entries offered whatever the file holds.
    for (std::size_t l = 0; l < codeLists().size(); ++l)
        if (const char16_t* fixed = codeLists()[l].fixedEntry)
            lists_[qsizetype(l)].prepend(QString::fromUtf16(fixed));
}

void TFrmDatosSolvanta::highlightOtherTabs(int index) {
    for (int t = 0; t < tabs_->count(); ++t)
        tabs_->setTabHighlighted(t, t != index);
}

// ---- showing -------------------------------------------------------------------

void TFrmDatosSolvanta::showEvent(QShowEvent* event) {
    if (!shown_) {
        shown_ = true;
        showLine();
    }
    QDialog::showEvent(event);
    // Never larger than the screen, and centred on it.
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TFrmDatosSolvanta::showLine() {
    const QDate today = datetext::today();
    Periodo_.nMes = MesFecha(today);
    Periodo_.nAno = AnoFecha(today);
    Periodo_.cMes = QString::number(Periodo_.nMes).rightJustified(2, u'0');
    Periodo_.cAno = QString::number(Periodo_.nAno);
    if (adding_)
        loadDefaults();
    else
        loadLine();
    listProblems();
    controls_.front()->setFocus();
}

void TFrmDatosSolvanta::loadDefaults() {
    for (int i = 0; i < kControlCount; ++i) {
        const ControlDef& d = kControls[i];
        QWidget* w = controls_[std::size_t(i)];
        switch (d.add) {
        case Add::None:
            break;
        case Add::First:
            static_cast<CodeList*>(w)->chooseEntry(0);
            break;
        case Add::Fourth:
            static_cast<CodeList*>(w)->chooseEntry(3);
            break;
        case Add::Period:
            static_cast<PeriodEdit*>(w)->setPeriod(Periodo_.cMes + Periodo_.cAno);
            break;
        case Add::Zero:
            static_cast<QLineEdit*>(w)->setText(QStringLiteral("0"));
            break;
        case Add::Item0:
            static_cast<RadioGroup*>(w)->setItemIndex(0);
            break;
        }
    }
}

namespace {

// The item of a radio group that shows the value; letters match in either
// case.
int radioItem(const ControlDef& d, const QString& value) {
    const std::vector<AllowedValue> choices = choicesOf(d);
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (value.compare(QLatin1String(choices[i].value), Qt::CaseInsensitive) == 0) return int(i);
    // A value offered by no item of its own shows as the item of another.
    if (const FieldValues* v = valuesOf(d.field))
        for (const AllowedValue& a : v->allowed())
            if (a.shownAs && value == QLatin1String(a.value))
                return radioItem(d, QLatin1String(a.shownAs));
    return d.otherwise;
}

// A text that both file forms write without its trailing blanks (the
// position form fills its columns with blanks again, the separator form
// trims) shows without them: a name read from the position form would
// otherwise fill the edit's length with blanks, and what the user typed at
// the name's end would not be taken.
QString withoutFill(const ControlDef& d, int field, const QString& value) {
    const FieldDef& f = kFields[std::size_t(field)];
    if ((d.kind != Ctl::Text && d.kind != Ctl::Digits) || d.store != Store::Text ||
        f.writeRule != WriteRule::T || f.sepUntrimmed)
        return value;
    qsizetype end = value.size();
    while (end > 0 && value[end - 1] == u' ')
        --end;
    return value.left(end);
}

// The state of a control, to tell whether the user changed it.
// The code list of a list control.
const CodeListDef& listOf(const ControlDef& d) {
    return codeLists()[std::size_t(codeListOfField(fieldOf(d)))];
}

QString stateOf(const ControlDef& d, const QWidget* w) {
    switch (d.kind) {
    case Ctl::Rut:
    case Ctl::Check:
    case Ctl::Text:
    case Ctl::Digits:
        return static_cast<const QLineEdit*>(w)->text();
    case Ctl::Period:
        return static_cast<const PeriodEdit*>(w)->value();
    case Ctl::Number: {
        // Text that does not read is a change of its own.
        const auto* e = static_cast<const NumberEdit*>(w);
        return e->problem().isEmpty() ? QString::number(e->value(), 'g', 17) : e->text();
    }
    case Ctl::Date:
        return static_cast<const DateEdit*>(w)->text();
    case Ctl::List:
        return static_cast<const CodeList*>(w)->text();
    case Ctl::Radio:
        return QString::number(static_cast<const RadioGroup*>(w)->itemIndex());
    }
    return {};
}

// What the control stores into its field. `touched`: the user changed it
// since it was loaded (an emptied date empties its field then).
Outcome outcomeOf(const ControlDef& d, const QWidget* w, int index, bool touched) {
    auto orNone = [&](const QString& text) {
        return text.isEmpty() && d.none ? Outcome::of(QString::fromLatin1(d.none))
                                        : Outcome::of(text);
    };
    const QString label = d.label ? QString::fromUtf16(d.label) : QString();
    switch (d.kind) {
    case Ctl::Rut: {
        const auto* e = static_cast<const RutEdit*>(w);
        if (!e->readable())
            throw CheckFailure{QStringLiteral("%1: %2").arg(label, notARut(e->text())), index};
        return orNone(e->value());
    }
    case Ctl::Check:
    case Ctl::Text: {
        const QString text = static_cast<const QLineEdit*>(w)->text();
        if (const QString problem = cp1252::unencodableProblem(text); !problem.isEmpty())
            throw CheckFailure{QStringLiteral("%1: %2").arg(label, problem), index};
        if (d.store != Store::Count) return Outcome::of(text);
        return text.isEmpty() ? Outcome::of(0.0) : Outcome::of(readNumber(text));
    }
    case Ctl::Digits:
        return Outcome::of(static_cast<const QLineEdit*>(w)->text());
    case Ctl::Period: {
        // Whole, or (where the field has an empty form) empty: checkPeriods
        // refused anything else.
        const QString text = static_cast<const PeriodEdit*>(w)->value();
        if (text == QLatin1String("  /    ") && d.none)
            return Outcome::of(QString::fromLatin1(d.none));
        if (const QString problem = periodtext::shownProblem(text); !problem.isEmpty())
            throw CheckFailure{problem, index};
        return Outcome::of(periodtext::stored(text));
    }
    case Ctl::Number: {
        const auto* e = static_cast<const NumberEdit*>(w);
        if (!e->problem().isEmpty())
            throw CheckFailure{QStringLiteral("%1: %2").arg(label, e->problem()), index};
        // The position form never cuts a value: one wider than the field's
        // columns would move every later field of the line.
        const FieldDef& f = def(d.field);
        if (positionLength(f, cp1252::encode(numtext::format(e->value()))) > std::size_t(f.width))
            throw CheckFailure{QStringLiteral("%1: «%2» no cabe en las %3 columnas del campo %4 "
                                              "en el archivo por posición.")
                                   .arg(label, e->text().trimmed())
                                   .arg(f.width)
                                   .arg(fieldTitle(fieldOf(d))),
                               index};
        return Outcome::of(e->value());
    }
    case Ctl::Date: {
        const auto* e = static_cast<const DateEdit*>(w);
        if (e->isBlank()) return touched ? Outcome::of(QString()) : Outcome::leave();
        if (!e->date().isValid())
            throw CheckFailure{
                QStringLiteral("La fecha «%1» no es válida.").arg(e->text().trimmed()), index};
        return Outcome::of(datetext::write(e->date()));
    }
    case Ctl::List: {
        const QString text = static_cast<const CodeList*>(w)->text();
        const CodeListDef& l = listOf(d);
        const QString code = l.wholeEntry ? text : text.left(l.width);
        if (d.check == Check::TipoPago && text.isEmpty())
            throw CheckFailure{QStringLiteral("El Tipo de Pago está vacio"), index};
        if (d.store == Store::Text) return orNone(code);
        const auto v = numtext::parseDecimal(code);
        if (!v && d.check == Check::TipoTrab)
            throw CheckFailure{QStringLiteral("El Tipo de Trabajador no debe quedar en blanco"),
                               index};
        if (!v && d.check == Check::CodMov)
            throw CheckFailure{
                QStringLiteral("El Código Movimiento Personal no debe quedar en blanco"), index};
        return Outcome::of(readNumber(code));
    }
    case Ctl::Radio: {
        const int item = static_cast<const RadioGroup*>(w)->itemIndex();
        return Outcome::of(
            QString::fromLatin1(item >= 0 ? choicesOf(d)[std::size_t(item)].value : d.none));
    }
    }
    return Outcome::leave();
}

} // namespace

void TFrmDatosSolvanta::loadLine() {
    const bool hasLine = !table_.isEmpty();
    const RecordView line = hasLine ? table_.current() : RecordView(nullptr);
    for (int i = 0; i < kControlCount; ++i) {
        const ControlDef& d = kControls[i];
        QWidget* w = controls_[std::size_t(i)];
        const int field = fieldOfControl_[std::size_t(i)];
        const QString value = hasLine ? line.text(field) : QString();
        switch (d.kind) {
        case Ctl::Rut:
            static_cast<RutEdit*>(w)->setText(value);
            break;
        case Ctl::Check:
        case Ctl::Text:
            static_cast<UpperEdit*>(w)->setValue(withoutFill(d, field, value));
            break;
        case Ctl::Digits:
            static_cast<QLineEdit*>(w)->setText(withoutFill(d, field, value));
            break;
        case Ctl::Period:
            if (value != QLatin1String(" ")) static_cast<PeriodEdit*>(w)->setPeriod(value);
            break;
        case Ctl::Number: {
            auto* e = static_cast<NumberEdit*>(w);
            const double v = kFields[std::size_t(field)].kind == Kind::Text
                                 ? numtext::parseDecimal(value).value_or(0.0)
                                 : (hasLine ? line.number(field) : 0.0);
            e->setValue(v);
            if (d.decimalsWhenFraction && v != std::trunc(v)) e->setFormat(Fmt::TwoDecimals);
            break;
        }
        case Ctl::Date:
            static_cast<DateEdit*>(w)->setDate(datetext::read(value).value_or(QDate()));
            break;
        case Ctl::List: {
            QString entry;
            const int listIndex = codeListOfField(field);
            const QStringList& list = lists_[listIndex];
            const CodeListDef& l = codeLists()[std::size_t(listIndex)];
            if (l.letters) {
                // A bracket is a letter: its entry is found by text, the
                // last match winning.
                for (const QString& e : list)
                    if (e.left(1) == value) entry = e;
            } else {
                try {
                    entry = BuscaEnLista(list, l.width, value);
                } catch (const Error&) {
                    entry.clear(); // not a number, or a list entry without a code
                }
            }
            static_cast<CodeList*>(w)->setText(entry);
            break;
        }
        case Ctl::Radio:
            static_cast<RadioGroup*>(w)->setItemIndex(radioItem(d, value.trimmed()));
            break;
        }
    }
    // What the user leaves alone leaves its field alone: the state of every
    // control as loaded, and no input yet.
    loadedState_.clear();
    touched_.assign(std::size_t(kControlCount), false);
    if (!hasLine) return;
    for (int i = 0; i < kControlCount; ++i)
        loadedState_.push_back(stateOf(kControls[i], controls_[std::size_t(i)]));
}

bool TFrmDatosSolvanta::keepsField(int control) const {
    if (adding_ || table_.isEmpty() || loadedState_.empty()) return false;
    const std::size_t i = std::size_t(control);
    return !touched_[i] && stateOf(kControls[control], controls_[i]) == loadedState_[i];
}

// ---- storing -------------------------------------------------------------------

void TFrmDatosSolvanta::fail(int tab, QWidget* focus, const QString& message) {
    if (tab >= 0) tabs_->setCurrentIndex(tab);
    ui::dialogs().inform(this, message);
    if (!focus) return;
    focus->setFocus(Qt::OtherFocusReason);
    // The value to correct is selected, so that what is typed replaces it
    // (a full one-character check digit would otherwise take nothing).
    QLineEdit* edit = qobject_cast<QLineEdit*>(focus);
    if (auto* date = qobject_cast<DateEdit*>(focus)) edit = date->lineEdit();
    if (auto* list = qobject_cast<QComboBox*>(focus)) edit = list->lineEdit();
    if (edit) edit->selectAll();
}

void TFrmDatosSolvanta::acceptLine() {
    ui::guarded(this, [this] {
        if (storeLine()) accept();
    });
}

// ---- the line's problems -----------------------------------------------------

QWidget* TFrmDatosSolvanta::buildProblemsStrip() {
    auto* strip = new QWidget(this);
    problemsList_ = new QListWidget(strip);
    problemsList_->setObjectName(QStringLiteral("ListaProblemas"));
    problemsList_->setAccessibleName(QStringLiteral("Problemas de esta línea"));
    problemsList_->setMaximumHeight(4 * problemsList_->fontMetrics().height() + 8);
    problemsList_->hide();
    auto* previous = new QPushButton(QStringLiteral("A&nterior con problemas"), strip);
    previous->setObjectName(QStringLiteral("BtnAnterior"));
    previous->setToolTip(QStringLiteral("Graba esta línea y muestra la anterior con problemas "
                                        "(Mayús+F8)"));
    previous->setAutoDefault(false);
    auto* next = new QPushButton(QStringLiteral("Si&guiente con problemas"), strip);
    next->setObjectName(QStringLiteral("BtnSiguiente"));
    next->setToolTip(QStringLiteral("Graba esta línea y muestra la siguiente con problemas (F8)"));
    next->setAutoDefault(false);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(previous);
    buttons->addWidget(next);
    buttons->addStretch();
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(problemsList_, 1);
    row->addStretch();
    row->addLayout(buttons);

    connect(problemsList_, &QListWidget::itemActivated, this,
            &TFrmDatosSolvanta::showProblemControl);
    connect(problemsList_, &QListWidget::itemClicked, this, &TFrmDatosSolvanta::showProblemControl);
    connect(previous, &QPushButton::clicked, this, &TFrmDatosSolvanta::previousWithProblems);
    connect(next, &QPushButton::clicked, this, &TFrmDatosSolvanta::nextWithProblems);
    connect(new QShortcut(QKeySequence(Qt::Key_F8), this), &QShortcut::activated, this,
            &TFrmDatosSolvanta::nextWithProblems);
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8), this), &QShortcut::activated, this,
            &TFrmDatosSolvanta::previousWithProblems);
    return strip;
}

void TFrmDatosSolvanta::showMode() {
    const QLocale spanish(QLocale::Spanish, QLocale::Chile);
    modeLabel_->setText(
        adding_ || table_.isEmpty()
            ? QStringLiteral("Nueva línea")
            : QStringLiteral("Línea %1 de %2")
                  .arg(spanish.toString(table_.row() + 1), spanish.toString(table_.recordCount())));
}

void TFrmDatosSolvanta::listProblems() {
    std::vector<Finding> found;
    if (!adding_ && !table_.isEmpty()) checker_->findRow(table_, table_.row(), found);
    listProblems(found);
}

void TFrmDatosSolvanta::listProblems(const std::vector<Finding>& found) {
    problemsList_->clear();
    std::vector<bool> tabWithProblem(std::size_t(tabs_->count()), false);
    for (const Finding f : found) {
        const LineProblem p = LineChecker::spellRow(table_, table_.row(), f);
        auto* item = new QListWidgetItem(
            QStringLiteral("%1: %2").arg(fieldTitle(p.field), p.problem), problemsList_);
        item->setData(Qt::UserRole, p.field);
        const int control = controlOfField_[std::size_t(p.field)];
        tabWithProblem[std::size_t(kGroups[kControls[control].group].tab)] = true;
    }
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int t = 0; t < tabs_->count(); ++t)
        tabs_->setTabIcon(t, tabWithProblem[std::size_t(t)] ? warning : QIcon());
    problemsList_->setVisible(!found.empty());
}

QStringList TFrmDatosSolvanta::shownProblems() const {
    QStringList out;
    for (int i = 0; i < problemsList_->count(); ++i)
        out << problemsList_->item(i)->text();
    return out;
}

// A problem chosen in the list shows its control, on its tab.
void TFrmDatosSolvanta::showProblemControl(QListWidgetItem* item) {
    if (!item) return;
    const int control = controlOfField_[std::size_t(item->data(Qt::UserRole).toInt())];
    tabs_->setCurrentIndex(kGroups[kControls[control].group].tab);
    controls_[std::size_t(control)]->setFocus(Qt::OtherFocusReason);
}

// The line is stored (in edit, not yet posted): its problems are listed, and
// those in fields the user filled in or changed are asked about first, as
// the line would be rejected for them. Problems the line already had in
// fields left alone are listed only.
bool TFrmDatosSolvanta::confirmProblems() {
    std::vector<Finding> found;
    checker_->findRow(table_, table_.row(), found);
    listProblems(found);
    QStringList asked;
    for (const Finding f : found) {
        const int control = controlOfField_[std::size_t(f.field)];
        if (keepsField(control)) continue;
        const LineProblem p = LineChecker::spellRow(table_, table_.row(), f);
        asked << QStringLiteral("• %1: %2").arg(fieldTitle(p.field), p.problem);
    }
    if (asked.isEmpty()) return true;
    ui::Question q;
    q.caption = QStringLiteral("Atención");
    q.text = QStringLiteral("%1 que Solvanta rechazaría:\n\n%2\n\n¿Grabar la línea de todos "
                            "modos?")
                 .arg(asked.size() == 1
                          ? QStringLiteral("La línea tiene un problema")
                          : QStringLiteral("La línea tiene %1 problemas").arg(asked.size()),
                      asked.join(u'\n'));
    q.icon = ui::Icon::Exclamation;
    q.defaultButton = ui::Button::Cancel;
    if (ui::dialogs().ask(this, q) == ui::Button::Ok) return true;
    showProblemControl(problemsList_->item(0));
    return false;
}

void TFrmDatosSolvanta::nextWithProblems() {
    goToLineWithProblems(1);
}

void TFrmDatosSolvanta::previousWithProblems() {
    goToLineWithProblems(-1);
}

// The line is stored as "Aceptar" stores it; then the window shows the
// nearest line in that direction with problems, to be corrected in turn.
void TFrmDatosSolvanta::goToLineWithProblems(int step) {
    ui::guarded(this, [&] {
        if (!storeLine()) return;
        adding_ = false;
        addAtEnd_ = false;
        std::vector<Finding> found;
        int row = table_.row() + step;
        for (; row >= 0 && row < table_.recordCount(); row += step) {
            found.clear();
            checker_->findRow(table_, row, found);
            if (!found.empty()) break;
        }
        const bool none = row < 0 || row >= table_.recordCount();
        if (!none) table_.moveTo(row);
        // The stored line, or the one found, as a line being modified.
        loadLine();
        listProblems();
        showMode();
        if (none) {
            ui::dialogs().inform(this, step > 0 ? QStringLiteral("No hay líneas con problemas "
                                                                 "después de esta.")
                                                : QStringLiteral("No hay líneas con problemas "
                                                                 "antes de esta."));
            return;
        }
        showProblemControl(problemsList_->item(0));
    });
}

QWidget* TFrmDatosSolvanta::controlOf(Field field) const {
    return controls_[std::size_t(controlOfField_[std::size_t(fieldIndex(field))])];
}

// The checks of the worker's identity, before anything is stored.
bool TFrmDatosSolvanta::checkIdentity() {
    auto* rut = static_cast<RutEdit*>(controlOf(Field::Rut));
    auto* dv = static_cast<QLineEdit*>(controlOf(Field::Dv));
    auto* apePat = static_cast<QLineEdit*>(controlOf(Field::ApePat));
    auto* nombres = static_cast<QLineEdit*>(controlOf(Field::Nombres));
    auto* cargas = static_cast<QLineEdit*>(controlOf(Field::NumCarSim));
    const QString rutValue = rut->value();
    if (!rut->readable()) {
        fail(0, rut, notARut(rut->text()));
        return false;
    }
    if (isNoRut(rutValue)) {
        fail(0, rut, QStringLiteral("Debe ingresar el rut del empleado"));
        return false;
    }
    if (dv->text().isEmpty()) {
        fail(0, dv, QStringLiteral("Debe ingresar el digito verificador del Rut"));
        return false;
    }
    if (!ValidaRut(rutValue + dv->text())) {
        fail(0, dv, QStringLiteral("El Digito verificador no corresponde al Rut"));
        return false;
    }
    if (apePat->text().isEmpty()) {
        fail(0, apePat, QStringLiteral("Ingrese el apellido paterno"));
        return false;
    }
    if (nombres->text().isEmpty()) {
        fail(0, nombres, QStringLiteral("Ingrese el nombre del empleado"));
        return false;
    }
    if (!checkOtherRuts()) return false;
    const int maxDependants = valuesOf(Field::NumCarSim)->range->maximum;
    if (const auto n = numtext::parseWhole(cargas->text()); n && *n > maxDependants) {
        fail(0, cargas,
             QStringLiteral("El número de cargas simples no puede ser mayor a %1")
                 .arg(maxDependants));
        return false;
    }
    return true;
}

// The RUTs besides the worker's, as the line checks hold them: no RUT (empty
// or zeros) is allowed, a RUT needs its check character and the right one.
// Only where the user changed the RUT or its check character: a line left
// alone keeps what it holds, and "Revisar" names it.
bool TFrmDatosSolvanta::checkOtherRuts() {
    for (int i = 0; i + 1 < kControlCount; ++i) {
        const ControlDef& d = kControls[i];
        if (d.kind != Ctl::Rut || !d.owner || kControls[i + 1].kind != Ctl::Check) continue;
        if (keepsField(i) && keepsField(i + 1)) continue;
        auto* rut = static_cast<RutEdit*>(controls_[std::size_t(i)]);
        auto* dv = static_cast<QLineEdit*>(controls_[std::size_t(i + 1)]);
        const int tab = kGroups[d.group].tab;
        const QString owner = QString::fromUtf16(d.owner);
        if (!rut->readable()) {
            fail(tab, rut, notARut(rut->text()));
            return false;
        }
        if (isNoRut(rut->value())) continue;
        if (dv->text().trimmed().isEmpty()) {
            fail(tab, dv,
                 QStringLiteral("Debe ingresar el digito verificador del Rut %1").arg(owner));
            return false;
        }
        if (!ValidaRut(rut->value() + dv->text().trimmed())) {
            fail(tab, dv,
                 QStringLiteral("El Digito verificador no corresponde al Rut %1").arg(owner));
            return false;
        }
    }
    return true;
}

// The periods the user changed: whole ("Hasta" may be empty, its field's
// empty form), and "Hasta" not before "Desde", as the line checks hold them.
bool TFrmDatosSolvanta::checkPeriods() {
    std::optional<int> start, end;
    bool changed = false;
    for (int i = 0; i < kControlCount; ++i) {
        const ControlDef& d = kControls[i];
        if (d.kind != Ctl::Period) continue;
        auto* box = static_cast<PeriodEdit*>(controls_[std::size_t(i)]);
        const QString shown = box->value();
        const std::optional<int> period = periodtext::readShown(shown);
        (d.field == Field::RemuHasta ? end : start) = period;
        if (keepsField(i)) continue;
        changed = true;
        if (shown == QLatin1String("  /    ") && d.none) continue;
        if (!period) {
            fail(kGroups[d.group].tab, box, periodtext::shownProblem(shown));
            return false;
        }
    }
    if (changed && start && end && *end < *start) {
        auto* hasta = controlOf(Field::RemuHasta);
        fail(kGroups[kControls[controlOfField_[std::size_t(fieldIndex(Field::RemuHasta))]].group]
                 .tab,
             hasta, QStringLiteral("El período Hasta es anterior al período Desde."));
        return false;
    }
    return true;
}

// Every field from its control, in field order, into the line opened for it.
// `field` follows the field being stored, for the message of a failure.
void TFrmDatosSolvanta::storeFields(int& field) {
    for (field = 0; field < kFieldCount; ++field) {
        const int i = controlOfField_[std::size_t(field)];
        const ControlDef& d = kControls[i];
        const QWidget* w = controls_[std::size_t(i)];
        if (d.guard) currentLabel_ = QString::fromUtf16(d.guard);
        // A control the user left alone keeps its field's bytes, whatever
        // the editor would make of what it shows (a code's zero fill, a
        // letter in lower case, an empty field).
        if (keepsField(i)) continue;
        const Outcome o = outcomeOf(d, w, i, true);
        if (o.kind == Outcome::Text)
            table_.setText(field, o.text);
        else if (o.kind == Outcome::Number)
            table_.setNumber(field, o.number);
    }
}

bool TFrmDatosSolvanta::storeLine() {
    // A RUT written with its check character, when the button was pressed
    // from the keyboard without leaving the box, hands it on first (a RUT
    // box the user left alone keeps the line's text: zeros in front).
    for (int i = 0; i < kControlCount; ++i)
        if (kControls[i].kind == Ctl::Rut && touched_[std::size_t(i)])
            static_cast<RutEdit*>(controls_[std::size_t(i)])->settle();
    if (!checkIdentity() || !checkPeriods()) return false;

    // Open the line and store every field in field order. Any failure puts
    // the table back as it was before the press: the line goes back to its
    // old values, an added line goes away.
    currentLabel_.clear();
    int field = 0;
    try {
        if (adding_ && addAtEnd_)
            table_.append();
        else if (adding_)
            table_.insert();
        else
            table_.edit();
        storeFields(field);
        if (!confirmProblems()) {
            table_.cancel();
            return false;
        }
        table_.post();
    } catch (const CheckFailure& f) {
        table_.cancel();
        const int tab = kGroups[kControls[f.control].group].tab;
        fail(tab, controls_[std::size_t(f.control)], f.message);
        return false;
    } catch (const Error& e) {
        table_.cancel();
        if (field < kFieldCount && guarded(kControls[controlOfField_[std::size_t(field)]]))
            ui::dialogs().inform(
                this,
                QStringLiteral("Error en el campo \"%1\": %2").arg(currentLabel_, e.message()));
        else
            ui::dialogs().error(this, e.message());
        return false;
    } catch (...) {
        table_.cancel();
        throw;
    }
    return true;
}

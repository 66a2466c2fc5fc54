#include "CodeLists.h"

#include "engine/model/FieldTable.h"

#include <array>
#include <iterator>

namespace solvanta {
namespace {

// clang-format off
const CodeListDef kCodeLists[] = {
    {.section = "TipoPago", .width = 2, .fields = {Field::TipoPago}, .required = true,
     .menuPlace = 0, .menuName = "TipoPago1", .menuCaption = "Tipo &Pago", .editorCaption = "Modifica Tipo de Pago",
     .helpTitle = "Tipo Pago",
     .helpLines = {"Estos datos se refieren al tipo de pago que se está",
                   "declarando, es decir, si corresponde a remuneraciones",
                   "del mes (normal) o gratificaciones o bien si son pagos",
                   "retroactivos a empresas publicas."},
     .massItem = u"Tipo Pago"},
    {.section = "Tipo Trabajador", .width = 1, .fields = {Field::TipoTrab}, .required = true,
     .menuPlace = 1, .menuName = "TipoTrabajador1", .menuCaption = "&Tipo Trabajador", .editorCaption = "Modifica Tipo de Trabajador",
     .helpTitle = "Tipo Trabajador",
     .helpLines = {"Estos datos se refieren a si el trabajador está activo",
                   "(no pensionado) o pensionado aun trabajando o bien",
                   "si es mayor de 60 o 65 años pero nunca ha sido",
                   "pensionado"}},
    {.section = "Movimiento Personal", .width = 1, .fields = {Field::CodMov}, .required = true,
     .menuPlace = 2, .menuName = "MovimientoPersonal1", .menuCaption = "&Movimiento Personal", .editorCaption = "Modifica Movimiento Personal",
     .helpTitle = "Movimiento personal",
     .helpLines = {"Estos datos se refieren a los movimientos del personal",
                   "durante el mes, es decir, faltas, retiros, accidentes del",
                   "trabajo etc."}},
    {.section = "Tramo Familiar", .width = 1, .letters = true, .fields = {Field::TramoFam},
     .menuPlace = 3, .menuName = "TramoAsignacinFamiliar1", .menuCaption = "Tramo &Asignación Familiar", .editorCaption = "Modifica Tramo Familiar",
     .helpTitle = "Tramo Familiar",
     .helpLines = {"Estos datos se refieren a los tramos correspondientes",
                   "a las asignaciones familiares. "}},
    {.section = "Nombre AFP", .width = 2, .fields = {Field::NomAfp, Field::CodAfpVolun},
     .menuPlace = 4, .menuName = "CdigosdeAFP1", .menuCaption = "&Códigos de AFP", .editorCaption = "Modifica AFP",
     .helpTitle = "Nombre AFP",
     .helpLines = {"Estos datos corresponden a los nombres y códigos de ",
                   "las AFP vigentes a la fecha"}},
    {.section = "Codigo Caja", .width = 4, .fields = {Field::CodExCaja, Field::CodExCajaDes},
     .menuPlace = 8, .menuName = "CdigosdeCajasexRgimen1", .menuCaption = "Códigos de Cajas ex &Régimen", .editorCaption = "Modifica Cajas Ex Régimen",
     .helpTitle = "Cajas ex Régimen",
     .helpLines = {"Estos datos corresponden a los nombres y códigos",
                   "de las cajas del ex régimen previsional"}},
    {.section = "Isapres", .width = 2, .fields = {Field::CodInstSalud},
     .menuPlace = 5, .menuName = "CdigosdeIsapres1", .menuCaption = "Códigos de &Isapres", .editorCaption = "Modifica Isapres",
     .helpTitle = "Isapres",
     .helpLines = {"Estos datos corresponden a los nombres y códigos",
                   "de las Isapres vigentes a la fecha"}},
    {.section = "CCAF", .width = 2, .fields = {Field::CodCcaf},
     .menuPlace = 6, .menuName = "NombreCCAF1", .menuCaption = "&Nombre CCAF", .editorCaption = "Modifica CCAF",
     .helpTitle = "Cajas de Compensación",
     .helpLines = {"Estos datos corresponden a los nombres y códigos",
                   "de las cajas de compensación vigentes"},
     .massItem = u"Código CCAF"},
    {.section = "Mutual", .width = 2, .fields = {Field::CodMutual},
     .menuPlace = 7, .menuName = "NombreMutualdeSeguridad1", .menuCaption = "Nombre Mutual de &Seguridad", .editorCaption = "Modifica Mutual de Seguridad",
     .helpTitle = "Mutuales",
     .helpLines = {"Estos datos corresponden a los nombres y códigos",
                   "de las mutuales de seguridad"},
     .massItem = u"Código Mutual"},
    {.section = "APV", .width = 3, .fields = {Field::InstApvi, Field::InstApvc},
     .menuPlace = 9, .menuName = "NombresdeInstAPVAutorizadas1", .menuCaption = "Nombres de Inst. AP&V Autorizadas", .editorCaption = "Modifica APV",
     .helpTitle = "Ahorro Previsional Voluntario",
     .helpLines = {"Estos datos corresponden a las instituciones autorizadas",
                   "para manejar los fondos correspondientes al ahorro ",
                   "previsional voluntario"}},
    {.section = "Tipo Linea", .width = 2, .fields = {Field::TipoLinea}, .wholeEntry = true,
     .menuPlace = 10, .menuName = "TipoLnea1", .menuCaption = "Tipo &Línea", .editorCaption = "Modifica Tipo Linea"},
    // The voluntary affiliate's movement always offers the code that ends
    // the affiliation.
    {.section = "Movimiento Voluntario", .width = 2, .fields = {Field::CodMovPerVolun},
     .fixedEntry = u"10 Cese Cotiza. Afiliado Voluntario"},
};
// clang-format on

} // namespace

std::span<const CodeListDef> codeLists() {
    return kCodeLists;
}

QStringList codeListSections() {
    QStringList sections;
    for (const CodeListDef& l : kCodeLists)
        sections << QString::fromLatin1(l.section);
    return sections;
}

int codeListOfField(int field) {
    static const std::array<int, kFieldCount> listOf = [] {
        std::array<int, kFieldCount> a;
        a.fill(-1);
        for (int i = 0; i < int(std::size(kCodeLists)); ++i)
            for (const std::optional<Field> f : kCodeLists[i].fields)
                // A field of a list already is left alone (the table's test
                // names it).
                if (f && a[std::size_t(fieldIndex(*f))] < 0) a[std::size_t(fieldIndex(*f))] = i;
        return a;
    }();
    return field >= 0 && field < kFieldCount ? listOf[std::size_t(field)] : -1;
}

} // namespace solvanta

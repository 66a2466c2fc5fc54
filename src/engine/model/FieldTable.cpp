#include "FieldTable.h"

#include <QString>

namespace solvanta {

// clang-format off
constexpr std::array<FieldDef, kFieldCount> kFields = {{
    {1, "rut", Kind::Number, 0, u"[1]Rut", 1, 11, WriteRule::Z, LoadRule::Rut, SepRule::Rut, u"[1] Rut", -1, Align::Default, false, false, Value::Rut},
    {2, "dv", Kind::Text, 1, u"[2]dv", 12, 1, WriteRule::H, LoadRule::Text, SepRule::Text, u"[2] DV", -1, Align::Default, true, true, Value::RutCheck},
    {3, "ape_pat", Kind::Text, 30, u"[3]Apellido Paterno", 13, 30, WriteRule::T, LoadRule::Text, SepRule::Text, u"[3] Apellido Paterno", 99, Align::Default, false, false, Value::Plain},
    {4, "ape_mat", Kind::Text, 30, u"[4]Apellido Materno", 43, 30, WriteRule::T, LoadRule::Text, SepRule::Text, u"[4] Apellido Materno", 104, Align::Default, false, false, Value::Plain},
    {5, "nombres", Kind::Text, 30, u"[5]Nombre", 73, 30, WriteRule::T, LoadRule::Text, SepRule::Text, u"[5] Nombre", 138, Align::Default, false, false, Value::Plain},
    {6, "sexo", Kind::Text, 1, u"[6]Sexo", 103, 1, WriteRule::H, LoadRule::Text, SepRule::Text, u"[6] Sexo", 44, Align::Default, false, false, Value::Plain},
    {7, "nacion", Kind::Integer, 0, u"[7]Nacion", 104, 1, WriteRule::H, LoadRule::Integer, SepRule::Integer, u"[7] Nación", -1, Align::Default, false, false, Value::Plain},
    {8, "tipo_pago", Kind::Text, 2, u"[8]Tipo Pago", 105, 2, WriteRule::Z, LoadRule::Whole2, SepRule::Text, u"[8] Tipo Pago", 73, Align::Right, false, false, Value::Plain},
    {9, "remu_desde", Kind::Text, 6, u"[9]Periodo Desde", 107, 6, WriteRule::Z, LoadRule::Text, SepRule::Text, u"[9] Periodo Desde", 93, Align::Default, false, false, Value::Plain},
    {10, "remu_hasta", Kind::Text, 6, u"[10]Periodo Hasta", 113, 6, WriteRule::Z, LoadRule::Text, SepRule::Text, u"[10] Periodo Hasta", 93, Align::Default, false, false, Value::Plain},
    {11, "reg_previ", Kind::Text, 3, u"[11]Régimen", 119, 3, WriteRule::H, LoadRule::Text, SepRule::Text, u"[11] Régimen", 71, Align::Default, false, false, Value::Plain},
    {12, "tipo_trab", Kind::Text, 1, u"[12]Tipo Trabajador", 122, 1, WriteRule::H, LoadRule::Whole0, SepRule::TextOrZero, u"[12] Tipo Trabajador", 103, Align::Right, false, false, Value::Plain},
    {13, "dias_trab", Kind::Text, 2, u"[13]Días Trabajados", 123, 2, WriteRule::Z, LoadRule::Whole00, SepRule::TextOrZero, u"[13] Días Trabajados", 105, Align::Right, false, false, Value::Plain},
    {14, "tipo_linea", Kind::Text, 2, u"[14]Tipo Línea", 125, 2, WriteRule::Z, LoadRule::Text, SepRule::Text, u"[14] Tipo línea", 74, Align::Default, false, false, Value::Plain},
    {15, "cod_mov", Kind::Text, 2, u"[15]Cod. Movi.", 127, 2, WriteRule::Z, LoadRule::Whole00, SepRule::Text, u"[15] Cod. Movi.", 78, Align::Right, true, false, Value::Plain},
    {16, "Fecha_Desde", Kind::Text, 10, u"[16]Fecha Desde", 129, 10, WriteRule::D1, LoadRule::Text, SepRule::Text, u"[16] Fecha Desde", 92, Align::Default, false, false, Value::Plain},
    {17, "Fecha_Hasta", Kind::Text, 10, u"[17]Fecha Hasta", 139, 10, WriteRule::D1, LoadRule::Text, SepRule::Text, u"[17] Fecha Hasta", 87, Align::Default, false, false, Value::Plain},
    {18, "Tramo_Fam", Kind::Text, 1, u"[18]Tramo Fam.", 149, 1, WriteRule::H, LoadRule::Text, SepRule::Text, u"[18] Tramo Fam.", 83, Align::Default, false, false, Value::Plain},
    {19, "num_car_sim", Kind::Text, 2, u"[19]Cargas Simples", 150, 2, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[19] Cargas Simples", 98, Align::Right, false, false, Value::Plain},
    {20, "num_car_mat", Kind::Text, 1, u"[20]Cargas Mat.", 152, 1, WriteRule::H, LoadRule::Whole0, SepRule::Text, u"[20] Cargas Mat.", 85, Align::Right, false, false, Value::Plain},
    {21, "num_car_inv", Kind::Text, 1, u"[21]Cargas Inv.", 153, 1, WriteRule::H, LoadRule::Whole0, SepRule::Text, u"[21] Cargas Inv.", 81, Align::Right, false, false, Value::Plain},
    {22, "asig_fam", Kind::Number, 0, u"[22]Asig. Familiar", 154, 6, WriteRule::Z, LoadRule::Whole0, SepRule::Number, u"[22] Asig. Familiar", 89, Align::Default, false, false, Value::Amount},
    {23, "asig_fam_ret", Kind::Number, 0, u"[23]Asig. RetroAct.", 160, 6, WriteRule::Z, LoadRule::Whole0, SepRule::Number, u"[23] Asig. RetroAct.", 97, Align::Default, false, false, Value::Amount},
    {24, "reint_cargas", Kind::Number, 0, u"[24]Reint. Cargas", 166, 6, WriteRule::Z, LoadRule::Whole0, SepRule::Number, u"[24] Reint. Cargas", 93, Align::Default, false, false, Value::Amount},
    {25, "sub_trab_jov", Kind::Text, 1, u"[25]Sub. Trab. Jov.", 172, 1, WriteRule::H, LoadRule::Text, SepRule::Text, u"[25] Sub. trab. jov.", -1, Align::Default, false, false, Value::Plain},
    {26, "nom_AFP", Kind::Text, 2, u"[26]AFP", 173, 2, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[26] AFP", -1, Align::Right, false, false, Value::Plain},
    {27, "impo_afp", Kind::Number, 0, u"[27]Impo. afp", 175, 8, WriteRule::Z, LoadRule::Whole0, SepRule::Number, u"[27] Impo. afp", 73, Align::Default, false, false, Value::Amount},
    {28, "cot_obli_afp", Kind::Number, 0, u"[28]Cot. AFP", 183, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[28] Cot. AFP", 71, Align::Default, false, false, Value::Amount},
    {29, "aporte_sis", Kind::Number, 0, u"[29]Aporte SIS", 191, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[29] Aporte SIS", -1, Align::Default, false, false, Value::Amount},
    {30, "ahorro_afp", Kind::Number, 0, u"[30]Ahorro AFP", 199, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[30] Ahorro AFP", 84, Align::Default, false, false, Value::Amount},
    {31, "sust_afp", Kind::Number, 0, u"[31]Sust. AFP", 207, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[31] Sust. AFP", 77, Align::Default, false, false, Value::Amount},
    {32, "tasa_pac_afp", Kind::Text, 5, u"[32]Tasa pac AFP", 215, 5, WriteRule::Z, LoadRule::Rate, SepRule::Text, u"[32] Tasa pac. AFP", 98, Align::Right, false, false, Value::Decimal},
    {33, "aporte_indem", Kind::Number, 0, u"[33]Aporte indem.", 220, 9, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[33] Aporte indem.", 94, Align::Default, false, false, Value::Amount},
    {34, "num_per_sust", Kind::Text, 2, u"[34]Num. per. sust.", 229, 2, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[34] Num. per. sust.", 98, Align::Right, false, false, Value::Plain},
    {35, "per_desde_sust", Kind::Text, 10, u"[35]Per. desde sust.", 231, 10, WriteRule::B, LoadRule::Text, SepRule::Text, u"[35] Per. desde sust.", 103, Align::Default, false, false, Value::Plain},
    {36, "per_hasta_sust", Kind::Text, 10, u"[36]Per. hasta sust.", 241, 10, WriteRule::B, LoadRule::Text, SepRule::Text, u"[36] Per. hasta sust.", 102, Align::Default, false, false, Value::Plain},
    {37, "trab_pesado", Kind::Text, 40, u"[37]Trab. pesado", 251, 40, WriteRule::T, LoadRule::Text, SepRule::Text, u"[37] Trab. pesado", 95, Align::Default, false, false, Value::Plain},
    {38, "porc_trab_pesado", Kind::Number, 0, u"[38]% trab. pesado", 291, 5, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[38] % trab. pesado", 101, Align::Default, false, false, Value::Decimal},
    {39, "cot_trab_pesado", Kind::Number, 0, u"[39]Cot. trab. pesado", 296, 6, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[39] Cot. trab. pesado", 107, Align::Default, false, false, Value::Amount},
    {40, "inst_apvi", Kind::Text, 3, u"[40]Inst. APVI", 302, 3, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[40] Inst. APVI", 78, Align::Default, false, false, Value::Plain},
    {41, "num_contra_apvi", Kind::Text, 20, u"[41]Num. contra. APVI", 305, 20, WriteRule::T, LoadRule::Text, SepRule::Text, u"[41] Num. contra. APVI", 115, Align::Default, false, false, Value::Plain},
    {42, "forma_pago_apvi", Kind::Text, 1, u"[42]Forma pago APVI", 325, 1, WriteRule::H, LoadRule::Whole0, SepRule::Text, u"[42] Forma pago APVI", 109, Align::Default, false, false, Value::Plain},
    {43, "cotiza_apvi", Kind::Number, 0, u"[43]Cotiza APVI", 326, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[43] Cotiza APVI", 84, Align::Default, false, false, Value::Amount},
    {44, "cot_dep_conv", Kind::Number, 0, u"[44]Cot. dep. conv.", 334, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[44] Cot. dep. conv.", 101, Align::Default, false, false, Value::Amount},
    {45, "inst_apvc", Kind::Text, 3, u"[45]Inst. APVC", 342, 3, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[45] Inst. APVC", 81, Align::Default, false, false, Value::Plain},
    {46, "num_contra_apvc", Kind::Text, 20, u"[46]Num. contra APVC", 345, 20, WriteRule::T, LoadRule::Text, SepRule::Text, u"[46] Num. contra. APVC", 122, Align::Default, false, false, Value::Plain},
    {47, "forma_pago_apvc", Kind::Text, 1, u"[47]Forma pago APVC", 365, 1, WriteRule::H, LoadRule::Whole0, SepRule::Text, u"[47] Forma pago APVC", 116, Align::Default, false, false, Value::Plain},
    {48, "cotiza_apvc", Kind::Number, 0, u"[48]Cotiza APVC", 366, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[48] Cotiza APVC", 86, Align::Default, false, false, Value::Amount},
    {49, "cot_emp_apvc", Kind::Number, 0, u"[49]Cot. emp. APVC", 374, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[49] Cot. emp. APVC", 106, Align::Default, false, false, Value::Amount},
    {50, "rut_afi_volun", Kind::Text, 11, u"[50]Rut afi. volun.", 382, 11, WriteRule::Z, LoadRule::Decimal, SepRule::Text, u"[50] Rut afi. volun.", 92, Align::Default, false, false, Value::Rut},
    {51, "dv_afi_volun", Kind::Text, 1, u"[51]Dv. afi. volun.", 393, 1, WriteRule::T, LoadRule::Text, SepRule::Text, u"[51] Dv. afi. volun.", 96, Align::Default, false, false, Value::RutCheck},
    {52, "ape_pat_volun", Kind::Text, 30, u"[52]Ape. pat. volun.", 394, 30, WriteRule::T, LoadRule::Text, SepRule::Text, u"[52] Ape. pat. volun.", 99, Align::Default, false, false, Value::Plain},
    {53, "ape_mat_volun", Kind::Text, 30, u"[53]Ape. mat. volun.", 424, 30, WriteRule::T, LoadRule::Text, SepRule::Text, u"[53] Ape. mat. volun.", 105, Align::Default, false, false, Value::Plain},
    {54, "nombre_volun", Kind::Text, 30, u"[54]Nombre volun.", 454, 30, WriteRule::T, LoadRule::Text, SepRule::Text, u"[54] Nombre volun.", 98, Align::Default, false, false, Value::Plain},
    {55, "cod_mov_per_volun", Kind::Text, 2, u"[55]Cod. mov. per.", 484, 2, WriteRule::Z, LoadRule::Text, SepRule::Text, u"[55] Cod. mov. per. volun.", 94, Align::Default, false, false, Value::Plain},
    {56, "fec_desde_volun", Kind::Text, 10, u"[56]Fec. desde volun.", 486, 10, WriteRule::D2, LoadRule::Text, SepRule::Text, u"[56] Fec. desde volun.", 113, Align::Default, false, false, Value::Plain},
    {57, "fec_hasta_volun", Kind::Text, 10, u"[57]Fec. hasta volun.", 496, 10, WriteRule::D2, LoadRule::Text, SepRule::Text, u"[57] Fec. hasta volun.", 109, Align::Default, false, false, Value::Plain},
    {58, "cod_afp_volun", Kind::Text, 2, u"[58]Cod. afp volun.", 506, 2, WriteRule::Z, LoadRule::Decimal, SepRule::Text, u"[58] Cod. afp volun.", 103, Align::Default, false, false, Value::Plain},
    {59, "monto_cap_volun", Kind::Number, 0, u"[59]Monto cap. volun.", 508, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[59] Monto cap. volun.", -1, Align::Default, false, false, Value::Amount},
    {60, "monto_aho_vol", Kind::Number, 0, u"[60]Monto aho. vol.", 516, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[60] Monto aho. vol.", 104, Align::Default, false, false, Value::Amount},
    {61, "num_per_cotiza", Kind::Text, 2, u"[61]Num. per. cotiza.", 524, 2, WriteRule::Z, LoadRule::Decimal, SepRule::Text, u"[61] Num. per. cotiza.", 110, Align::Default, false, false, Value::Plain},
    {62, "cod_ex_caja", Kind::Text, 4, u"[62]Cod. ex caja", 526, 4, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[62] Cod. ex caja", 90, Align::Right, false, false, Value::Plain},
    {63, "tasa_ex_caja", Kind::Number, 0, u"[63]Tasa ex caja", 530, 5, WriteRule::Z, LoadRule::Rate, SepRule::Number, u"[63] Tasa ex caja", 95, Align::Default, false, false, Value::Decimal},
    {64, "renta_imp_fonasa", Kind::Number, 0, u"[64]Renta imp. fonasa", 535, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[64] Renta imp. fonasa", 119, Align::Default, false, false, Value::Amount},
    {65, "cot_INP", Kind::Number, 0, u"[65]Cot. INP", 543, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[65] Cot. INP", 73, Align::Default, false, false, Value::Amount},
    {66, "Renta_imp_des", Kind::Number, 0, u"[66]Renta desahu.", 551, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[66] Renta desahu.", 96, Align::Default, false, false, Value::Amount},
    {67, "cod_ex_caja_des", Kind::Text, 4, u"[67]Cod. ex caja des.", 559, 4, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[67] Cod. ex caja des.", 111, Align::Right, false, false, Value::Plain},
    {68, "tasa_ex_caja_des", Kind::Number, 0, u"[68]Tasa ex caja des.", 563, 5, WriteRule::Z, LoadRule::Rate, SepRule::Number, u"[68] Tasa ex caja des.", 112, Align::Default, false, false, Value::Decimal},
    {69, "cot_desahucio", Kind::Number, 0, u"[69]Cot. desahucio", 568, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[69] Cot. desahucio", 101, Align::Default, false, false, Value::Amount},
    {70, "cotiza_fonasa", Kind::Number, 0, u"[70]Cotiza Fonasa", 576, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[70] Cotiza Fonasa", 100, Align::Default, false, false, Value::Amount},
    {71, "cot_acc_trab_inp", Kind::Number, 0, u"[71]Cot. acc.trab.INP", 584, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[71] Cot. acc.trab.INP", 111, Align::Default, false, false, Value::Amount},
    {72, "boni_ley", Kind::Number, 0, u"[72]Boni Ley", 592, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[72] Boni. Ley", 76, Align::Default, false, false, Value::Amount},
    {73, "desc_cargas_fam_inp", Kind::Number, 0, u"[73]Cargas fam. INP", 600, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[73] Cargas.fam.INP", 104, Align::Default, false, false, Value::Amount},
    {74, "bonos_gob", Kind::Number, 0, u"[74]MCC (Uso Futuro)", 608, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[74] MCC (Uso Futuro)", 141, Align::Default, false, false, Value::Amount},
    {75, "cod_inst_salud", Kind::Text, 2, u"[75]Cod. Inst. Salud", 616, 2, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[75] Cod.Inst.Salud", 99, Align::Right, false, false, Value::Plain},
    {76, "num_FUN", Kind::Text, 16, u"[76]Num. FUN", 618, 16, WriteRule::T, LoadRule::Text, SepRule::Text, u"[76] Nº FUN", 144, Align::Right, false, false, Value::Plain},
    {77, "impo_isapre", Kind::Number, 0, u"[77]Impo. Isapre", 634, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[77] Impo. Isapre", 89, Align::Default, false, false, Value::Amount},
    {78, "moneda_plan", Kind::Text, 1, u"[78]Moneda Plan", 642, 1, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[78] Moneda Plan", 95, Align::Right, false, false, Value::Plain},
    {79, "cot_pactada", Kind::Number, 0, u"[79]Cot. pactada", 643, 8, WriteRule::Z, LoadRule::Rate, SepRule::Number, u"[79] Cot. pactada", 92, Align::Default, false, false, Value::Decimal},
    {80, "cot_obli_isa", Kind::Number, 0, u"[80]Cot. Obli. Isapre", 651, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[80] Cot. Obli. Isapre", 105, Align::Default, false, false, Value::Amount},
    {81, "cot_ad_vol", Kind::Number, 0, u"[81]Cot. ad.vol.", 659, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[81] Cot. ad. vol.", 84, Align::Default, false, false, Value::Amount},
    {82, "monto_ges", Kind::Number, 0, u"[82]Tipo Poliza MCC (Uso Futuro)", 667, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[82] Tipo Poliza MCC (Uso Futuro)", 109, Align::Default, false, false, Value::Whole},
    {83, "cod_CCAF", Kind::Text, 2, u"[83]Cod. CCAF", 675, 2, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[83] Cod. CCAF", 84, Align::Right, false, false, Value::Plain},
    {84, "impo_ccaf", Kind::Number, 0, u"[84]Impo. CCAF", 677, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[84] Impo. CCAF", 84, Align::Default, false, false, Value::Amount},
    {85, "Cred_per_CCAF", Kind::Number, 0, u"[85]Cred. per. CCAF", 685, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[85] Cred. per.CCAF", -1, Align::Default, false, false, Value::Amount},
    {86, "Desc_Dental", Kind::Number, 0, u"[86]Desc. Dental", 693, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[86] Desc. Dental", 95, Align::Default, false, false, Value::Amount},
    {87, "desc_leassing", Kind::Number, 0, u"[87]Desc. leassing", 701, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[87] Desc. leassing", 98, Align::Default, false, false, Value::Amount},
    {88, "desc_seg_vida", Kind::Number, 0, u"[88]Desc. seg. vida", 709, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[88] Desc.seg.vida", 96, Align::Default, false, false, Value::Amount},
    {89, "otros_desc_ccaf", Kind::Number, 0, u"[89]Otros desc. CCAF", 717, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[89] Otros desc.CCAF", 112, Align::Default, false, false, Value::Amount},
    {90, "cot_CCAF", Kind::Number, 0, u"[90]Cot. CCAF", 725, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[90] Cot. CCAF", 80, Align::Default, false, false, Value::Amount},
    {91, "Desc_Car_fam", Kind::Number, 0, u"[91]Car. fam. CCAF", 733, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[91] Car. fam. CCAF", 103, Align::Default, false, false, Value::Amount},
    {92, "otros_desc_ccaf1", Kind::Number, 0, u"[92]R.I.M.A.", 741, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[92] R.I.M.A.", 117, Align::Default, false, false, Value::Amount},
    {93, "otros_desc_ccaf2", Kind::Number, 0, u"[93]Tipo Jornada", 749, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[93] Tipo Jornada", 126, Align::Default, false, false, Value::Whole},
    {94, "bono_gob_ccaf", Kind::Number, 0, u"[94]Cot. Expectativa Vida", 757, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[94] Cot. Exp. Vida", 112, Align::Default, false, false, Value::Amount},
    {95, "cod_sucur_ccaf", Kind::Text, 20, u"[95]Cot. Renta Protegida", 765, 20, WriteRule::T, LoadRule::Decimal, SepRule::Text, u"[95] Cot. Rent. Proteg.", 116, Align::Default, false, false, Value::Plain},
    {96, "cod_mutual", Kind::Text, 2, u"[96]Cod. Mutual", 785, 2, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[96] Cod. Mutual", 87, Align::Right, false, false, Value::Plain},
    {97, "impo_mutual", Kind::Number, 0, u"[97]Impo. mutual", 787, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[97] Impo. mutual", 91, Align::Default, false, false, Value::Amount},
    {98, "cotiza_mutual", Kind::Number, 0, u"[98]Cotiza Mutual", 795, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[98] Cotiza. Mutual", 98, Align::Default, false, false, Value::Amount},
    {99, "sucur_mutual", Kind::Text, 3, u"[99]Sucur. Mutual", 803, 3, WriteRule::Z, LoadRule::Whole0, SepRule::Text, u"[99] Sucur. Mutual", 96, Align::Right, false, false, Value::Plain},
    {100, "Renta_impo_SC", Kind::Number, 0, u"[100]Renta impo SC", 806, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[100] Renta impo.SC", 107, Align::Default, false, false, Value::Amount},
    {101, "Aporte_trab_SC", Kind::Number, 0, u"[101]Aporte trab. SC", 814, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[101] Aporte trab.SC", 106, Align::Default, false, false, Value::Amount},
    {102, "aporte_emp_SC", Kind::Number, 0, u"[102]Aporte empleador", 822, 8, WriteRule::Z, LoadRule::Decimal, SepRule::Number, u"[102] Aporte empleador", 119, Align::Default, false, false, Value::Amount},
    {103, "rut_pag_subs", Kind::Text, 11, u"[103]Rut pag. subs.", 830, 11, WriteRule::Z, LoadRule::Decimal, SepRule::Text, u"[103] Rut. pag. subs.", 108, Align::Default, false, false, Value::Rut},
    {104, "dv_pag_subs", Kind::Text, 1, u"[104]dv", 841, 1, WriteRule::B, LoadRule::Text, SepRule::Text, u"[104] dv", 47, Align::Default, false, false, Value::RutCheck},
    {105, "centro_costo", Kind::Text, 20, u"[105]Centro costo", 842, 20, WriteRule::T, LoadRule::Text, SepRule::Text, u"[105] Centro costo", 92, Align::Default, false, false, Value::Plain},
}};
// clang-format on

// The check character of a RUT is the field right after its number.
constexpr bool checksFollowRuts() {
    for (int f = 0; f < kFieldCount; ++f)
        if ((kFields[std::size_t(f)].value == Value::Rut) !=
            (f + 1 < kFieldCount && kFields[std::size_t(f) + 1].value == Value::RutCheck))
            return false;
    return true;
}
static_assert(checksFollowRuts(), "each RUT number is followed by its check character");

// Each enumerator of Field with its spelling, to check it against the
// field's declared name.
struct FieldId {
    Field field;
    const char* id;
};
// clang-format off
#define SOLVANTA_FIELD_ID(id) FieldId{Field::id, #id}
constexpr FieldId kFieldIds[] = {
    SOLVANTA_FIELD_ID(Rut), SOLVANTA_FIELD_ID(Dv), SOLVANTA_FIELD_ID(ApePat),
    SOLVANTA_FIELD_ID(ApeMat), SOLVANTA_FIELD_ID(Nombres), SOLVANTA_FIELD_ID(Sexo),
    SOLVANTA_FIELD_ID(Nacion), SOLVANTA_FIELD_ID(TipoPago), SOLVANTA_FIELD_ID(RemuDesde),
    SOLVANTA_FIELD_ID(RemuHasta), SOLVANTA_FIELD_ID(RegPrevi), SOLVANTA_FIELD_ID(TipoTrab),
    SOLVANTA_FIELD_ID(DiasTrab), SOLVANTA_FIELD_ID(TipoLinea), SOLVANTA_FIELD_ID(CodMov),
    SOLVANTA_FIELD_ID(FechaDesde), SOLVANTA_FIELD_ID(FechaHasta), SOLVANTA_FIELD_ID(TramoFam),
    SOLVANTA_FIELD_ID(NumCarSim), SOLVANTA_FIELD_ID(NumCarMat), SOLVANTA_FIELD_ID(NumCarInv),
    SOLVANTA_FIELD_ID(AsigFam), SOLVANTA_FIELD_ID(AsigFamRet), SOLVANTA_FIELD_ID(ReintCargas),
    SOLVANTA_FIELD_ID(SubTrabJov), SOLVANTA_FIELD_ID(NomAfp), SOLVANTA_FIELD_ID(ImpoAfp),
    SOLVANTA_FIELD_ID(CotObliAfp), SOLVANTA_FIELD_ID(AporteSis), SOLVANTA_FIELD_ID(AhorroAfp),
    SOLVANTA_FIELD_ID(SustAfp), SOLVANTA_FIELD_ID(TasaPacAfp), SOLVANTA_FIELD_ID(AporteIndem),
    SOLVANTA_FIELD_ID(NumPerSust), SOLVANTA_FIELD_ID(PerDesdeSust), SOLVANTA_FIELD_ID(PerHastaSust),
    SOLVANTA_FIELD_ID(TrabPesado), SOLVANTA_FIELD_ID(PorcTrabPesado),
    SOLVANTA_FIELD_ID(CotTrabPesado), SOLVANTA_FIELD_ID(InstApvi), SOLVANTA_FIELD_ID(NumContraApvi),
    SOLVANTA_FIELD_ID(FormaPagoApvi), SOLVANTA_FIELD_ID(CotizaApvi), SOLVANTA_FIELD_ID(CotDepConv),
    SOLVANTA_FIELD_ID(InstApvc), SOLVANTA_FIELD_ID(NumContraApvc), SOLVANTA_FIELD_ID(FormaPagoApvc),
    SOLVANTA_FIELD_ID(CotizaApvc), SOLVANTA_FIELD_ID(CotEmpApvc), SOLVANTA_FIELD_ID(RutAfiVolun),
    SOLVANTA_FIELD_ID(DvAfiVolun), SOLVANTA_FIELD_ID(ApePatVolun), SOLVANTA_FIELD_ID(ApeMatVolun),
    SOLVANTA_FIELD_ID(NombreVolun), SOLVANTA_FIELD_ID(CodMovPerVolun),
    SOLVANTA_FIELD_ID(FecDesdeVolun), SOLVANTA_FIELD_ID(FecHastaVolun),
    SOLVANTA_FIELD_ID(CodAfpVolun), SOLVANTA_FIELD_ID(MontoCapVolun),
    SOLVANTA_FIELD_ID(MontoAhoVol), SOLVANTA_FIELD_ID(NumPerCotiza), SOLVANTA_FIELD_ID(CodExCaja),
    SOLVANTA_FIELD_ID(TasaExCaja), SOLVANTA_FIELD_ID(RentaImpFonasa), SOLVANTA_FIELD_ID(CotInp),
    SOLVANTA_FIELD_ID(RentaImpDes), SOLVANTA_FIELD_ID(CodExCajaDes),
    SOLVANTA_FIELD_ID(TasaExCajaDes), SOLVANTA_FIELD_ID(CotDesahucio),
    SOLVANTA_FIELD_ID(CotizaFonasa), SOLVANTA_FIELD_ID(CotAccTrabInp), SOLVANTA_FIELD_ID(BoniLey),
    SOLVANTA_FIELD_ID(DescCargasFamInp), SOLVANTA_FIELD_ID(BonosGob),
    SOLVANTA_FIELD_ID(CodInstSalud), SOLVANTA_FIELD_ID(NumFun), SOLVANTA_FIELD_ID(ImpoIsapre),
    SOLVANTA_FIELD_ID(MonedaPlan), SOLVANTA_FIELD_ID(CotPactada), SOLVANTA_FIELD_ID(CotObliIsa),
    SOLVANTA_FIELD_ID(CotAdVol), SOLVANTA_FIELD_ID(MontoGes), SOLVANTA_FIELD_ID(CodCcaf),
    SOLVANTA_FIELD_ID(ImpoCcaf), SOLVANTA_FIELD_ID(CredPerCcaf), SOLVANTA_FIELD_ID(DescDental),
    SOLVANTA_FIELD_ID(DescLeassing), SOLVANTA_FIELD_ID(DescSegVida),
    SOLVANTA_FIELD_ID(OtrosDescCcaf), SOLVANTA_FIELD_ID(CotCcaf), SOLVANTA_FIELD_ID(DescCarFam),
    SOLVANTA_FIELD_ID(OtrosDescCcaf1), SOLVANTA_FIELD_ID(OtrosDescCcaf2),
    SOLVANTA_FIELD_ID(BonoGobCcaf), SOLVANTA_FIELD_ID(CodSucurCcaf), SOLVANTA_FIELD_ID(CodMutual),
    SOLVANTA_FIELD_ID(ImpoMutual), SOLVANTA_FIELD_ID(CotizaMutual), SOLVANTA_FIELD_ID(SucurMutual),
    SOLVANTA_FIELD_ID(RentaImpoSc), SOLVANTA_FIELD_ID(AporteTrabSc), SOLVANTA_FIELD_ID(AporteEmpSc),
    SOLVANTA_FIELD_ID(RutPagSubs), SOLVANTA_FIELD_ID(DvPagSubs), SOLVANTA_FIELD_ID(CentroCosto),
};
// clang-format on
#undef SOLVANTA_FIELD_ID

constexpr char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// "ApePat" names "ape_pat": the same letters, case and underscores aside.
constexpr bool spells(const char* id, const char* name) {
    for (;; ++id, ++name) {
        while (*name == '_')
            ++name;
        if (lowerAscii(*id) != lowerAscii(*name)) return false;
        if (!*id) return true;
    }
}

constexpr bool enumeratorsNameTheirFields() {
    if (std::size(kFieldIds) != std::size_t(kFieldCount)) return false;
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldId& e = kFieldIds[f];
        if (fieldIndex(e.field) != f || !spells(e.id, kFields[std::size_t(f)].name)) return false;
    }
    return true;
}
static_assert(enumeratorsNameTheirFields(),
              "each Field enumerator is, in order, the field of its name in kFields");

QString fieldTitle(int field) {
    return kFields[std::size_t(field)].gridTitleText().toString();
}

int findField(QStringView name) {
    for (int i = 0; i < kFieldCount; ++i)
        if (name.compare(QLatin1StringView(kFields[i].name), Qt::CaseInsensitive) == 0) return i;
    return -1;
}

} // namespace solvanta

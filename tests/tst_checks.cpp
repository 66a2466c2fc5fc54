// The line checks: each rule with a good value, a bad value and its
// boundaries; a generated file with known problems gives exactly those.

#include "Generator.h"
#include "TestUtil.h"
#include "engine/codes/CodeTableFile.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/LineChecks.h"
#include "engine/model/RxMem.h"
#include "engine/util/DateText.h"
#include "engine/util/NumberText.h"

#include <QtTest>
#include <set>

using namespace solvanta;
using namespace testutil;

namespace {

QString cfgPath() {
    return QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg");
}

// (line, field) of every problem.
std::set<std::pair<int, int>> where(const std::vector<LineProblem>& problems) {
    std::set<std::pair<int, int>> out;
    for (const LineProblem& p : problems)
        out.insert({p.line, p.field});
    return out;
}

} // namespace

class TestChecks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        numtext::setDecimalSeparator(',');
        datetext::setFormat(QStringLiteral("dd-MM-yyyy"));
    }

    // Each case sets fields of a correct line and names the fields that must
    // be reported (none when empty; several separated by ","), each with a
    // piece of its problem (separated by "|", in field order).
    void rules_data() {
        QTest::addColumn<QStringList>(
            "assignments"); // field=value; "field=" empties, "field" clears
        QTest::addColumn<QString>("reported");
        QTest::addColumn<QString>("problem");
        auto row = [](const char* tag, QStringList a, const char* field, const char* problem) {
            QTest::newRow(tag) << a << QString::fromLatin1(field) << QString::fromUtf8(problem);
        };
        const auto s = [](const char* t) { return QString::fromUtf8(t); };
        row("correct line", {}, "", "");
        row("rut fits", {s("rut=12345678"), s("dv=5")}, "", "");
        row("rut does not fit", {s("rut=12345678"), s("dv=4")}, "dv", "no corresponde");
        row("check K", {s("rut=10000013"), s("dv=K")}, "", "");
        row("check k in lower case", {s("rut=10000013"), s("dv=k")}, "dv", "no corresponde");
        row("no check character", {s("rut=12345678"), s("dv= ")}, "dv", "falta el dígito");
        row("no rut", {s("rut")}, "rut", "falta el RUT");
        row("no rut and no check character", {s("rut"), s("dv=")}, "rut,dv",
            "falta el RUT|está vacío");
        row("voluntary rut fits", {s("rut_afi_volun=12345678"), s("dv_afi_volun=5")}, "", "");
        row("voluntary rut does not fit", {s("rut_afi_volun=12345678"), s("dv_afi_volun=4")},
            "dv_afi_volun", "no corresponde");
        row("payer rut 0 without check", {s("rut_pag_subs=0"), s("dv_pag_subs= ")}, "", "");
        row("payer rut without check", {s("rut_pag_subs=12345678"), s("dv_pag_subs=")},
            "dv_pag_subs", "falta el dígito");
        row("sex F", {s("sexo=F")}, "", "");
        row("sex f", {s("sexo=f")}, "sexo", "M o F");
        row("nationality 1", {s("nacion=1")}, "", "");
        row("nationality 2", {s("nacion=2")}, "nacion", "0 (chilena)");
        row("regime SIP", {s("reg_previ=SIP")}, "", "");
        row("regime XX", {s("reg_previ=XX ")}, "reg_previ", "AFP, INP o SIP");
        row("young worker s", {s("sub_trab_jov=s")}, "sub_trab_jov", "S o N");
        row("apvi payment blank", {s("forma_pago_apvi= ")}, "", "");
        row("apvi payment 2", {s("forma_pago_apvi=2")}, "", "");
        row("apvi payment 3", {s("forma_pago_apvi=3")}, "forma_pago_apvi", "0, 1 o 2");
        row("currency empty", {s("moneda_plan=")}, "", "");
        row("currency 3", {s("moneda_plan=3")}, "moneda_plan", "0, 1 o 2");
        row("work day 2", {s("otros_desc_ccaf2=2")}, "", "");
        row("work day 3", {s("otros_desc_ccaf2=3")}, "otros_desc_ccaf2", "0, 1 (completa) o 2");
        row("period 12", {s("remu_desde=122024")}, "", "");
        row("period 13", {s("remu_desde=132024")}, "remu_desde", "mes (01 a 12)");
        row("period 00", {s("remu_desde=002024")}, "remu_desde", "mes (01 a 12)");
        row("period letters", {s("remu_desde=0A2024")}, "remu_desde", "mes (01 a 12)");
        row("end 000000", {s("remu_desde=032024"), s("remu_hasta=000000")}, "", "");
        row("end after start", {s("remu_desde=032024"), s("remu_hasta=012025")}, "", "");
        row("end same month", {s("remu_desde=032024"), s("remu_hasta=032024")}, "", "");
        row("end before start", {s("remu_desde=032024"), s("remu_hasta=022024")}, "remu_hasta",
            "anterior");
        row("date", {s("Fecha_Desde=15-03-2024"), s("Fecha_Hasta=15-03-2024")}, "", "");
        row("31 February", {s("Fecha_Desde=31-02-2024")}, "Fecha_Desde", "no es una fecha válida");
        row("29 February of a leap year", {s("Fecha_Desde=29-02-2024")}, "", "");
        row("date to before from", {s("Fecha_Desde=15-03-2024"), s("Fecha_Hasta=14-03-2024")},
            "Fecha_Hasta", "anterior");
        row("date 0 is blank", {s("Fecha_Desde=0"), s("Fecha_Hasta=")}, "", "");
        row("short date", {s("Fecha_Desde=1-3-2024")}, "Fecha_Desde", "10 caracteres");
        row("voluntary dates", {s("fec_desde_volun=01-04-2024"), s("fec_hasta_volun=01-03-2024")},
            "fec_hasta_volun", "anterior");
        row("afp code 5", {s("nom_AFP=5")}, "", "");
        row("afp code 6", {s("nom_AFP=6")}, "nom_AFP", "no está en la lista «Nombre AFP»");
        row("payment type 99", {s("tipo_pago=99")}, "tipo_pago", "no está en la lista");
        row("payment type empty", {s("tipo_pago=")}, "tipo_pago", "falta el código");
        row("apvi empty", {s("inst_apvi=")}, "", "");
        row("apvi 005", {s("inst_apvi=005")}, "", "");
        row("bracket B", {s("Tramo_Fam=B")}, "", "");
        row("bracket b", {s("Tramo_Fam=b")}, "Tramo_Fam", "no está en la lista");
        row("voluntary movement 10", {s("cod_mov_per_volun=10")}, "", "");
        row("voluntary movement 05", {s("cod_mov_per_volun=05")}, "cod_mov_per_volun",
            "no está en la lista");
        row("days 30", {s("dias_trab=30")}, "", "");
        row("days 0", {s("dias_trab=0")}, "", "");
        row("days 31", {s("dias_trab=31")}, "dias_trab", "0 a 30");
        row("days AB", {s("dias_trab=AB")}, "dias_trab", "se leería como 00");
        row("13 dependants", {s("num_car_sim=13")}, "", "");
        row("14 dependants", {s("num_car_sim=14")}, "num_car_sim", "más de 13");
        row("surname blank", {s("ape_pat=   ")}, "ape_pat", "apellido paterno");
        row("name empty", {s("nombres=")}, "nombres", "falta el nombre");
        row("semicolon", {s("centro_costo=NORTE;SUR")}, "centro_costo", "«;»");
        row("line break", {QStringLiteral("ape_mat=SOTO\nPEREZ")}, "ape_mat", "salto de línea");
        row("negative amount", {s("impo_afp=-5")}, "impo_afp", "negativo");
        row("amount of 8 digits", {s("impo_afp=99999999")}, "", "");
        row("amount of 9 digits", {s("impo_afp=123456789")}, "impo_afp",
            "no cabe en sus 8 columnas");
        row("amount with decimals", {s("cot_obli_afp=1234,5")}, "cot_obli_afp",
            "tiene decimales, y este campo lleva pesos enteros.");
        row("amount with decimals read back as 0", {s("impo_afp=1234,5")}, "impo_afp",
            "tiene decimales: en el archivo por posición se leería como 0.");
        row("rate with decimals", {s("cot_pactada=3,75"), s("tasa_pac_afp=4.5")}, "", "");
        row("code that is no number", {s("tipo_trab=A")}, "tipo_trab",
            "no es un número: en el archivo por posición se leería como 0.");
        row("RUT written with dots", {s("rut_afi_volun=1.234.567"), s("dv_afi_volun=4")},
            "rut_afi_volun,dv_afi_volun",
            "no es un número: en el archivo por posición se leería como 0.|dígito verificador");
        row("one-character field empty", {s("sexo=")}, "sexo", "está vacío");
        row("text shorter than its columns", {s("reg_previ=AF")}, "reg_previ",
            "menos de 3 caracteres");
    }

    void rules() {
        QFETCH(QStringList, assignments);
        QFETCH(QString, reported);
        QFETCH(QString, problem);
        RxMem t;
        generateDeclaration(t, 1, 7);
        t.first();
        t.edit();
        for (const QString& a : assignments) {
            const qsizetype eq = a.indexOf(u'=');
            const int f = RxMem::fieldByName(eq < 0 ? a : a.left(eq));
            if (eq < 0)
                t.clear(f);
            else
                t.setText(f, a.mid(eq + 1));
        }
        t.post();
        const QByteArray before = QByteArray(reinterpret_cast<const char*>(t.recordAt(0).data()),
                                             qsizetype(recordLayout().size));
        std::vector<LineProblem> problems;
        LineChecker(CodeTableFile(cfgPath())).check(t.recordAt(0), 1, problems);
        QStringList got;
        for (const LineProblem& p : problems)
            got << LineChecker::describe(p);
        if (reported.isEmpty()) {
            QVERIFY2(problems.empty(), qPrintable(got.join(u'\n')));
        } else {
            const QStringList fields = reported.split(u',');
            const QStringList pieces = problem.split(u'|');
            QCOMPARE(problems.size(), std::size_t(fields.size()));
            for (qsizetype i = 0; i < fields.size(); ++i) {
                const LineProblem& p = problems[std::size_t(i)];
                QCOMPARE(fieldTitle(p.field), fieldTitle(field(fields[i].toLatin1().constData())));
                QVERIFY2(p.problem.contains(pieces[i]), qPrintable(got.join(u'\n')));
                QCOMPARE(p.line, 1);
            }
        }
        // Checking never changes a line.
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(t.recordAt(0).data()),
                            qsizetype(recordLayout().size)),
                 before);
    }

    void breakersSayWhichFormTheyBreak() {
        RxMem t;
        generateDeclaration(t, 1, 7);
        t.first();
        t.edit();
        t.setText(field("centro_costo"), u"A;B");
        t.setText(field("ape_mat"), u"A\rB");
        t.setNumber(field("impo_afp"), -1);
        t.setText(field("sexo"), u"");
        t.setNumber(field("asig_fam"), 12.5);     // read back as 0 by position
        t.setNumber(field("cot_obli_afp"), 12.5); // read back, but no whole pesos
        t.post();
        std::vector<LineProblem> problems;
        LineChecker(CodeTableFile(cfgPath())).check(t.recordAt(0), 1, problems);
        std::map<int, unsigned char> breaks;
        for (const LineProblem& p : problems)
            breaks[p.field] = p.breaks;
        QCOMPARE(breaks[field("centro_costo")], LineProblem::Separator);
        QCOMPARE(breaks[field("ape_mat")], LineProblem::Position | LineProblem::Separator);
        QCOMPARE(breaks[field("impo_afp")], LineProblem::Position);
        QCOMPARE(breaks[field("sexo")], LineProblem::Position);
        QCOMPARE(breaks[field("asig_fam")], LineProblem::Position);
        QVERIFY(breaks.count(field("cot_obli_afp")));
        QCOMPARE(breaks[field("cot_obli_afp")], LineProblem::None);
    }

    // A list without entries checks nothing.
    void emptyListChecksNothing() {
        QTemporaryDir dir;
        const QString cfg = dir.filePath(QStringLiteral("c.cfg"));
        QVERIFY(QFile::copy(cfgPath(), cfg));
        QFile(cfg).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        CodeTableFile(cfg).replaceSection(QStringLiteral("Nombre AFP"), {});
        RxMem t;
        generateDeclaration(t, 1, 7);
        t.first();
        t.edit();
        t.setText(field("nom_AFP"), u"77");
        t.post();
        std::vector<LineProblem> problems;
        LineChecker(CodeTableFile(cfg)).check(t.recordAt(0), 1, problems);
        QVERIFY(problems.empty());
    }

    // A correct generated file gives nothing; the same file with problems
    // put in at known lines gives exactly those.
    void generatedFile() {
        RxMem t;
        generateDeclaration(t, 3000, 20261210);
        const LineChecker checker{CodeTableFile(cfgPath())};
        QVERIFY(checker.checkAll(t).empty());
        const std::vector<std::tuple<int, const char*, QString>> injected = {
            {1, "dv", QStringLiteral("X")},
            {17, "nom_AFP", QStringLiteral("6")},
            {17, "sexo", QStringLiteral("Q")},
            {500, "remu_desde", QStringLiteral("132026")},
            {1999, "centro_costo", QStringLiteral("A;B")},
            {3000, "dias_trab", QStringLiteral("45")},
        };
        std::set<std::pair<int, int>> expected;
        for (const auto& [line, name, value] : injected) {
            t.moveTo(line - 1);
            t.edit();
            t.setText(field(name), value);
            t.post();
            expected.insert({line, field(name)});
        }
        QCOMPARE(where(checker.checkAll(t)), expected);
    }

    // The example file shipped for newcomers, which the help page walks
    // through, loads without a note and shows exactly its few planted faults
    // in the checks' own words, one a line: a change to the code table or to
    // a check that turns its correct lines into false alarms, or that stops
    // finding one of the faults, shows here.
    void shippedSample() {
        const QString path = QStringLiteral(SOLVANTA_RESOURCES "/ejemplo-posicion.txt");
        QCOMPARE(guessForm(path), std::optional<FileForm>(FileForm::Position));
        RxMem t;
        const LoadReport report = loadDeclaration(path, FileForm::Position, t);
        QCOMPARE(describeNotes(report), QString());
        QCOMPARE(report.noteCount, qint64(0));
        QVERIFY2(t.recordCount() >= 20, "a file of a realistic size");
        QStringList found;
        for (const LineProblem& p : LineChecker(CodeTableFile(cfgPath())).checkAll(t))
            found << LineChecker::describe(p);
        const QStringList planted = {
            QStringLiteral("línea 3, [2] DV: el dígito verificador no corresponde al RUT 20137169. "
                           "(valor «5»)"),
            QStringLiteral(
                "línea 7, [26] AFP: el código no está en la lista «Nombre AFP» de las tablas de "
                "códigos. (valor «13»)"),
            QStringLiteral("línea 11, [13] Días Trabajados: los días trabajados deben ser un "
                           "número entero de 0 a 30. (valor «31»)"),
            QStringLiteral(
                "línea 15, [17] Fecha Hasta: no es una fecha válida (dd-mm-aaaa). (valor "
                "«31-11-2026»)"),
            QStringLiteral(
                "línea 19, [75] Cod.Inst.Salud: el código no está en la lista «Isapres» de las "
                "tablas de códigos. (valor «6»)"),
            QStringLiteral("línea 22, [9] Periodo Desde: el período debe ser el mes (01 a 12) y el "
                           "año, MMAAAA. (valor «202611»)"),
        };
        QCOMPARE(found, planted);
    }
};

QTEST_GUILESS_MAIN(TestChecks)
#include "tst_checks.moc"

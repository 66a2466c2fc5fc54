// Tests of the shared helpers: RUT check, fill, filter and replacement
// functions, date parts, code-list lookup, number text and the Windows-1252
// code page.

#include "engine/util/CodePage.h"
#include "engine/util/DateText.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/PeriodText.h"
#include "engine/util/RemuTool.h"
#include "engine/util/StrUtil.h"
#include "engine/util/TabText.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace solvanta;
using namespace Qt::StringLiterals;

namespace {

char sepOf(const QString& s) {
    return s.at(0).toLatin1();
}

QByteArray bytesOf(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

class TstHelpers : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        numtext::useSystemDecimalSeparator();
        datetext::setFormat(QString());
    }

    void validaRut_data();
    void validaRut();
    void rutCheckCharacter_data();
    void rutCheckCharacter();

    void rellenaIzquierda_data();
    void rellenaIzquierda();
    void rellenaDerecha_data();
    void rellenaDerecha();

    void quitaCaracter_data();
    void quitaCaracter();
    void quitaCaracterLengthLimit();

    void reemplazaCaracter_data();
    void reemplazaCaracter();
    void reemplazaCaracterWithoutReplacement();

    void fechaParts_data();
    void fechaParts();

    void buscaEnLista_data();
    void buscaEnLista();
    void buscaEnListaConversionError_data();
    void buscaEnListaConversionError();

    void parseWhole_data();
    void parseWhole();
    void parseDecimal_data();
    void parseDecimal();
    void readTyped_data();
    void readTyped();
    void readRut_data();
    void readRut();
    void format_data();
    void format();
    void formatReadsBack_data();
    void formatReadsBack();

    void tabTextSplit_data();
    void tabTextSplit();
    void tabTextJoinReadsBack_data();
    void tabTextJoinReadsBack();

    void codePageRoundTripsEveryByte();
    void codePageDecode_data();
    void codePageDecode();
    void codePageEncode_data();
    void codePageEncode();
    void codePageCapitals_data();
    void codePageCapitals();

    void dateFormatOfTheLocale_data();
    void dateFormatOfTheLocale();
    void dateRead_data();
    void dateRead();
    void exactDate_data();
    void exactDate();

    void period_data();
    void period();
    void periodShown_data();
    void periodShown();

    void trim_data();
    void trim();
};

// ---------------------------------------------------------------- ValidaRut

void TstHelpers::validaRut_data() {
    QTest::addColumn<QString>("rut");
    QTest::addColumn<bool>("valid");

    QTest::newRow("digits and check") << "123456785" << true;
    QTest::newRow("dash before check") << "12345678-5" << true;
    QTest::newRow("wrong check") << "123456784" << false;
    QTest::newRow("wrong check with dash") << "12345678-4" << false;
    QTest::newRow("K") << "10000013K" << true;
    QTest::newRow("K with dash") << "10000013-K" << true;
    QTest::newRow("lower-case k") << "10000013k" << false;
    QTest::newRow("check 0") << "50000060" << true;
    QTest::newRow("check 0 with dash") << "5000006-0" << true;
    QTest::newRow("dots are not removed") << "12.345.678-5" << false;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("only dash") << "-" << true;
    QTest::newRow("only dashes") << "--" << true;
    QTest::newRow("lone 0") << "0" << true;
    QTest::newRow("lone 5") << "5" << false;
    QTest::newRow("dash anywhere") << "1-2345678-5" << true;
    // '.' counts -2, so the sum is -10: the remainder keeps the sum's sign
    // (-10) and the expected character is '0', not the 'K' that a positive
    // remainder (1) would give.
    QTest::newRow("negative sum expects 0") << "..0" << true;
    QTest::newRow("negative sum rejects K") << "..K" << false;
    // Zero fill to the file's 11 columns keeps a RUT valid; a text far
    // longer than any RUT is not one, whatever its characters add up to
    // (8,000 high code points overflowed a 32-bit weighted sum, which
    // wrapped round to one that "0" fits).
    QTest::newRow("zero-filled to 11 digits") << "000000000019" << true;
    QTest::newRow("zero-filled with dash") << "00000000001-9" << true;
    QTest::newRow("a hundred characters") << QString(98, u'0') + u"19"_s << false;
    QTest::newRow("many dashes are still ignored") << QString(500, u'-') + u"19"_s << true;
    QTest::newRow("8,000 high code points") << QString(8000, QChar(0xFFFF)) + u'0' << false;
}

void TstHelpers::validaRut() {
    QFETCH(QString, rut);
    QFETCH(bool, valid);
    QCOMPARE(ValidaRut(rut), valid);
}

// The check character the line checks compute from a RUT's digits, and what
// ValidaRut says of the RUT with each possible check character after it.
void TstHelpers::rutCheckCharacter_data() {
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<char>("check"); // '\0': no RUT written in digits

    QTest::newRow("check 5") << QByteArray("12345678") << '5';
    QTest::newRow("check K") << QByteArray("10000013") << 'K';
    QTest::newRow("check 0") << QByteArray("5000006") << '0';
    QTest::newRow("one digit") << QByteArray("1") << '9';
    QTest::newRow("zero") << QByteArray("0") << '0';
    QTest::newRow("leading zeros change nothing") << QByteArray("00012345678") << '5';
    QTest::newRow("zero-filled K") << QByteArray("00010000013") << 'K';
    QTest::newRow("weights start again after 7") << QByteArray("1000000") << '9';
    QTest::newRow("twelve digits") << QByteArray("999999999999") << '9';
    QTest::newRow("empty") << QByteArray() << '\0';
    QTest::newRow("letter") << QByteArray("1234567a") << '\0';
    QTest::newRow("dots") << QByteArray("12.345.678") << '\0';
    QTest::newRow("blank") << QByteArray("1234 678") << '\0';
    QTest::newRow("dash") << QByteArray("12345678-") << '\0';
}

void TstHelpers::rutCheckCharacter() {
    QFETCH(QByteArray, digits);
    QFETCH(char, check);
    QCOMPARE(
        solvanta::rutCheckCharacter(std::string_view(digits.data(), std::size_t(digits.size()))),
        check);
    if (check == '\0') return;
    for (const char c : QByteArrayLiteral("0123456789K"))
        QCOMPARE(ValidaRut(QString::fromLatin1(digits) + QLatin1Char(c)), c == check);
}

// ------------------------------------------------------------ fill helpers

void TstHelpers::rellenaIzquierda_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fill");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blanks removed, zero fill") << " 12 3"
                                               << "0" << 6 << "000123";
    QTest::newRow("longer than width is not cut") << "1234567"
                                                  << "0" << 5 << "1234567";
    QTest::newRow("blanks removed even when long") << "12 34 5"
                                                   << "0" << 3 << "12345";
    QTest::newRow("empty text") << ""
                                << "0" << 2 << "00";
    QTest::newRow("only blanks") << "   "
                                 << "0" << 2 << "00";
    QTest::newRow("exact width") << "12"
                                 << "0" << 2 << "12";
    QTest::newRow("fill appended whole") << "x"
                                         << "ab" << 3 << "ababx";
    QTest::newRow("empty fill") << "1"
                                << "" << 4 << "1";
    QTest::newRow("only space is a blank") << "\t1"
                                           << "0" << 3 << "0\t1";
    QTest::newRow("zero width") << " 7 "
                                << "0" << 0 << "7";
    QTest::newRow("negative width") << "7"
                                    << "0" << -3 << "7";
}

void TstHelpers::rellenaIzquierda() {
    QFETCH(QString, text);
    QFETCH(QString, fill);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(RellenaIzquierda(text, fill, width), expected);
}

void TstHelpers::rellenaDerecha_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fill");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blank fill") << "AB"
                                << " " << 5 << "AB   ";
    QTest::newRow("blanks kept") << " A"
                                 << "*" << 3 << " A*";
    QTest::newRow("longer than width is not cut") << "ABCDEF"
                                                  << " " << 3 << "ABCDEF";
    QTest::newRow("empty text") << ""
                                << "0" << 2 << "00";
    QTest::newRow("fill appended whole") << "x"
                                         << "ab" << 3 << "xabab";
    QTest::newRow("zero width") << "x "
                                << " " << 0 << "x ";
}

void TstHelpers::rellenaDerecha() {
    QFETCH(QString, text);
    QFETCH(QString, fill);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(RellenaDerecha(text, fill, width), expected);
}

// ------------------------------------------------- filters and replacement

void TstHelpers::quitaCaracter_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("expected");

    QTest::newRow("period") << "05/2024"
                            << "/"
                            << "052024";
    QTest::newRow("date") << "31/12/2024"
                          << "/"
                          << "31122024";
    QTest::newRow("empty text") << ""
                                << "/"
                                << "";
    QTest::newRow("only the character") << "///"
                                        << "/"
                                        << "";
    QTest::newRow("absent") << "052024"
                            << "/"
                            << "052024";
    QTest::newRow("accented letter")
        << QStringLiteral("ñandú") << QStringLiteral("ñ") << QStringLiteral("andú");
    QTest::newRow("empty character never matches") << "a-b"
                                                   << ""
                                                   << "a-b";
    QTest::newRow("two characters never match") << "a--b"
                                                << "--"
                                                << "a--b";
}

void TstHelpers::quitaCaracter() {
    QFETCH(QString, text);
    QFETCH(QString, character);
    QFETCH(QString, expected);
    const QString before = text;
    QCOMPARE(QuitaCaracter(text, character), expected);
    QCOMPARE(QuitaCaracterLargo(text, character), expected);
    QCOMPARE(text, before);
}

void TstHelpers::quitaCaracterLengthLimit() {
    const QString at127 = QString(126, QLatin1Char('1')) + QLatin1Char('/');
    QCOMPARE(QuitaCaracter(at127, QStringLiteral("/")), QString(126, QLatin1Char('1')));

    const QString at128 = QString(127, QLatin1Char('1')) + QLatin1Char('/');
    QVERIFY_THROWS_EXCEPTION(RangeError, QuitaCaracter(at128, QStringLiteral("/")));
    QCOMPARE(QuitaCaracterLargo(at128, QStringLiteral("/")), QString(127, QLatin1Char('1')));
}

void TstHelpers::reemplazaCaracter_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("expected");

    QTest::newRow("every period") << "1.234.5"
                                  << "."
                                  << ","
                                  << "1,234,5";
    QTest::newRow("nothing to replace, empty replacement") << "15"
                                                           << "."
                                                           << ""
                                                           << "15";
    QTest::newRow("empty text") << ""
                                << "."
                                << ""
                                << "";
    QTest::newRow("first character of replacement") << "1.5"
                                                    << "."
                                                    << ";x"
                                                    << "1;5";
    QTest::newRow("empty from never matches") << "1.5"
                                              << ""
                                              << ","
                                              << "1.5";
    QTest::newRow("two-character from never matches") << "1..5"
                                                      << ".."
                                                      << ","
                                                      << "1..5";
}

void TstHelpers::reemplazaCaracter() {
    QFETCH(QString, text);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, expected);
    QCOMPARE(ReemplazaCaracter(text, from, to), expected);
}

void TstHelpers::reemplazaCaracterWithoutReplacement() {
    QVERIFY_THROWS_EXCEPTION(RangeError,
                             ReemplazaCaracter(QStringLiteral("1.5"), QStringLiteral("."), {}));
}

// ------------------------------------------------------------- date parts

void TstHelpers::fechaParts_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");

    QTest::newRow("last day of the year") << QDate(2024, 12, 31) << 2024 << 12;
    QTest::newRow("first day of the year") << QDate(2025, 1, 1) << 2025 << 1;
    QTest::newRow("leap day") << QDate(2000, 2, 29) << 2000 << 2;
}

void TstHelpers::fechaParts() {
    QFETCH(QDate, date);
    QFETCH(int, year);
    QFETCH(int, month);
    QCOMPARE(AnoFecha(date), quint16(year));
    QCOMPARE(MesFecha(date), quint16(month));
}

// ----------------------------------------------------------- BuscaEnLista

void TstHelpers::buscaEnLista_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");

    const QStringList three{u"01 Uno"_s, u"02 Dos"_s, u"03 Tres"_s};
    QTest::newRow("code without zeros") << three << 2 << "2"
                                        << "02 Dos";
    QTest::newRow("code with zeros") << three << 2 << "02"
                                     << "02 Dos";
    QTest::newRow("code with extra zeros") << three << 2 << "0003"
                                           << "03 Tres";
    QTest::newRow("code with leading blanks") << three << 2 << "  1"
                                              << "01 Uno";
    QTest::newRow("code with sign") << three << 2 << "+3"
                                    << "03 Tres";
    QTest::newRow("no match") << three << 2 << "7"
                              << "";
    QTest::newRow("last match wins") << QStringList{u"05 A"_s, u"05 B"_s} << 2 << "5"
                                     << "05 B";
    QTest::newRow("entry without zeros") << QStringList{u"1 Uno"_s, u"2 Dos"_s} << 1 << "02"
                                         << "2 Dos";
    QTest::newRow("entry shorter than width") << QStringList{u"7"_s} << 2 << "07"
                                              << "7";
    QTest::newRow("width 4") << QStringList{u"0012 Caja"_s, u"0120 Otra"_s} << 4 << "120"
                             << "0120 Otra";
    QTest::newRow("empty list reads no code") << QStringList{} << 2 << "X"
                                              << "";
}

void TstHelpers::buscaEnLista() {
    QFETCH(QStringList, list);
    QFETCH(int, width);
    QFETCH(QString, code);
    QFETCH(QString, expected);
    QCOMPARE(BuscaEnLista(list, width, code), expected);
}

void TstHelpers::buscaEnListaConversionError_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("quoted"); // the text the message quotes

    const QStringList mixed{u"01 Uno"_s, u"Otro"_s};
    QTest::newRow("entry without code, code matches first") << mixed << 2 << "1"
                                                            << "Ot";
    QTest::newRow("entry without code, no match") << mixed << 2 << "9"
                                                  << "Ot";
    QTest::newRow("code with letters") << mixed << 2 << "X"
                                       << "X";
    QTest::newRow("empty code") << QStringList{u"01 Uno"_s} << 2 << ""
                                << "";
    QTest::newRow("code with trailing blank") << QStringList{u"01 Uno"_s} << 2 << "1 "
                                              << "1 ";
    QTest::newRow("code with decimals") << QStringList{u"01 Uno"_s} << 2 << "1,0"
                                        << "1,0";
    QTest::newRow("code too large") << QStringList{u"01 Uno"_s} << 2 << "99999999999"
                                    << "99999999999";
    // A one-digit code in a width-2 list leaves the separating blank inside
    // the code part.
    QTest::newRow("short code in wide list") << QStringList{u"1 Uno"_s} << 2 << "1"
                                             << "1 ";
    // Quoted texts are cut to 80 characters.
    QTest::newRow("long code") << QStringList{u"01 Uno"_s} << 2 << QString(5000, u'7') + u'x'
                               << QString(80, u'7') + QChar(0x2026);
    QTest::newRow("long entry code")
        << QStringList{QString(3000, u'A')} << 3000 << "1" << QString(80, u'A') + QChar(0x2026);
}

void TstHelpers::buscaEnListaConversionError() {
    QFETCH(QStringList, list);
    QFETCH(int, width);
    QFETCH(QString, code);
    QFETCH(QString, quoted);
    try {
        BuscaEnLista(list, width, code);
        QFAIL("no error");
    } catch (const ConversionError& e) {
        QCOMPARE(e.message(), u"«"_s + quoted + u"» no es un número entero válido."_s);
    }
}

// ------------------------------------------------------------ number text

void TstHelpers::parseWhole_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("leading zeros") << "05" << true << 5;
    QTest::newRow("leading blanks and sign") << "  -12" << true << -12;
    QTest::newRow("plus sign") << "+3" << true << 3;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("minus zero") << "-0" << true << 0;

    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blanks") << "   " << false << 0;
    QTest::newRow("sign alone") << "-" << false << 0;
    QTest::newRow("trailing blank") << "12 " << false << 0;
    QTest::newRow("inner blank") << "1 2" << false << 0;
    QTest::newRow("blank after sign") << "- 1" << false << 0;
    QTest::newRow("decimal comma") << "1,0" << false << 0;
    QTest::newRow("decimal point") << "1.0" << false << 0;
    QTest::newRow("exponent") << "1e3" << false << 0;
    QTest::newRow("letters") << "12a" << false << 0;
    QTest::newRow("above range") << "2147483648" << false << 0;
    QTest::newRow("below range") << "-2147483649" << false << 0;
    QTest::newRow("far above range") << "99999999999999999999" << false << 0;
}

void TstHelpers::parseWhole() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);

    // The file loops read bytes, the windows read text: both must agree.
    const QByteArray bytes = text.toLatin1();
    const auto fromBytes = numtext::parseWhole(std::string_view(bytes.constData(), bytes.size()));
    const auto fromText = numtext::parseWhole(QStringView(text));
    QCOMPARE(fromText.has_value(), ok);
    QCOMPARE(fromBytes.has_value(), ok);
    if (ok) {
        QCOMPARE(*fromText, value);
        QCOMPARE(*fromBytes, value);
    }
}

void TstHelpers::parseDecimal_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    for (const QString& sep : {QStringLiteral(","), QStringLiteral(".")}) {
        const QString other = sep == QLatin1String(",") ? QStringLiteral(".") : QStringLiteral(",");
        auto row = [&](const char* name, const QString& text, bool ok, double value) {
            QTest::addRow("%s '%s'", qPrintable(sep), name) << sep << text << ok << value;
        };
        auto t = [&](QString s) { return s.replace(QLatin1Char('#'), sep); };

        row("integer", QStringLiteral("12345"), true, 12345);
        row("leading zeros", QStringLiteral("00012345"), true, 12345);
        row("decimal", t(QStringLiteral("12#5")), true, 12.5);
        row("trailing zero", t(QStringLiteral("04#50")), true, 4.5);
        row("blanks and sign", t(QStringLiteral("  -4#25  ")), true, -4.25);
        row("plus sign", QStringLiteral("+7"), true, 7);
        row("no integer part", t(QStringLiteral("#5")), true, 0.5);
        row("no fraction", t(QStringLiteral("5#")), true, 5);
        row("exponent", t(QStringLiteral("1#5e3")), true, 1500);
        row("negative exponent", t(QStringLiteral("1#5E-2")), true, 0.015);
        row("exponent with plus", QStringLiteral("2e+2"), true, 200);
        row("many digits", QStringLiteral("12345678901234567890"), true, 12345678901234567890.0);
        row("many decimals", t(QStringLiteral("0#1234567890123456789")), true,
            0.1234567890123456789);

        row("other separator", QStringLiteral("12") + other + QStringLiteral("5"), false, 0);
        row("thousands separator",
            QStringLiteral("1") + other + QStringLiteral("234") + sep + QStringLiteral("5"), false,
            0);
        row("two separators", t(QStringLiteral("1#2#3")), false, 0);
        row("empty", QString(), false, 0);
        row("blanks", QStringLiteral("   "), false, 0);
        row("separator alone", sep, false, 0);
        row("sign alone", QStringLiteral("-"), false, 0);
        row("double sign", QStringLiteral("--1"), false, 0);
        row("blank after sign", QStringLiteral("- 1"), false, 0);
        row("inner blank", QStringLiteral("1 000"), false, 0);
        row("exponent without digits", QStringLiteral("1e"), false, 0);
        row("exponent alone", QStringLiteral("e5"), false, 0);
        row("fraction in exponent", t(QStringLiteral("1e5#5")), false, 0);
        row("blank before exponent", QStringLiteral("1 e3"), false, 0);
        row("letters", QStringLiteral("12a"), false, 0);
        row("hexadecimal", QStringLiteral("0x10"), false, 0);
        row("infinity", QStringLiteral("inf"), false, 0);
        row("not a number", QStringLiteral("nan"), false, 0);
        row("overflow", QStringLiteral("1e400"), false, 0);
        row("non-Latin-1 character", QStringLiteral("1\u20AC"), false, 0);
    }
}

void TstHelpers::parseDecimal() {
    QFETCH(QString, separator);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);

    numtext::setDecimalSeparator(sepOf(separator));
    const auto fromText = numtext::parseDecimal(QStringView(text));
    QCOMPARE(fromText.has_value(), ok);
    if (ok) QCOMPARE(*fromText, value);

    if (text.toLatin1() == text.toUtf8()) {
        const QByteArray bytes = text.toLatin1();
        const auto fromBytes = numtext::parseDecimal(
            std::string_view(bytes.constData(), bytes.size()), sepOf(separator));
        QCOMPARE(fromBytes.has_value(), ok);
        if (ok) QCOMPARE(*fromBytes, value);
    }
}

// Numbers as people type them, in either locale: the other of "." and ","
// groups thousands, or is the decimal separator where it cannot group them;
// what could be either, and decimals where the field takes none, are
// refused with the reason.
void TstHelpers::readTyped_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("decimals");
    QTest::addColumn<double>("value"); // NaN: refused
    QTest::addColumn<QString>("problem");

    const double no = std::numeric_limits<double>::quiet_NaN();
    for (const QString& sep : {u","_s, u"."_s}) {
        const QString other = sep == u"," ? u"."_s : u","_s;
        auto t = [&](QString s) { return s.replace(u'#', sep).replace(u'~', other); };
        auto row = [&](const char* name, const QString& text, bool decimals, double value,
                       const QString& problem = {}) {
            QTest::addRow("%s %s", qPrintable(sep), name)
                << sep << text << decimals << value << problem;
        };
        row("plain", u"1234"_s, false, 1234);
        row("decimal", t(u"12#5"_s), true, 12.5);
        row("negative, blanks", t(u" -0#5 "_s), true, -0.5);
        row("thousands", t(u"1~234"_s), false, 1234);
        row("millions", t(u"1~234~567"_s), true, 1234567);
        row("thousands and decimals", t(u"1~234~567#25"_s), true, 1234567.25);
        row("negative thousands", t(u"-12~345"_s), false, -12345);
        row("other as decimal", t(u"3~75"_s), true, 3.75);
        row("other as decimal, long", t(u"1234~5"_s), true, 1234.5);
        row("one group in a decimal field", t(u"1~234"_s), true, no,
            t(u"«1~234» puede leerse como 1234 o como 1#234: escríbalo sin separador de miles "
              u"y con «#» para los decimales."_s));
        row("decimal in a whole field", t(u"1234#5"_s), false, no,
            t(u"«1234#5» tiene decimales, y este campo lleva un número entero."_s));
        row("other as decimal in a whole field", t(u"1234~5"_s), false, no,
            t(u"«1234~5» tiene decimales, y este campo lleva un número entero."_s));
        row("letters", u"abc"_s, true, no, u"«abc» no es un número."_s);
        row("groups the wrong size", t(u"1~23~456"_s), true, no,
            t(u"«1~23~456» no es un número."_s));
        row("groups after the decimals", t(u"1#234~567"_s), true, no,
            t(u"«1#234~567» no es un número."_s));
        row("two decimal separators", t(u"1#2#3"_s), true, no, t(u"«1#2#3» no es un número."_s));
        row("currency sign", u"$1234"_s, false, no, u"«$1234» no es un número."_s);
        row("too large", u"1e400"_s, true, no, u"«1e400» no es un número."_s);
        row("empty", QString(), true, no, u"«» no es un número."_s);
    }
}

void TstHelpers::readTyped() {
    QFETCH(QString, separator);
    QFETCH(QString, text);
    QFETCH(bool, decimals);
    QFETCH(double, value);
    QFETCH(QString, problem);
    numtext::setDecimalSeparator(sepOf(separator));
    const numtext::Typed typed = numtext::readTyped(text, decimals);
    QCOMPARE(typed.problem, problem);
    QCOMPARE(typed.value.has_value(), !std::isnan(value));
    if (typed.value) QCOMPARE(*typed.value, value);
}

void TstHelpers::readRut_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("check");

    QTest::newRow("dots and dash") << u"12.345.678-5"_s << true << u"12345678"_s << u"5"_s;
    QTest::newRow("dash") << u"12345678-5"_s << true << u"12345678"_s << u"5"_s;
    QTest::newRow("dots") << u"12.345.678"_s << true << u"12345678"_s << QString();
    QTest::newRow("digits") << u"12345678"_s << true << u"12345678"_s << QString();
    QTest::newRow("small k, blanks") << u" 9.876.543-k "_s << true << u"9876543"_s << u"K"_s;
    QTest::newRow("K without dash") << u"9876543K"_s << true << u"9876543"_s << u"K"_s;
    QTest::newRow("zero-filled") << u"00012345678"_s << true << u"12345678"_s << QString();
    QTest::newRow("one group") << u"1.234-3"_s << true << u"1234"_s << u"3"_s;
    QTest::newRow("letter as check") << u"12345678-A"_s << false << QString() << QString();
    QTest::newRow("two check characters") << u"12345678-55"_s << false << QString() << QString();
    QTest::newRow("dash alone at the end") << u"12345678-"_s << false << QString() << QString();
    QTest::newRow("misplaced dot") << u"1234.5678"_s << false << QString() << QString();
    QTest::newRow("dot at the end") << u"12.345."_s << false << QString() << QString();
    QTest::newRow("letters") << u"ABC"_s << false << QString() << QString();
    QTest::newRow("empty") << QString() << false << QString() << QString();
    QTest::newRow("thirteen digits") << u"1234567890123"_s << false << QString() << QString();
}

void TstHelpers::readRut() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, digits);
    QFETCH(QString, check);
    const auto rut = solvanta::readRut(text);
    QCOMPARE(rut.has_value(), ok);
    if (!rut) return;
    QCOMPARE(rut->digits, digits);
    QCOMPARE(rut->check.isNull() ? QString() : QString(rut->check), check);
}

void TstHelpers::format_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    auto row = [](const char* name, const char* sep, double value, const char* expected) {
        QTest::addRow("%s '%s'", sep, name)
            << QString::fromLatin1(sep) << value << QString::fromLatin1(expected);
    };

    row("RUT digits", ",", 12345678, "12345678");
    row("whole amount", ",", 1500000, "1500000");
    row("zero", ",", 0, "0");
    row("negative zero", ",", -0.0, "0");
    row("decimal", ",", 12.5, "12,5");
    row("rate", ",", 4.5, "4,5");
    row("negative decimal", ",", -12.5, "-12,5");
    row("negative whole", ",", -300, "-300");
    row("binary noise dropped", ",", 0.1 + 0.2, "0,3");
    row("noise just below a whole", ",", 3 * 1.1 - 0.3, "3");
    row("fifteen significant digits", ",", 1.0 / 3, "0,333333333333333");
    row("rounded last digit", ",", 2.0 / 3, "0,666666666666667");
    row("mixed", ",", 1234567.891, "1234567,891");
    row("fifteen integer digits", ",", 999999999999999, "999999999999999");
    row("sixteen digits rounded", ",", 1234567.123456789, "1234567,12345679");
    row("rounds up to sixteen integer digits", ",", 999999999999999.9, "1E15");
    row("huge whole", ",", 1e15, "1E15");
    row("huge", ",", 1.5e20, "1,5E20");
    row("huge with many digits", ",", 123456789012345678.0, "1,23456789012346E17");
    row("negative huge", ",", -1e300, "-1E300");
    row("smallest fixed", ",", 0.00001, "0,00001");
    row("small fixed", ",", -0.000012345, "-0,000012345");
    row("below fixed", ",", 0.000001, "1E-6");
    row("tiny", ",", 1e-10, "1E-10");
    row("tiny with digits", ",", -2.5e-7, "-2,5E-7");
    row("smallest double", ",", std::numeric_limits<double>::denorm_min(), "4,94065645841247E-324");
    // Rounded up, the largest doubles would read back as no number.
    row("largest double", ",", -std::numeric_limits<double>::max(), "-1,79769313486231E308");
    row("just below the largest", ",", 1.797693134862312e308, "1,79769313486231E308");

    row("RUT digits", ".", 12345678, "12345678");
    row("decimal", ".", 12.5, "12.5");
    row("negative small", ".", -0.001, "-0.001");
    row("binary noise dropped", ".", 0.1 + 0.2, "0.3");
    row("huge", ".", 1.5e20, "1.5E20");
    row("tiny with digits", ".", -2.5e-7, "-2.5E-7");
}

void TstHelpers::format() {
    QFETCH(QString, separator);
    QFETCH(double, value);
    QFETCH(QString, expected);

    numtext::setDecimalSeparator(sepOf(separator));
    QCOMPARE(numtext::format(value), expected);

    char buf[numtext::kMaxNumberText];
    const int n = numtext::format(value, sepOf(separator), buf);
    QCOMPARE(QString::fromLatin1(buf, n), expected);
}

void TstHelpers::formatReadsBack_data() {
    QTest::addColumn<QString>("separator");
    QTest::newRow("comma") << ",";
    QTest::newRow("point") << ".";
}

// Number text is what the writer puts into files and the loader reads back:
// every text the formatter gives must read as a number whose text is the same
// again, and that number must be the value rounded to 15 significant digits.
void TstHelpers::formatReadsBack() {
    QFETCH(QString, separator);
    numtext::setDecimalSeparator(sepOf(separator));

    QRandomGenerator rng(20240531);
    for (int i = 0; i < 20000; ++i) {
        double value = 0;
        switch (i % 4) {
        case 0: // amounts in whole pesos
            value = double(rng.bounded(2000000000)) - 1000000000;
            break;
        case 1: // rates and amounts with a few decimals
            value = double(rng.bounded(100000000)) / 100.0 - 500000;
            break;
        case 2: // any magnitude
            value = (rng.generateDouble() - 0.5) * std::pow(10.0, rng.bounded(-40, 40));
            break;
        default: // any bit pattern that is a finite number
            do {
                const quint64 bits = rng.generate64();
                std::memcpy(&value, &bits, sizeof value);
            } while (!std::isfinite(value));
        }
        const QString text = numtext::format(value);
        const auto back = numtext::parseDecimal(QStringView(text));
        QVERIFY2(back.has_value(), qPrintable(text));
        QCOMPARE(numtext::format(*back), text);
        if (value != 0 && std::isnormal(value)) {
            const double relative = std::fabs((*back - value) / value);
            QVERIFY2(relative <= 6e-15, qPrintable(QStringLiteral("%1 read back as %2")
                                                       .arg(value, 0, 'g', 17)
                                                       .arg(*back, 0, 'g', 17)));
        }
    }
}

// -------------------------------------------------------------- code page

void TstHelpers::codePageRoundTripsEveryByte() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(char(b));
    const QString text = cp1252::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(bytesOf(cp1252::encode(text)), bytesOf(all));
    for (int b = 0; b < 256; ++b) {
        QCOMPARE(cp1252::toUnicode(static_cast<unsigned char>(b)), text.at(b));
        QCOMPARE(cp1252::fromUnicode(text.at(b).unicode()), char(b));
    }
}

void TstHelpers::codePageDecode_data() {
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("codePoint");

    QTest::newRow("NUL") << 0x00 << 0x0000;
    QTest::newRow("A") << 0x41 << 0x0041;
    QTest::newRow("euro") << 0x80 << 0x20AC;
    QTest::newRow("unassigned 81") << 0x81 << 0x0081;
    QTest::newRow("S caron") << 0x8A << 0x0160;
    QTest::newRow("unassigned 9D") << 0x9D << 0x009D;
    QTest::newRow("Y diaeresis") << 0x9F << 0x0178;
    QTest::newRow("no-break space") << 0xA0 << 0x00A0;
    QTest::newRow("ordinal") << 0xBA << 0x00BA;
    QTest::newRow("E acute") << 0xC9 << 0x00C9;
    QTest::newRow("N tilde") << 0xD1 << 0x00D1;
    QTest::newRow("a acute") << 0xE1 << 0x00E1;
    QTest::newRow("n tilde") << 0xF1 << 0x00F1;
    QTest::newRow("y diaeresis") << 0xFF << 0x00FF;
}

void TstHelpers::codePageDecode() {
    QFETCH(int, byte);
    QFETCH(int, codePoint);
    const char b = char(byte);
    QCOMPARE(cp1252::decode(std::string_view(&b, 1)), QString(QChar(char16_t(codePoint))));
}

void TstHelpers::codePageEncode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("Spanish letters") << QStringLiteral("Ñuñoa, Región, ÉXITO, 1º")
                                     << QByteArray("\xD1u\xF1oa, Regi\xF3n, \xC9XITO, 1\xBA");
    QTest::newRow("euro and quotes")
        << QStringLiteral("€ “x” – …") << QByteArray("\x80 \x93x\x94 \x96 \x85");
    QTest::newRow("letters outside the page") << QStringLiteral("Łódź")
                                              << QByteArray("?\xF3"
                                                            "d?");
    QTest::newRow("C1 control without a byte") << QStringLiteral("a\u0080b") << QByteArray("a?b");
    QTest::newRow("character outside the BMP is one ?")
        << QStringLiteral("a\U0001F600b") << QByteArray("a?b");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TstHelpers::codePageEncode() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(bytesOf(cp1252::encode(text)), bytes);
}

// Capitals that the file can hold, one character for one; and the
// characters it cannot hold, named once each.
void TstHelpers::codePageCapitals_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("capitals");
    QTest::addColumn<QString>("unencodable");

    QTest::newRow("Spanish") << u"muñoz pérez güemes"_s << u"MUÑOZ PÉREZ GÜEMES"_s << QString();
    QTest::newRow("y diaeresis and oe") << u"ÿ œ š"_s << u"Ÿ Œ Š"_s << QString();
    QTest::newRow("sharp s and micro stay") << u"ß µ"_s << u"ß µ"_s << QString();
    QTest::newRow("outside the page") << u"łukasz Łódź ł"_s << u"łUKASZ ŁÓDź ł"_s << u"łŁź"_s;
    QTest::newRow("outside the BMP") << u"a😀b😀"_s << u"A😀B😀"_s << u"😀"_s;
    QTest::newRow("a question mark is no loss") << u"¿qué?"_s << u"¿QUÉ?"_s << QString();
}

void TstHelpers::codePageCapitals() {
    QFETCH(QString, text);
    QFETCH(QString, capitals);
    QFETCH(QString, unencodable);
    QCOMPARE(cp1252::upper(text), capitals);
    QCOMPARE(cp1252::unencodable(text), unencodable);
    bool lossy = true;
    cp1252::encode(text, lossy);
    QCOMPARE(lossy, !unencodable.isEmpty());
}

// Date fields hold ten characters whatever the locale's short format is.
void TstHelpers::dateFormatOfTheLocale_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("format");
    const auto row = [](const char* p, const char* f) {
        QTest::newRow(p) << QString::fromLatin1(p) << QString::fromLatin1(f);
    };
    row("dd-MM-yy", "dd-MM-yyyy"); // es_CL
    row("M/d/yy", "MM/dd/yyyy");   // en_US
    row("dd.MM.yy", "dd.MM.yyyy"); // de_DE
    row("y-MM-dd", "yyyy-MM-dd");  // sv_SE
    row("d. M. yy", "dd.MM.yyyy"); // cs_CZ: blanks around the separator
    row("dd/MM/yyyy", "dd/MM/yyyy");
    row("d MMM yyyy", ""); // month as a name
    row("dd-MM/yy", "");   // two separators
    row("dd-MM", "");      // no year
    row("dd-Myy", "");     // month and year run together: nine characters
    row("ddMMyy", "");     // no separator: eight
    row("dd'MM'yy", "");   // a quote starts quoted text in a date format
}

void TstHelpers::dateFormatOfTheLocale() {
    QFETCH(QString, pattern);
    QFETCH(QString, format);
    QCOMPARE(datetext::formatFromPattern(pattern), format);
    if (format.isEmpty()) return;
    datetext::setFormat(format);
    QCOMPARE(datetext::write(QDate(2025, 3, 5)).size(), 10);
    datetext::setFormat(QString());
}

void TstHelpers::dateRead_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date"); // null: not a date
    const QDate d(2025, 3, 15);
    QTest::newRow("program's format") << "dd-MM-yyyy"
                                      << "15-03-2025" << d;
    QTest::newRow("one-digit day and month") << "dd-MM-yyyy"
                                             << "5-3-2025" << QDate(2025, 3, 5);
    QTest::newRow("blanks around") << "dd-MM-yyyy"
                                   << "  15-03-2025 " << d;
    QTest::newRow("Chilean on another machine") << "MM/dd/yyyy"
                                                << "15-03-2025" << d;
    QTest::newRow("the machine's own") << "MM/dd/yyyy"
                                       << "03/15/2025" << d;
    QTest::newRow("31 February") << "dd-MM-yyyy"
                                 << "31-02-2025" << QDate();
    QTest::newRow("blank") << "dd-MM-yyyy"
                           << "          " << QDate();
    QTest::newRow("year first") << "dd-MM-yyyy"
                                << "2025-03-15" << QDate();
}

void TstHelpers::dateRead() {
    QFETCH(QString, format);
    QFETCH(QString, text);
    QFETCH(QDate, date);
    datetext::setFormat(format);
    QCOMPARE(datetext::read(text).value_or(QDate()), date);
    datetext::setFormat(QString());
}

// The line checks read dates from the line's bytes, written exactly in the
// program's format; a date they take is the date the record editor reads.
void TstHelpers::exactDate_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("date"); // YYYYMMDD; 0: not a date written so

    QTest::newRow("program's format") << "dd-MM-yyyy" << QByteArray("05-03-2025") << 20250305;
    QTest::newRow("29 February of a leap year")
        << "dd-MM-yyyy" << QByteArray("29-02-2024") << 20240229;
    QTest::newRow("29 February otherwise") << "dd-MM-yyyy" << QByteArray("29-02-2025") << 0;
    QTest::newRow("31 April") << "dd-MM-yyyy" << QByteArray("31-04-2025") << 0;
    QTest::newRow("day 00") << "dd-MM-yyyy" << QByteArray("00-01-2025") << 0;
    QTest::newRow("month 13") << "dd-MM-yyyy" << QByteArray("01-13-2025") << 0;
    QTest::newRow("one-digit day and month") << "dd-MM-yyyy" << QByteArray("5-3-2025") << 0;
    QTest::newRow("blank before") << "dd-MM-yyyy" << QByteArray(" 05-03-2025") << 0;
    QTest::newRow("blank after") << "dd-MM-yyyy" << QByteArray("05-03-2025 ") << 0;
    QTest::newRow("other separator") << "dd-MM-yyyy" << QByteArray("05/03/2025") << 0;
    QTest::newRow("letter") << "dd-MM-yyyy" << QByteArray("05-03-20x5") << 0;
    QTest::newRow("blank") << "dd-MM-yyyy" << QByteArray("          ") << 0;
    QTest::newRow("empty") << "dd-MM-yyyy" << QByteArray() << 0;
    QTest::newRow("month first") << "MM/dd/yyyy" << QByteArray("03/15/2025") << 20250315;
    QTest::newRow("month first, day as month") << "MM/dd/yyyy" << QByteArray("15/03/2025") << 0;
    QTest::newRow("year first") << "yyyy.MM.dd" << QByteArray("2025.03.15") << 20250315;
    QTest::newRow("year first, Chilean text") << "yyyy.MM.dd" << QByteArray("15-03-2025") << 0;
    QTest::newRow("not ten characters: dd-MM-yyyy")
        << "d-M-yy" << QByteArray("05-03-2025") << 20250305;
}

void TstHelpers::exactDate() {
    QFETCH(QString, format);
    QFETCH(QByteArray, text);
    QFETCH(int, date);
    const datetext::ExactReader reader(format);
    QCOMPARE(reader.read(std::string_view(text.data(), std::size_t(text.size()))).value_or(0),
             date);
    if (date == 0 || format.size() != 10) return;
    datetext::setFormat(format);
    QCOMPARE(datetext::read(QString::fromLatin1(text)),
             QDate(date / 10000, date / 100 % 100, date % 100));
}

// Periods as the fields hold them (MMYYYY), read from bytes by the line checks
// and from text elsewhere: both readings agree.
void TstHelpers::period_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("period"); // YYYYMM; 0: no whole period

    QTest::newRow("March") << "032024" << 202403;
    QTest::newRow("January") << "012025" << 202501;
    QTest::newRow("December") << "122025" << 202512;
    QTest::newRow("year 0") << "010000" << 1;
    QTest::newRow("year 9999") << "019999" << 999901;
    QTest::newRow("month 13") << "132025" << 0;
    QTest::newRow("month 00") << "002025" << 0;
    QTest::newRow("the 000000 of an open end") << "000000" << 0;
    QTest::newRow("seven digits") << "0120250" << 0;
    QTest::newRow("five digits") << "01202" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blanks") << "      " << 0;
    QTest::newRow("blank in the year") << "03 024" << 0;
    QTest::newRow("blank for the month's first digit") << " 32024" << 0;
    QTest::newRow("with the box's slash") << "03/2024" << 0;
    QTest::newRow("letter") << "0a2024" << 0;
    QTest::newRow("sign") << "-12024" << 0;
    QTest::newRow("full-width digits") << u"０３２０２４"_s << 0;
}

void TstHelpers::period() {
    QFETCH(QString, text);
    QFETCH(int, period);
    QCOMPARE(periodtext::read(QStringView(text)).value_or(0), period);
    const std::string bytes = cp1252::encode(text);
    QCOMPARE(periodtext::read(std::string_view(bytes)).value_or(0), period);
    // As a period box shows it, and back.
    if (text.size() != 6) return;
    const QString shown = periodtext::shown(text);
    QCOMPARE(shown, text.left(2) + u'/' + text.mid(2));
    QCOMPARE(periodtext::readShown(shown).value_or(0), period);
    QCOMPARE(periodtext::stored(shown), text);
}

// The period boxes: what they show, read as a whole period, and written to
// their fields.
void TstHelpers::periodShown_data() {
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("period"); // YYYYMM; 0: no whole period
    QTest::addColumn<QString>("stored");

    QTest::newRow("whole") << "03/2024" << 202403 << "032024";
    QTest::newRow("month 13") << "13/2024" << 0 << "132024";
    QTest::newRow("month 00") << "00/2024" << 0 << "002024";
    QTest::newRow("empty box") << "  /    " << 0 << "      ";
    QTest::newRow("year left unfinished") << "03/20  " << 0 << "0320  ";
    QTest::newRow("no slash") << "032024" << 0 << "032024";
    QTest::newRow("slash elsewhere") << "0/32024" << 0 << "032024";
    QTest::newRow("dash") << "03-2024" << 0 << "03-2024";
    QTest::newRow("five-digit year") << "03/20245" << 0 << "0320245";
}

void TstHelpers::periodShown() {
    QFETCH(QString, shown);
    QFETCH(int, period);
    QFETCH(QString, stored);
    QCOMPARE(periodtext::readShown(shown).value_or(0), period);
    QCOMPARE(periodtext::stored(shown), stored);
}

// The two trims of byte text: the line checks drop blanks only; the file
// forms drop control characters too.
void TstHelpers::trim_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("blanks");
    QTest::addColumn<QByteArray>("blanksAndControls");

    QTest::newRow("nothing to trim") << QByteArray("A B") << QByteArray("A B") << QByteArray("A B");
    QTest::newRow("blanks") << QByteArray("  A B ") << QByteArray("A B") << QByteArray("A B");
    QTest::newRow("only blanks") << QByteArray("   ") << QByteArray() << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("tab and line ends")
        << QByteArray(" \tA B\r\n ") << QByteArray("\tA B\r\n") << QByteArray("A B");
    QTest::newRow("NUL") << QByteArray("\0A\0", 3) << QByteArray("\0A\0", 3) << QByteArray("A");
    QTest::newRow("unit separator") << QByteArray("\x1f"
                                                  "A")
                                    << QByteArray("\x1f"
                                                  "A")
                                    << QByteArray("A");
    QTest::newRow("no-break space stays") << QByteArray("\xa0"
                                                        "A\xa0")
                                          << QByteArray("\xa0"
                                                        "A\xa0")
                                          << QByteArray("\xa0"
                                                        "A\xa0");
    QTest::newRow("DEL stays") << QByteArray("\x7f"
                                             "A")
                               << QByteArray("\x7f"
                                             "A")
                               << QByteArray("\x7f"
                                             "A");
}

void TstHelpers::trim() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, blanks);
    QFETCH(QByteArray, blanksAndControls);
    const std::string_view t(text.data(), std::size_t(text.size()));
    const std::string_view b = trimBlanks(t), c = trimBlanksAndControls(t);
    QCOMPARE(QByteArray(b.data(), qsizetype(b.size())), blanks);
    QCOMPARE(QByteArray(c.data(), qsizetype(c.size())), blanksAndControls);
}

// ---- cells on the clipboard -------------------------------------------------

using Rows = QList<QStringList>;

static Rows rowsOf(std::initializer_list<std::initializer_list<const char*>> cells) {
    Rows rows;
    for (const auto& row : cells) {
        QStringList r;
        for (const char* cell : row)
            r << QString::fromUtf8(cell);
        rows << r;
    }
    return rows;
}

// Text as spreadsheets put it on the clipboard, and the cells it holds.
void TstHelpers::tabTextSplit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("nothing") << "" << Rows{};
    QTest::newRow("one cell, no line end") << "12" << rowsOf({{"12"}});
    QTest::newRow("one cell") << "12\n" << rowsOf({{"12"}});
    QTest::newRow("windows line ends") << "a\tb\r\nc\td\r\n" << rowsOf({{"a", "b"}, {"c", "d"}});
    QTest::newRow("unix line ends, last one missing")
        << "a\tb\nc\td" << rowsOf({{"a", "b"}, {"c", "d"}});
    QTest::newRow("empty cells") << "\tb\t\n\t\n" << rowsOf({{"", "b", ""}, {"", ""}});
    QTest::newRow("an empty row inside") << "a\n\nb\n" << rowsOf({{"a"}, {""}, {"b"}});
    QTest::newRow("ragged rows") << "a\tb\tc\nd\n" << rowsOf({{"a", "b", "c"}, {"d"}});
    QTest::newRow("quoted tab, line end and quote") << "\"a\tb\"\t\"c\nd\"\t\"say \"\"hi\"\"\"\n"
                                                    << rowsOf({{"a\tb", "c\nd", "say \"hi\""}});
    QTest::newRow("quoted cell at the very end") << "x\t\"y\"" << rowsOf({{"x", "y"}});
    QTest::newRow("quote inside a plain cell") << "12\" pulgadas\n" << rowsOf({{"12\" pulgadas"}});
    QTest::newRow("quote never closed") << "\"abc\tdef\n" << rowsOf({{"\"abc", "def"}});
}

void TstHelpers::tabTextSplit() {
    QFETCH(QString, text);
    QFETCH(Rows, rows);
    QCOMPARE(tabtext::split(text), rows);
}

void TstHelpers::tabTextJoinReadsBack_data() {
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << rowsOf({{"12345678", "5", "1234,5"}, {"", "K", ""}})
                           << "12345678\t5\t1234,5\n\tK\t\n";
    QTest::newRow("quoted") << rowsOf({{"ANA \"LA\"", "a\tb", "c\nd", "e\rf"}})
                            << "\"ANA \"\"LA\"\"\"\t\"a\tb\"\t\"c\nd\"\t\"e\rf\"\n";
}

void TstHelpers::tabTextJoinReadsBack() {
    QFETCH(Rows, rows);
    QFETCH(QString, text);
    QCOMPARE(tabtext::join(rows), text);
    QCOMPARE(tabtext::split(text), rows);
}

QTEST_GUILESS_MAIN(TstHelpers)
#include "tst_helpers.moc"

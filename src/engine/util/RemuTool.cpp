#include "RemuTool.h"

#include "Errors.h"
#include "NumberText.h"
#include "StrUtil.h"

namespace solvanta {
namespace {

std::int32_t wholeOrThrow(const QString& text) {
    if (const auto v = numtext::parseWhole(text)) return *v;
    throw ConversionError(QStringLiteral("«%1» no es un número entero válido.").arg(excerpt(text)));
}

} // namespace

quint16 AnoFecha(const QDate& date) {
    return static_cast<quint16>(date.year());
}

quint16 MesFecha(const QDate& date) {
    return static_cast<quint16>(date.month());
}

QString BuscaEnLista(const QStringList& list, int n, const QString& code) {
    QString found;
    for (const QString& entry : list) {
        const std::int32_t entryCode = wholeOrThrow(entry.left(n));
        if (entryCode == wholeOrThrow(code)) found = entry;
    }
    return found;
}

QString QuitaCaracter(const QString& text, const QString& character) {
    if (text.size() > 127)
        throw RangeError(
            QStringLiteral("El texto tiene %1 caracteres; el máximo es 127.").arg(text.size()));
    return QuitaCaracterLargo(text, character);
}

} // namespace solvanta

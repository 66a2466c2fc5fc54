#include "DateText.h"

#include <QLocale>

namespace solvanta::datetext {
namespace {

QString g_format;
QDate g_today;

} // namespace

QString formatFromPattern(const QString& pattern) {
    QString out;
    QString seen;
    QChar separator;
    bool afterPart = false; // two parts with nothing between them make no ten characters
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == u'd' || c == u'M' || c == u'y') {
            qsizetype j = i;
            while (j < pattern.size() && pattern[j] == c)
                ++j;
            if (afterPart || seen.contains(c) || j - i > 4 || (c != u'y' && j - i > 2)) return {};
            afterPart = true;
            seen += c;
            out += c == u'y' ? QStringLiteral("yyyy") : QString(2, c);
            i = j;
        } else {
            qsizetype j = i;
            while (j < pattern.size() && !QStringView(u"dMy").contains(pattern[j]))
                ++j;
            const QString sep = pattern.mid(i, j - i).trimmed();
            // A quote would start quoted text in the format, not stand for itself.
            if (sep.size() != 1 || sep[0].isLetterOrNumber() || sep[0] == u'\'' || out.isEmpty() ||
                j == pattern.size())
                return {};
            afterPart = false;
            if (!separator.isNull() && separator != sep[0]) return {};
            separator = sep[0];
            out += separator;
            i = j;
        }
    }
    return seen.size() == 3 ? out : QString();
}

namespace {

// One or two digits for day and month.
QString lenient(QString f) {
    f.replace(QStringLiteral("dd"), QStringLiteral("d"));
    f.replace(QStringLiteral("MM"), QStringLiteral("M"));
    return f;
}

} // namespace

QString format() {
    if (!g_format.isEmpty()) return g_format;
    const QString f = formatFromPattern(QLocale::system().dateFormat(QLocale::ShortFormat));
    return f.isEmpty() ? QStringLiteral("dd-MM-yyyy") : f;
}

void setFormat(const QString& f) {
    g_format = f;
}

QString write(const QDate& date) {
    return date.toString(format());
}

std::optional<QDate> read(QStringView text) {
    const QString t = text.trimmed().toString();
    if (t.isEmpty()) return std::nullopt;
    for (const QString& f : {lenient(format()), QStringLiteral("d-M-yyyy")}) {
        const QDate d = QDate::fromString(t, f);
        if (d.isValid()) return d;
    }
    return std::nullopt;
}

QDate today() {
    return g_today.isValid() ? g_today : QDate::currentDate();
}

void setToday(const QDate& date) {
    g_today = date;
}

} // namespace solvanta::datetext

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

ExactReader::ExactReader(const QString& f) {
    if (f.size() != 10) return;
    day_ = int(f.indexOf(QLatin1String("dd")));
    month_ = int(f.indexOf(QLatin1String("MM")));
    year_ = int(f.indexOf(QLatin1String("yyyy")));
    int seen = 0;
    for (int i = 0; i < 10; ++i) {
        const QChar c = f[i];
        if (c == u'd' || c == u'M' || c == u'y') continue;
        (seen == 0 ? sepAt1_ : sepAt2_) = i;
        (seen == 0 ? sep1_ : sep2_) = char(c.toLatin1());
        ++seen;
    }
}

std::optional<int> ExactReader::read(std::string_view t) const {
    if (t.size() != 10 || t[std::size_t(sepAt1_)] != sep1_ || t[std::size_t(sepAt2_)] != sep2_)
        return std::nullopt;
    auto digits = [&](int at, int n) -> std::optional<int> {
        int v = 0;
        for (int i = 0; i < n; ++i) {
            const char c = t[std::size_t(at + i)];
            if (c < '0' || c > '9') return std::nullopt;
            v = v * 10 + (c - '0');
        }
        return v;
    };
    const auto d = digits(day_, 2), m = digits(month_, 2), y = digits(year_, 4);
    if (!d || !m || !y || !QDate::isValid(*y, *m, *d)) return std::nullopt;
    return *y * 10000 + *m * 100 + *d;
}

QDate today() {
    return g_today.isValid() ? g_today : QDate::currentDate();
}

void setToday(const QDate& date) {
    g_today = date;
}

} // namespace solvanta::datetext

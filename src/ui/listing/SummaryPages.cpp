#include "SummaryPages.h"

#include "engine/model/FieldTable.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

using namespace solvanta;

namespace {

constexpr double kMarginMm = 12;
constexpr double kTablePoints = 8.5; // a table's font, before it shrinks to fit
constexpr double kSmallestPoints = 5;
constexpr double kTitlePoints = 11;
constexpr double kHeadPoints = 9;

const QColor kRule(150, 150, 150);
const QColor kTitlesFill(228, 228, 228);
const QColor kMissingInk(170, 20, 20);

// The widest word of a text: the narrowest a wrapping column can be.
double widestWord(const QFontMetricsF& m, const QString& text) {
    double w = 0;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (const QString& word : text.split(blanks, Qt::SkipEmptyParts))
        w = std::max(w, m.horizontalAdvance(word));
    return w;
}

double wrappedHeight(const QFontMetricsF& m, double width, const QString& text) {
    return m.boundingRect(QRectF(0, 0, width, 1e9), Qt::TextWordWrap, text).height();
}

} // namespace

SummaryPages::SummaryPages(const Summary& s, const QString& fileName, const QDate& date)
    : fileName_(fileName), period_(s.period), date_(date), lines_(s.lines), workers_(s.workers) {
    for (const SummaryGroup& g : s.groups) {
        Table t;
        t.title = QString::fromUtf16(g.def->title);
        const SummaryTable layout = summaryTable(g);
        t.heads = layout.heads;
        t.leftColumns = layout.leftColumns;
        t.rows = layout.rows;
        tables_.push_back(std::move(t));
    }
}

void SummaryPages::setUpPaper(QPagedPaintDevice& device) {
    const bool inches = QLocale().measurementSystem() == QLocale::ImperialUSSystem;
    device.setPageSize(QPageSize(inches ? QPageSize::Letter : QPageSize::A4));
    device.setPageOrientation(QPageLayout::Portrait);
    setUpMargins(device);
}

void SummaryPages::setUpMargins(QPagedPaintDevice& device) {
    device.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                          QPageLayout::Millimeter);
}

// The columns' widths on the page: each number column as wide as its widest
// cell, the text columns as wide as their texts, all titles on one line when
// the page is wide enough. Otherwise titles and names wrap between words,
// and when even that does not fit, the table's font gets smaller.
void SummaryPages::fit(Table& t, const QPaintDevice& device, double width) const {
    const std::size_t columns = std::size_t(t.heads.size());
    for (double points = kTablePoints;; points -= 0.5) {
        t.font = QFont(QStringLiteral("DejaVu Sans"));
        t.font.setPointSizeF(points);
        t.bold = t.font;
        t.bold.setBold(true);
        const QFontMetricsF plain(t.font, &device), bold(t.bold, &device);
        t.padding = plain.averageCharWidth() * 0.7;
        std::vector<double> least(columns, 0), natural(columns, 0);
        for (std::size_t c = 0; c < columns; ++c) {
            const bool text = int(c) < t.leftColumns;
            least[c] = widestWord(bold, t.heads[qsizetype(c)]);
            natural[c] = bold.horizontalAdvance(t.heads[qsizetype(c)]);
            for (const Row& r : t.rows) {
                const QFontMetricsF& m = r.total ? bold : plain;
                const QString& cell = r.cells[qsizetype(c)];
                const double whole = m.horizontalAdvance(cell);
                least[c] = std::max(least[c], text ? widestWord(m, cell) : whole);
                natural[c] = std::max(natural[c], whole);
            }
        }
        const double pads = 2 * t.padding * double(columns);
        double sumLeast = pads, sumNatural = pads;
        for (std::size_t c = 0; c < columns; ++c) {
            sumLeast += least[c];
            sumNatural += natural[c];
        }
        if (sumNatural <= width) {
            t.widths = natural;
            return;
        }
        if (sumLeast <= width || points <= kSmallestPoints) {
            // The names first, whole on their line when the page allows it;
            // what is left goes to the titles of the numbers, to each by
            // what it would take to have its title on one line.
            t.widths = least;
            double spare = std::max(0.0, width - sumLeast);
            double names = 0;
            for (std::size_t c = 0; c < std::size_t(t.leftColumns); ++c)
                names += natural[c] - least[c];
            const double toNames = std::min(spare, names);
            for (std::size_t c = 0; c < std::size_t(t.leftColumns); ++c)
                if (names > 0) t.widths[c] += toNames * (natural[c] - least[c]) / names;
            spare -= toNames;
            double titles = 0;
            for (std::size_t c = std::size_t(t.leftColumns); c < columns; ++c)
                titles += natural[c] - least[c];
            for (std::size_t c = std::size_t(t.leftColumns); c < columns; ++c)
                if (titles > 0) t.widths[c] += spare * (natural[c] - least[c]) / titles;
            return;
        }
    }
}

int SummaryPages::paint(QPagedPaintDevice& device) {
    const int total = run(device, nullptr, 0);
    QPainter painter;
    if (!painter.begin(&device)) return pages_ = 0;
    pages_ = run(device, &painter, total);
    painter.end();
    return pages_;
}

int SummaryPages::run(QPagedPaintDevice& device, QPainter* p, int pageTotal) {
    const double width = device.width();
    const double height = device.height();
    const double mm = device.logicalDpiY() / 25.4;
    const QLocale chile(QLocale::Spanish, QLocale::Chile);

    QFont headFont(QStringLiteral("DejaVu Sans"));
    headFont.setPointSizeF(kHeadPoints);
    QFont headBold = headFont;
    headBold.setBold(true);
    QFont titleFont = headBold;
    titleFont.setPointSizeF(kTitlePoints);
    const QFontMetricsF headM(headFont, &device), titleM(titleFont, &device);
    const double headLine = headM.lineSpacing();

    // The header: the file's name and the date, the period under them, a
    // rule; the footer: a rule and the page number.
    const double top = 2 * headLine + 2.5 * mm;
    const double bottom = height - headLine - 2.5 * mm;
    int page = 1;
    const auto frame = [&] {
        if (!p) return;
        p->setPen(Qt::black);
        p->setFont(headBold);
        const QString date = chile.toString(date_, QStringLiteral("d 'de' MMMM 'de' yyyy"));
        const double dateWidth = headM.horizontalAdvance(date) + 4 * mm;
        p->drawText(QRectF(0, 0, width - dateWidth, headLine), Qt::AlignLeft | Qt::AlignVCenter,
                    headM.elidedText(QStringLiteral("Resumen de «%1»").arg(fileName_),
                                     Qt::ElideMiddle, width - dateWidth));
        p->setFont(headFont);
        p->drawText(QRectF(0, 0, width, headLine), Qt::AlignRight | Qt::AlignVCenter, date);
        p->drawText(QRectF(0, headLine, width, headLine), Qt::AlignLeft | Qt::AlignVCenter,
                    period_.isEmpty() ? QStringLiteral("Sin período")
                                      : QStringLiteral("Período: %1").arg(period_));
        p->setPen(kRule);
        p->drawLine(QPointF(0, top - 1.2 * mm), QPointF(width, top - 1.2 * mm));
        p->drawLine(QPointF(0, bottom + 1.2 * mm), QPointF(width, bottom + 1.2 * mm));
        p->setPen(Qt::black);
        p->drawText(QRectF(0, bottom + 2.5 * mm, width, headLine), Qt::AlignCenter,
                    QStringLiteral("Página %1 de %2").arg(page).arg(pageTotal));
    };
    double y = top;
    const auto newPage = [&] {
        if (p) device.newPage();
        ++page;
        y = top;
        frame();
    };
    frame();

    // The file as a whole, on the first page.
    y += 1 * mm;
    if (p) {
        p->setFont(headFont);
        p->setPen(Qt::black);
        p->drawText(QRectF(0, y, width, headLine), Qt::AlignLeft | Qt::AlignVCenter,
                    QStringLiteral("Líneas: %1     Trabajadores (RUT distintos): %2")
                        .arg(summaryCount(lines_), summaryCount(workers_)));
    }
    y += headLine + 3 * mm;

    for (Table& t : tables_) {
        fit(t, device, width);
        const QFontMetricsF plain(t.font, &device), bold(t.bold, &device);
        const double pad = t.padding;
        const double vpad = plain.height() * 0.2;
        const auto rowHeight = [&](const Row& r) {
            const QFontMetricsF& m = r.total ? bold : plain;
            double h = m.height();
            for (std::size_t c = 0; c < std::size_t(t.leftColumns); ++c)
                h = std::max(h, wrappedHeight(m, t.widths[c], r.cells[qsizetype(c)]));
            return h + 2 * vpad;
        };
        double headsHeight = bold.height();
        for (std::size_t c = 0; c < t.widths.size(); ++c)
            headsHeight =
                std::max(headsHeight, wrappedHeight(bold, t.widths[c], t.heads[qsizetype(c)]));
        headsHeight += 2 * vpad;
        const double titleHeight = titleM.height() + 1.5 * mm;
        const double tableWidth = [&] {
            double w = 0;
            for (const double c : t.widths)
                w += c + 2 * pad;
            return w;
        }();

        const auto drawTitle = [&](bool goesOn) {
            if (p) {
                p->setFont(titleFont);
                p->setPen(Qt::black);
                p->drawText(QRectF(0, y, width, titleM.height()), Qt::AlignLeft | Qt::AlignVCenter,
                            goesOn ? t.title + QStringLiteral(" (continuación)") : t.title);
            }
            y += titleHeight;
        };
        const auto drawHeads = [&] {
            if (p) {
                p->fillRect(QRectF(0, y, tableWidth, headsHeight), kTitlesFill);
                p->setFont(t.bold);
                p->setPen(Qt::black);
                double x = 0;
                for (std::size_t c = 0; c < t.widths.size(); ++c) {
                    const int align = (int(c) < t.leftColumns ? Qt::AlignLeft : Qt::AlignRight) |
                                      Qt::AlignBottom | Qt::TextWordWrap;
                    p->drawText(QRectF(x + pad, y + vpad, t.widths[c], headsHeight - 2 * vpad),
                                align, t.heads[qsizetype(c)]);
                    x += t.widths[c] + 2 * pad;
                }
            }
            y += headsHeight;
        };

        if (t.rows.empty()) {
            const double h = titleHeight + plain.height() + 4 * mm;
            if (y + h > bottom && y > top) newPage();
            drawTitle(false);
            if (p) {
                p->setFont(t.font);
                p->setPen(Qt::black);
                p->drawText(QRectF(0, y, width, plain.height()), Qt::AlignLeft | Qt::AlignVCenter,
                            QStringLiteral("(ninguna línea)"));
            }
            y += plain.height() + 4 * mm;
            continue;
        }

        // A table starts where its title, its column titles and its first
        // row fit; each row goes on the page only whole.
        if (y + titleHeight + headsHeight + rowHeight(t.rows.front()) > bottom && y > top)
            newPage();
        drawTitle(false);
        drawHeads();
        for (const Row& r : t.rows) {
            const double h = rowHeight(r);
            if (y + h > bottom) {
                newPage();
                drawTitle(true);
                drawHeads();
            }
            if (p) {
                p->setFont(r.total ? t.bold : t.font);
                QFont font = r.total ? t.bold : t.font;
                font.setItalic(r.missing);
                p->setFont(font);
                p->setPen(r.total ? QPen(Qt::black, 0) : QPen(kRule, 0));
                p->drawLine(QPointF(0, y), QPointF(tableWidth, y));
                p->setPen(r.missing ? kMissingInk : QColor(Qt::black));
                double x = 0;
                for (std::size_t c = 0; c < t.widths.size(); ++c) {
                    const bool text = int(c) < t.leftColumns;
                    const int align =
                        (text ? Qt::AlignLeft | Qt::TextWordWrap : Qt::AlignRight) | Qt::AlignTop;
                    p->drawText(QRectF(x + pad, y + vpad, t.widths[c], h - 2 * vpad), align,
                                r.cells[qsizetype(c)]);
                    x += t.widths[c] + 2 * pad;
                }
            }
            y += h;
        }
        if (p) {
            p->setPen(QPen(kRule, 0));
            p->drawLine(QPointF(0, y), QPointF(tableWidth, y));
        }
        y += 5 * mm;
    }
    return page;
}

#pragma once

#include "engine/files/Summary.h"

#include <QDate>
#include <QFont>
#include <QString>
#include <QStringList>

#include <vector>

class QPagedPaintDevice;
class QPainter;

// The summary laid out on paper, for the printer and for PDF files: every
// page has a header (the file's name, its period and the date) and a footer
// ("Página 2 de 3"); each group is a table that breaks between rows, and a
// page that goes on with a table repeats its title and column titles. A table
// as wide as the compensation funds' fits the page width: its column titles
// wrap, and its font shrinks until it fits. Paints on any paged device, a
// QPdfWriter as well as a QPrinter.
class SummaryPages {
public:
    SummaryPages(const solvanta::Summary& summary, const QString& fileName, const QDate& date);

    // A4 upright (Carta where the locale measures in inches) and the margins
    // of the pages; a printer keeps its own paper and only takes the margins.
    static void setUpPaper(QPagedPaintDevice& device);
    static void setUpMargins(QPagedPaintDevice& device);

    // Paints every page on the device, from its first (the device's painting
    // must not have begun). The number of pages painted; 0 when the device
    // could not be painted on.
    int paint(QPagedPaintDevice& device);
    int pageCount() const { return pages_; }

private:
    using Row = solvanta::SummaryTableRow;
    struct Table {
        QString title;
        QStringList heads;
        int leftColumns = 0; // text columns; the others are numbers
        std::vector<Row> rows;
        // Laid out for the device:
        QFont font, bold;
        std::vector<double> widths;
        double padding = 0;
    };

    void fit(Table& t, const QPaintDevice& device, double width) const;
    // Lays the pages out, painting them when `painter` is given; the number
    // of pages.
    int run(QPagedPaintDevice& device, QPainter* painter, int pageTotal);

    QString fileName_;
    QString period_;
    QDate date_;
    int lines_ = 0;
    int workers_ = 0;
    std::vector<Table> tables_;
    int pages_ = 0;
};

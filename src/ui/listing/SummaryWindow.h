#pragma once

#include "engine/files/Summary.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class QLabel;
class QScrollArea;
class QTableWidget;
class QVBoxLayout;
class TFrmSolvanta;

// "Resumen": what the file in memory will pay and to whom, as one table per
// group of the summary (lines, workers, the totals of each amount). A click
// or Enter on a row filters the listing to that row's lines; the window stays
// open beside it. When the lines change, the window says so and counts again
// as soon as the user comes back to it. The summary prints, and goes to a PDF
// file, with SummaryPages.
class SummaryWindow : public QDialog {
    Q_OBJECT
public:
    explicit SummaryWindow(TFrmSolvanta& listing);

    const solvanta::Summary& summary() const { return summary_; }
    // The table of a group, by its place in summary().groups; nullptr for a
    // group without lines.
    QTableWidget* tableOf(int group) const;
    // Whether the totals shown are those of the lines as they are now.
    bool isCurrent() const;

public slots:
    void refresh();    // counts the lines again
    void printPages(); // Imprimir…
    void savePdf();    // Guardar PDF…

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void noteChange(); // the lines changed: count again, or say they changed
    void chooseRow(int group, int row);
    QString fileName() const;

    TFrmSolvanta& listing_;
    solvanta::Summary summary_;
    std::uint64_t counted_ = 0; // the table's changeCount() when counted
    int countedLines_ = -1;
    QString countedPath_;
    QLabel* heading_;
    QLabel* stale_;
    QScrollArea* scroll_;
    QWidget* content_ = nullptr;
    std::vector<QTableWidget*> tables_;
};

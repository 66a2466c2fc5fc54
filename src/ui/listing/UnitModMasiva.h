#pragma once

#include "engine/codes/CodeTableFile.h"
#include "engine/model/RxMem.h"

#include <QDialog>
#include <optional>
#include <vector>

class CodeList;
class PeriodEdit;
class QLabel;
class RadioGroup;

// Gives one field the same new value on every line of the file: the payment
// type, the CCAF code, the mutual code, or the start or end of the period.
// Under a filter of the listing, on the lines it shows only, as the box says.
class TFrmModMasiva : public QDialog {
    Q_OBJECT
public:
    explicit TFrmModMasiva(solvanta::RxMem& table, QWidget* parent = nullptr,
                           const solvanta::CodeTableFile& codes = {});

    // Only these lines change (the `total` others stay): the box says so.
    void setShownLines(std::vector<solvanta::RxMem::Bookmark> lines, int total);

public slots:
    void choiceChanged(int index);
    void applyToAll(); // Aceptar

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* valueBox() const;
    // A code its list does not hold is written only when the user says so.
    bool confirmCode(const QString& code, int index);

    solvanta::RxMem& table_;
    solvanta::CodeTableFile codes_;
    RadioGroup* choices_;
    QLabel* valueLabel_;
    CodeList* values_;
    PeriodEdit* period_;
    QLabel* reach_;
    std::optional<std::vector<solvanta::RxMem::Bookmark>> lines_; // all when empty
    // The item a mouse button was just released on: its click takes the
    // caret to the value.
    QObject* releasedOn_ = nullptr;
};

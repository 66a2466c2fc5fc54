#pragma once

#include "engine/util/StrUtil.h"

#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>
#include <optional>

class QCalendarWidget;
class QToolButton;

// Entry controls the forms share. Each keeps the value its form reads and
// writes back, apart from how it is shown.

// A RUT of up to `digits` digits, right-aligned; the caret goes to the end
// when the field takes the focus. It takes the RUT as people write it,
// typed or pasted ("12.345.678-5", "12345678-5", "12.345.678"): when the
// user leaves it (or settle() is called) it keeps the digits and hands the
// check character, if one was written, to checkTyped.
class RutEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit RutEdit(int digits, QWidget* parent = nullptr);
    // The digits of the number (blanks and separators left out); the text
    // trimmed when it is no RUT (see readable()).
    QString value() const;
    // Empty, or a RUT written in one of the ways above, within the digits.
    bool readable() const;
    // Keeps only the digits, and hands on the check character.
    void settle();

signals:
    void checkTyped(QChar check);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    // The RUT the text holds, within the box's digits.
    std::optional<solvanta::RutText> reading() const;
    int digits_;
};

// A one-line edit whose letters are capitals, typed or set; 0 for no limit
// of length. A one-character one is the check digit of a RUT.
class UpperEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit UpperEdit(int maxLength, QWidget* parent = nullptr);
    void setValue(const QString& text); // shown in capitals
};

// A text of digits only, kept exactly as typed (zeros in front included):
// a number that is a name (a form's number), not an amount.
class DigitEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DigitEdit(int maxLength, QWidget* parent = nullptr);
};

// A month and year as MM/YYYY. value() keeps blanks for the positions not
// filled, so an empty field reads "  /    ".
class PeriodEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit PeriodEdit(QWidget* parent = nullptr);
    QString value() const;
    void setPeriod(const QString& mmyyyy); // six characters MMYYYY
};

// A number shown with a display format while the edit does not have the
// focus (thousands grouped, at least the format's decimals and every decimal
// the value has, so the box never hides part of it), and as plain number
// text (the locale's decimal separator) while the user types. Holds 0 until
// it is set, and when emptied. What the user types is read as people write
// numbers (numtext::readTyped): thousands grouped, "." or "," for the
// decimals where that is clear. Text that is no number for the field (not
// a number, decimals where it takes none, more than the maximum) is kept as
// typed and problem() says why; value() is then the last value that read.
class NumberEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class Format {
        Whole,       // thousands separators, no decimals: 1.234 and -1.234
        WholeDollar, // as Whole, negatives -$1.234
        TwoDecimals, // 1.234,50 and -1.234,50
    };
    explicit NumberEdit(Format format = Format::Whole, QWidget* parent = nullptr);

    double value() const { return value_; }
    void setValue(double value);
    Format format() const { return format_; }
    void setFormat(Format format);
    void setMaximum(double maximum); // 0: none
    double maximum() const { return maximum_; }
    // Whether the field keeps decimals (by default it does).
    void setDecimals(bool decimals) { decimals_ = decimals; }
    // Why the text typed is no value for the field; empty when it is one.
    QString problem() const { return problem_; }
    // The value as the display format shows it.
    QString formatted(double value) const;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void read(const QString& text);
    void refresh(bool editing);
    Format format_;
    double value_ = 0;
    double maximum_ = 0;
    bool decimals_ = true;
    QString problem_;
};

// A date with a calendar button, or nothing: an empty edit is a real state,
// not a date. The text is the program's date format (ten characters). The
// button stays out of the keyboard order: F4 or Alt+Down in the edit opens
// the calendar, where Enter takes the day chosen and Escape closes it.
class DateEdit : public QWidget {
    Q_OBJECT
public:
    explicit DateEdit(QWidget* parent = nullptr);

    QDate date() const;              // null when empty or not a date
    void setDate(const QDate& date); // a null date empties the edit
    bool isBlank() const;            // nothing typed
    QString text() const;            // as shown, blanks for unfilled positions
    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* calendarButton() const { return button_; }
    // Opens the calendar on the date shown (today when there is none).
    void showCalendar();

signals:
    void edited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* edit_;
    QToolButton* button_;
};

// An editable drop-down list of code entries ("05 Habitat"): the user picks
// an entry or types any text. text() is what the list shows.
class CodeList : public QComboBox {
    Q_OBJECT
public:
    explicit CodeList(QWidget* parent = nullptr);
    void setEntries(const QStringList& entries);
    QString text() const { return currentText(); }
    // Chooses the entry with exactly this text, or shows the text with no
    // entry chosen.
    void setText(const QString& text);
    void chooseEntry(int index); // beyond the end: nothing chosen, empty text
    void showPopup() override;

private:
    void showStart();
};

// Tabs some of which are drawn highlighted.
class HighlightTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit HighlightTabBar(QWidget* parent = nullptr);
    void setTabHighlighted(int index, bool on);
    bool isTabHighlighted(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void tabInserted(int index) override;
    void tabRemoved(int index) override;

private:
    QList<bool> highlighted_;
};

class HighlightTabWidget : public QTabWidget {
    Q_OBJECT
public:
    explicit HighlightTabWidget(QWidget* parent = nullptr);
    HighlightTabBar* bar() const { return bar_; }
    void setTabHighlighted(int index, bool on) { bar_->setTabHighlighted(index, on); }
    bool isTabHighlighted(int index) const { return bar_->isTabHighlighted(index); }

private:
    HighlightTabBar* bar_;
};

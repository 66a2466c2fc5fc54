#include "EntryControls.h"

#include "util/DateText.h"
#include "util/NumberText.h"

#include <QCalendarWidget>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <cstdio>

using namespace solvanta;

// ---- RutEdit -------------------------------------------------------------------

RutEdit::RutEdit(int digits, QWidget* parent) : QLineEdit(parent) {
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("\\d{0,%1}").arg(digits)), this));
    setMaxLength(digits);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QString RutEdit::value() const {
    return text().trimmed();
}

void RutEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // After the base class, which may select everything on a Tab.
    QTimer::singleShot(0, this, [this] {
        if (hasFocus()) end(false);
    });
}

// ---- UpperEdit -----------------------------------------------------------------

namespace {

// Turns letters to capitals as they are typed or pasted.
class UpperValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

UpperEdit::UpperEdit(int maxLength, QWidget* parent) : QLineEdit(parent) {
    setValidator(new UpperValidator(this));
    if (maxLength > 0) setMaxLength(maxLength);
}

void UpperEdit::setValue(const QString& text) {
    setText(text.toUpper());
}

// ---- PeriodEdit ----------------------------------------------------------------

PeriodEdit::PeriodEdit(QWidget* parent) : QLineEdit(parent) {
    setInputMask(QStringLiteral("00/0000;_"));
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QString PeriodEdit::value() const {
    QString t = displayText();
    t.replace(u'_', u' ');
    return t;
}

void PeriodEdit::setPeriod(const QString& mmyyyy) {
    QString shown = mmyyyy.left(6).leftJustified(6, u' ');
    shown.insert(2, u'/');
    setText(shown);
}

// ---- NumberEdit ----------------------------------------------------------------

namespace {

QChar groupSeparator() {
    const QChar decimal = QLatin1Char(numtext::decimalSeparator());
    const QString g = QLocale::system().groupSeparator();
    if (g.size() == 1 && g[0] != decimal && !g[0].isSpace()) return g[0];
    return decimal == u',' ? u'.' : u',';
}

// Plain number text while typing: an optional minus, digits, one decimal
// separator; nothing above the maximum.
class NumberValidator : public QValidator {
public:
    explicit NumberValidator(const NumberEdit* edit) : QValidator(nullptr), edit_(edit) {}
    State validate(QString& input, int&) const override {
        const QChar decimal = QLatin1Char(numtext::decimalSeparator());
        int separators = 0;
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (c == u'-' && i == 0) continue;
            if (c == decimal && ++separators == 1) continue;
            if (!c.isDigit() || c.unicode() > 127) return Invalid;
        }
        if (edit_->maximum() > 0)
            if (const auto v = numtext::parseDecimal(input); v && *v > edit_->maximum())
                return Invalid;
        return Acceptable;
    }

private:
    const NumberEdit* edit_;
};

} // namespace

NumberEdit::NumberEdit(Format format, QWidget* parent) : QLineEdit(parent), format_(format) {
    auto* validator = new NumberValidator(this);
    validator->setParent(this);
    setValidator(validator);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::textEdited, this,
            [this](const QString& t) { value_ = numtext::parseDecimal(t).value_or(0.0); });
    refresh(false);
}

void NumberEdit::setValue(double value) {
    value_ = value;
    refresh(hasFocus());
}

void NumberEdit::setFormat(Format format) {
    format_ = format;
    refresh(hasFocus());
}

void NumberEdit::setMaximum(double maximum) {
    maximum_ = maximum;
}

QString NumberEdit::formatted(double v) const {
    const int decimals = format_ == Format::TwoDecimals ? 2 : 0;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(v));
    const QString digits = QString::fromLatin1(buf);
    const qsizetype point = digits.indexOf(u'.');
    const QString whole = point < 0 ? digits : digits.left(point);
    QString out;
    const QChar group = groupSeparator();
    for (qsizetype i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) out += group;
        out += whole[i];
    }
    if (point >= 0) out += QLatin1Char(numtext::decimalSeparator()) + digits.mid(point + 1);
    const bool zero = digits.count(u'0') == digits.size() - (point >= 0 ? 1 : 0);
    if (v < 0 && !zero)
        out.prepend(format_ == Format::WholeDollar ? QStringLiteral("-$") : QStringLiteral("-"));
    return out;
}

void NumberEdit::refresh(bool editing) {
    setText(editing ? numtext::format(value_) : formatted(value_));
}

void NumberEdit::focusInEvent(QFocusEvent* event) {
    refresh(true);
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason) selectAll();
}

void NumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A popup (a context menu) takes the focus for a moment; the user is
    // still editing.
    if (event->reason() != Qt::PopupFocusReason) refresh(false);
}

// ---- DateEdit ------------------------------------------------------------------

namespace {

QString dateMask() {
    QString mask;
    for (QChar c : datetext::format())
        mask += (c == u'd' || c == u'M' || c == u'y') ? QChar(u'0') : c;
    return mask + QStringLiteral(";_");
}

} // namespace

DateEdit::DateEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    edit_->setObjectName(QStringLiteral("fecha"));
    edit_->setInputMask(dateMask());
    button_->setObjectName(QStringLiteral("calendario"));
    button_->setText(QStringLiteral("▾"));
    button_->setToolTip(QStringLiteral("Elegir la fecha en un calendario"));
    button_->setAccessibleName(QStringLiteral("Calendario"));
    button_->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(edit_, 1);
    layout->addWidget(button_);
    setFocusProxy(edit_);
    connect(button_, &QToolButton::clicked, this, &DateEdit::showCalendar);
    connect(edit_, &QLineEdit::textEdited, this, &DateEdit::edited);
}

QString DateEdit::text() const {
    QString t = edit_->displayText();
    t.replace(u'_', u' ');
    return t;
}

bool DateEdit::isBlank() const {
    for (QChar c : text())
        if (c.isDigit()) return false;
    return true;
}

QDate DateEdit::date() const {
    return QDate::fromString(text(), datetext::format());
}

void DateEdit::setDate(const QDate& date) {
    if (date.isValid())
        edit_->setText(datetext::write(date));
    else
        edit_->clear();
}

void DateEdit::showCalendar() {
    auto* calendar = new QCalendarWidget(this);
    calendar->setObjectName(QStringLiteral("calendarioFechas"));
    calendar->setWindowFlags(Qt::Popup);
    calendar->setAttribute(Qt::WA_DeleteOnClose);
    calendar->setSelectedDate(date().isValid() ? date() : datetext::today());
    auto pick = [this, calendar](const QDate& d) {
        setDate(d);
        calendar->close();
        edit_->setFocus(Qt::PopupFocusReason);
        emit edited();
    };
    connect(calendar, &QCalendarWidget::clicked, this, pick);
    connect(calendar, &QCalendarWidget::activated, this, pick);
    calendar->adjustSize();
    calendar->move(mapToGlobal(QPoint(0, height())));
    calendar->show();
    calendar->setFocus(Qt::PopupFocusReason);
}

// ---- CodeList ------------------------------------------------------------------

CodeList::CodeList(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(18);
    setMaxVisibleItems(15);
    // An entry longer than the box would show its end, the code hidden:
    // whatever put the text there (a load, a choice, leaving the box), the
    // box shows the start. Typing in the box keeps the caret where it is.
    connect(this, &QComboBox::currentIndexChanged, this, &CodeList::showStart);
    connect(lineEdit(), &QLineEdit::editingFinished, this, &CodeList::showStart);
}

void CodeList::showStart() {
    lineEdit()->setCursorPosition(0);
}

void CodeList::setEntries(const QStringList& entries) {
    const QString keep = currentText();
    clear();
    addItems(entries);
    setText(keep);
}

void CodeList::setText(const QString& text) {
    const int i = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    setCurrentIndex(i);
    if (i < 0) setEditText(text);
    showStart();
}

void CodeList::chooseEntry(int index) {
    setText(index < count() ? itemText(index) : QString());
}

// ---- HighlightTabBar -----------------------------------------------------------

HighlightTabBar::HighlightTabBar(QWidget* parent) : QTabBar(parent) {}

void HighlightTabBar::setTabHighlighted(int index, bool on) {
    if (index < 0 || index >= highlighted_.size() || highlighted_[index] == on) return;
    highlighted_[index] = on;
    update();
}

bool HighlightTabBar::isTabHighlighted(int index) const {
    return index >= 0 && index < highlighted_.size() && highlighted_[index];
}

void HighlightTabBar::tabInserted(int index) {
    highlighted_.insert(index, false);
    QTabBar::tabInserted(index);
}

void HighlightTabBar::tabRemoved(int index) {
    highlighted_.remove(index);
    QTabBar::tabRemoved(index);
}

void HighlightTabBar::paintEvent(QPaintEvent* event) {
    QTabBar::paintEvent(event);
    // A wash of the selection colour over the highlighted tabs: it reads on
    // light and dark themes and leaves the text legible.
    QPainter p(this);
    QColor wash = palette().color(QPalette::Highlight);
    wash.setAlpha(70);
    for (int i = 0; i < count(); ++i)
        if (highlighted_.value(i)) p.fillRect(tabRect(i).adjusted(2, 2, -2, -1), wash);
}

HighlightTabWidget::HighlightTabWidget(QWidget* parent)
    : QTabWidget(parent), bar_(new HighlightTabBar(this)) {
    setTabBar(bar_);
}

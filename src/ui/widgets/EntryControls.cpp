#include "EntryControls.h"

#include "engine/util/CodePage.h"
#include "engine/util/DateText.h"
#include "engine/util/NumberText.h"
#include "engine/util/PeriodText.h"
#include "engine/util/StrUtil.h"

#include <QCalendarWidget>
#include <QFocusEvent>
#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>

using namespace solvanta;

// ---- RutEdit -------------------------------------------------------------------

namespace {

// What a RUT box lets through while the user types: the number's digits
// (no more than the box holds), the dots people group them with, and one
// check character after a dash (or a K right after the digits).
class RutValidator : public QValidator {
public:
    RutValidator(int digits, QObject* parent) : QValidator(parent), digits_(digits) {}
    State validate(QString& input, int&) const override {
        static const QRegularExpression shape(QStringLiteral("^ *([0-9.]*)(-[0-9kK]?|[kK])? *$"));
        const QRegularExpressionMatch m = shape.match(input);
        if (!m.hasMatch()) return Invalid;
        const QString number = m.captured(1);
        return number.size() - number.count(u'.') <= digits_ ? Acceptable : Invalid;
    }

private:
    int digits_;
};

} // namespace

RutEdit::RutEdit(int digits, QWidget* parent) : QLineEdit(parent), digits_(digits) {
    setValidator(new RutValidator(digits, this));
    // Room for the dots, the dash and the check character.
    setMaxLength(digits + 5);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::editingFinished, this, &RutEdit::settle);
}

std::optional<RutText> RutEdit::reading() const {
    auto rut = readRut(text());
    if (rut && rut->digits.size() > digits_) rut.reset();
    return rut;
}

QString RutEdit::value() const {
    const auto rut = reading();
    return rut ? rut->digits : text().trimmed();
}

bool RutEdit::readable() const {
    return text().trimmed().isEmpty() || reading();
}

void RutEdit::settle() {
    const auto rut = reading();
    if (!rut) return;
    if (text() != rut->digits) setText(rut->digits);
    if (!rut->check.isNull()) emit checkTyped(rut->check);
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
        input = cp1252::upper(input);
        return Acceptable;
    }
};

} // namespace

UpperEdit::UpperEdit(int maxLength, QWidget* parent) : QLineEdit(parent) {
    setValidator(new UpperValidator(this));
    if (maxLength > 0) setMaxLength(maxLength);
}

void UpperEdit::setValue(const QString& text) {
    setText(cp1252::upper(text));
}

// ---- DigitEdit -----------------------------------------------------------------

DigitEdit::DigitEdit(int maxLength, QWidget* parent) : QLineEdit(parent) {
    setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    setMaxLength(maxLength);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
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
    setText(periodtext::shown(mmyyyy));
}

// ---- NumberEdit ----------------------------------------------------------------

namespace {

QChar groupSeparator() {
    const QChar decimal = QLatin1Char(numtext::decimalSeparator());
    const QString g = QLocale::system().groupSeparator();
    if (g.size() == 1 && g[0] != decimal && !g[0].isSpace()) return g[0];
    return decimal == u',' ? u'.' : u',';
}

} // namespace

NumberEdit::NumberEdit(Format format, QWidget* parent) : QLineEdit(parent), format_(format) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::textEdited, this, &NumberEdit::read);
    refresh(false);
}

void NumberEdit::read(const QString& text) {
    problem_.clear();
    if (text.trimmed().isEmpty()) {
        value_ = 0;
        return;
    }
    const numtext::Typed typed = numtext::readTyped(text, decimals_);
    if (!typed.value) {
        problem_ = typed.problem;
    } else if (maximum_ > 0 && *typed.value > maximum_) {
        problem_ = QStringLiteral("«%1» es más que %2, lo más que lleva este campo.")
                       .arg(text.trimmed(), numtext::format(maximum_));
    } else {
        value_ = *typed.value;
    }
}

void NumberEdit::setValue(double value) {
    value_ = value;
    problem_.clear();
    refresh(hasFocus());
}

void NumberEdit::setFormat(Format format) {
    format_ = format;
    if (problem_.isEmpty()) refresh(hasFocus());
}

void NumberEdit::setMaximum(double maximum) {
    maximum_ = maximum;
}

QString NumberEdit::formatted(double v) const {
    // The shortest text of the value, whose decimals are then shown in full
    // (at least as many as the format asks for).
    char buf[numtext::kMaxNumberText];
    const QString digits = QString::fromLatin1(buf, numtext::format(std::fabs(v), '.', buf));
    if (digits.contains(u'E')) return numtext::format(v); // beyond any amount
    const qsizetype point = digits.indexOf(u'.');
    const QString whole = point < 0 ? digits : digits.left(point);
    QString fraction = point < 0 ? QString() : digits.mid(point + 1);
    const int least = format_ == Format::TwoDecimals ? 2 : 0;
    while (fraction.size() < least)
        fraction += u'0';
    QString out;
    const QChar group = groupSeparator();
    for (qsizetype i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) out += group;
        out += whole[i];
    }
    if (!fraction.isEmpty()) out += QLatin1Char(numtext::decimalSeparator()) + fraction;
    if (v < 0)
        out.prepend(format_ == Format::WholeDollar ? QStringLiteral("-$") : QStringLiteral("-"));
    return out;
}

void NumberEdit::refresh(bool editing) {
    setText(editing ? numtext::format(value_) : formatted(value_));
}

void NumberEdit::focusInEvent(QFocusEvent* event) {
    // Text that did not read stays as the user typed it, to be corrected.
    if (problem_.isEmpty()) refresh(true);
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason) selectAll();
}

void NumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A popup (a context menu) takes the focus for a moment; the user is
    // still editing.
    if (event->reason() != Qt::PopupFocusReason && problem_.isEmpty()) refresh(false);
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
    edit_->installEventFilter(this);
}

// F4 and Alt+Down open the calendar from the keyboard, as they open a list.
bool DateEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_F4 && mods == Qt::NoModifier) ||
            (key->key() == Qt::Key_Down && mods == Qt::AltModifier)) {
            showCalendar();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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

// The open list is as wide as its longest entry, so that no description is
// cut; the closed box keeps its width in the form.
void CodeList::showPopup() {
    QAbstractItemView* list = view();
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, list->sizeHintForIndex(model()->index(i, modelColumn())).width());
    const int scrollBar =
        count() > maxVisibleItems() ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    list->setMinimumWidth(widest + scrollBar + 2 * list->frameWidth());
    QComboBox::showPopup();
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

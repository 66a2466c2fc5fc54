#include "UnitModCodSolvanta.h"

#include "engine/codes/CodeLists.h"
#include "engine/util/StrUtil.h"
#include "ui/help/UFrmAyudaParametros.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/EntryControls.h"
#include "ui/widgets/Pregunta.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <functional>

using namespace solvanta;

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Keeps what a box may hold. An entry is stored as an INI key, which ends at
// its first "=" and loses blanks at its ends: a description never holds an
// "=", and a code is letters and digits only (digits only where the list's
// codes are numbers), in capitals, so that it never holds a blank or an "="
// that the file would cut. A refused character is dropped and `refused` told
// why, once per input however many it held (a paste). While `loading` is
// set the box is being given an entry read from the file, which it shows as
// it is, and `given` is that text, which the edit validates again (when it
// loses the focus) without it being typed: storing the entry again is what
// checks it.
class EntryValidator : public QValidator {
public:
    enum class Box { Code, NumericCode, Glosa };
    EntryValidator(Box box, const bool* loading, const QString* given,
                   std::function<void(const QString&)> refused, QObject* parent)
        : QValidator(parent), box_(box), loading_(loading), given_(given),
          refused_(std::move(refused)) {}

    State validate(QString& input, int& pos) const override {
        if (*loading_ || input == *given_) return Acceptable;
        QString kept;
        kept.reserve(input.size());
        QChar refused;
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (takes(c))
                kept += box_ == Box::Glosa ? c : c.toUpper();
            else {
                refused = c;
                if (i < pos) --pos;
            }
        }
        input = kept;
        if (!refused.isNull()) refused_(why(refused));
        return Acceptable;
    }

private:
    bool takes(QChar c) const {
        switch (box_) {
        case Box::Code:
            return c.isLetterOrNumber();
        case Box::NumericCode:
            return isDigit(c);
        case Box::Glosa:
            return c != u'=';
        }
        return false;
    }
    QString why(QChar c) const {
        switch (box_) {
        case Box::Code:
            return QStringLiteral("Un código lleva solo letras y dígitos: «%1» no puede ir en él.")
                .arg(c);
        case Box::NumericCode:
            return QStringLiteral(
                       "Los códigos de esta lista son números: «%1» no puede ir en un código.")
                .arg(c);
        case Box::Glosa:
            break;
        }
        return QStringLiteral("El signo = no puede ir en una glosa.");
    }

    Box box_;
    const bool* loading_;
    const QString* given_;
    std::function<void(const QString&)> refused_;
};

// The code of an entry: its first characters, as many as the codes are wide,
// or fewer when a blank comes first (an entry written by hand with a shorter
// code, "1 Uno" among codes of two).
qsizetype codeEnd(const QString& entry, int width) {
    const qsizetype blank = entry.indexOf(u' ');
    return blank >= 0 && blank < width ? blank : width;
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

TFrmModCodSolvanta::TFrmModCodSolvanta(const QString& section, int width, QWidget* parent,
                                       const CodeTableFile& codes)
    : QDialog(parent), codes_(codes), section_(section), width_(width) {
    setObjectName(QStringLiteral("FrmModCodSolvanta"));
    setWindowTitle(QStringLiteral("Codigos de Solvanta"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    QFrame* top = highlightPanel(this, "Panel1");
    EdCodigo_ = new UpperEdit(width_, top);
    EdCodigo_->setObjectName(QStringLiteral("EdCodigo"));
    const auto refused = [this](const QString& why) { refuseInput(why); };
    EdCodigo_->setValidator(new EntryValidator(numericCodes() ? EntryValidator::Box::NumericCode
                                                              : EntryValidator::Box::Code,
                                               &loadingBoxes_, &givenCode_, refused, EdCodigo_));
    EdCodigo_->setFixedWidth(EdCodigo_->fontMetrics().horizontalAdvance(u'W') * 4 + 16);
    EdGlosa_ = new QLineEdit(top);
    EdGlosa_->setObjectName(QStringLiteral("EdGlosa"));
    EdGlosa_->setValidator(new EntryValidator(EntryValidator::Box::Glosa, &loadingBoxes_,
                                              &givenGlosa_, refused, EdGlosa_));
    EdGlosa_->setMinimumWidth(360);
    auto* topLayout = new QGridLayout(top);
    topLayout->setContentsMargins(12, 8, 12, 8);
    topLayout->setVerticalSpacing(2);
    topLayout->addWidget(label(top, "Label1", QStringLiteral("Código")), 0, 0);
    topLayout->addWidget(label(top, "Label2", QStringLiteral("Glosa")), 0, 1);
    topLayout->addWidget(EdCodigo_, 1, 0);
    topLayout->addWidget(EdGlosa_, 1, 1);
    notice_ = label(top, "LbAviso", QString());
    notice_->setWordWrap(true);
    notice_->hide();
    topLayout->addWidget(notice_, 2, 0, 1, 2);
    topLayout->setColumnStretch(1, 1);

    QFrame* middle = highlightPanel(this, "Panel2");
    entries_ = new QListWidget(middle);
    entries_->setObjectName(QStringLiteral("ListBox1"));
    entries_->setSelectionMode(QAbstractItemView::SingleSelection);
    entries_->setMinimumHeight(220);
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->setContentsMargins(0, 0, 0, 0);
    middleLayout->addWidget(entries_);

    QFrame* bottom = highlightPanel(this, "Panel3");
    QPushButton* add =
        glyphButton(bottom, "BitBtn3", QStringLiteral("&Agregar"), images::Glyph::Add);
    QPushButton* modify =
        glyphButton(bottom, "BitBtn1", QStringLiteral("&Modificar"), images::Glyph::Modify);
    modify->setToolTip(QStringLiteral("Modifica línea"));
    QPushButton* remove =
        glyphButton(bottom, "BitBtn4", QStringLiteral("&Eliminar"), images::Glyph::Delete);
    QPushButton* help =
        glyphButton(bottom, "BitBtn5", QStringLiteral("A&yuda"), images::Glyph::Help);
    QPushButton* close =
        glyphButton(bottom, "BitBtn2", QStringLiteral("&Cerrar"), images::Glyph::Close);
    saveButton_ =
        glyphButton(bottom, "BtBnGrabar", QStringLiteral("&Grabar"), images::Glyph::Accept);
    saveButton_->setToolTip(QStringLiteral("Grabar cambios y Salir"));
    saveButton_->setEnabled(false);
    saveButton_->hide();
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(12, 10, 12, 10);
    for (QPushButton* b : {add, modify, remove, help, close})
        bottomLayout->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(top);
    layout->addWidget(middle, 1);
    layout->addWidget(bottom);

    setTabOrder(EdCodigo_, EdGlosa_);
    setTabOrder(EdGlosa_, entries_);
    setTabOrder(entries_, add);
    setTabOrder(add, modify);
    setTabOrder(modify, remove);
    setTabOrder(remove, close);
    setTabOrder(close, help);

    EdCodigo_->installEventFilter(this);
    EdGlosa_->installEventFilter(this);
    connect(entries_, &QListWidget::itemDoubleClicked, this, &TFrmModCodSolvanta::modifyEntry);
    connect(modify, &QPushButton::clicked, this, &TFrmModCodSolvanta::modifyEntry);
    connect(add, &QPushButton::clicked, this, &TFrmModCodSolvanta::addEntry);
    connect(remove, &QPushButton::clicked, this, &TFrmModCodSolvanta::deleteEntry);
    connect(help, &QPushButton::clicked, this, &TFrmModCodSolvanta::showHelp);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(saveButton_, &QPushButton::clicked, this, &TFrmModCodSolvanta::saveList);

    fillList();
}

void TFrmModCodSolvanta::fillList() {
    entries_->addItems(codes_.readSection(section_));
    closeBoxes();
}

// Leaving a box is the focus moving to another control of this window (Tab,
// Enter, a click). Another window taking the focus (a message box, the
// window closing) leaves the boxes alone, and so does closing putting the
// focus back on the entry the user chose to keep.
bool TFrmModCodSolvanta::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !closing_ &&
        (watched == EdCodigo_ || watched == EdGlosa_)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == EdCodigo_)
                ui::guarded(this, [this] { codeLeft(); });
            else
                ui::guarded(this, [this] { descriptionLeft(); });
        }
    }
    return QDialog::eventFilter(watched, event);
}

int TFrmModCodSolvanta::selectedRow() const {
    const QList<QListWidgetItem*> items = entries_->selectedItems();
    return items.isEmpty() ? -1 : entries_->row(items.first());
}

void TFrmModCodSolvanta::openBoxes(const QString& code, const QString& glosa) {
    loadingBoxes_ = true;
    EdCodigo_->setValue(code);
    EdGlosa_->setText(glosa);
    loadingBoxes_ = false;
    openedCode_ = givenCode_ = EdCodigo_->text();
    openedGlosa_ = givenGlosa_ = EdGlosa_->text();
    notice_->hide();
    EdCodigo_->setEnabled(true);
    EdGlosa_->setEnabled(true);
    EdCodigo_->setFocus(Qt::OtherFocusReason);
}

void TFrmModCodSolvanta::closeBoxes() {
    EdCodigo_->clear();
    EdGlosa_->clear();
    EdCodigo_->setEnabled(false);
    EdGlosa_->setEnabled(false);
    givenCode_.clear();
    givenGlosa_.clear();
    notice_->hide();
}

// A key the boxes refuse is never dropped unnoticed: a beep, and the reason
// under the boxes (not a message box, which a paste or a held key would
// raise again and again).
void TFrmModCodSolvanta::refuseInput(const QString& why) {
    ui::dialogs().beep();
    notice_->setText(why);
    notice_->show();
}

// The code is the entry's first characters, as many as the codes are wide,
// and the description what follows the blank after it. An entry written by
// hand with a shorter code ("1 Uno" among codes of two) splits at its blank,
// so that storing it unchanged loses nothing of the description; the code
// box zero-fills the code when it is left.
void TFrmModCodSolvanta::modifyEntry() {
    ui::guarded(this, [this] {
        const int row = selectedRow();
        if (row < 0) {
            ui::dialogs().inform(this, QStringLiteral("Debe seleccionar un dato"));
            return;
        }
        const QString entry = entries_->item(row)->text();
        const qsizetype end = codeEnd(entry, width_);
        cont = row;
        adding_ = false;
        openBoxes(entry.left(end), entry.mid(end + 1));
    });
}

void TFrmModCodSolvanta::codeLeft() {
    const QString code = EdCodigo_->text();
    if (code.isEmpty() || code.size() >= width_) return;
    // Only zeros are added: what the box held was already taken.
    loadingBoxes_ = true;
    EdCodigo_->setText(zeroFilled(code));
    loadingBoxes_ = false;
    givenCode_ = EdCodigo_->text();
}

// The record editor and the line checks read the codes of a list of numbers
// as numbers: a code with a letter there finds nothing, and makes the
// look-ups of the whole list fail. A section the program does not know takes
// letters and digits.
bool TFrmModCodSolvanta::numericCodes() const {
    for (const CodeListDef& l : codeLists())
        if (section_ == QLatin1String(l.section)) return !l.letters;
    return false;
}

QString TFrmModCodSolvanta::zeroFilled(const QString& code) const {
    return code.isEmpty() || code.size() >= width_
               ? code
               : RellenaIzquierda(code, QStringLiteral("0"), width_);
}

// Why an entry with this code cannot be stored; empty when it can. Every
// look-up takes the last entry with a code, so a second entry with the same
// code would hide the first: codes are compared as the look-ups compare them,
// by number in a list of numbers ("5" is "05"), as text in a list of letters.
// The entry being changed may keep its own code.
QString TFrmModCodSolvanta::refusalOf(const QString& code) const {
    const bool numeric = numericCodes();
    if (numeric && !std::all_of(code.begin(), code.end(), isDigit))
        return QStringLiteral("El código %1 no es válido: los códigos de esta lista son números.")
            .arg(code);
    for (int i = 0; i < entries_->count(); ++i) {
        if (i == cont) continue; // the entry being changed
        const QString entry = entries_->item(i)->text();
        const QString other = entry.left(codeEnd(entry, width_)).trimmed();
        bool same = other == code;
        if (numeric && !same) {
            bool read = false, otherRead = false;
            const int n = code.toInt(&read);
            const int m = other.toInt(&otherRead);
            same = read && otherRead && n == m;
        }
        if (same) return QStringLiteral("El código %1 ya está en la lista: «%2».").arg(code, entry);
    }
    return {};
}

// Stores the entry when both boxes are filled and its code is one the list
// may take; a refused code leaves both boxes as they are, with the focus on
// the code to correct it.
void TFrmModCodSolvanta::descriptionLeft() {
    const QString code = zeroFilled(EdCodigo_->text());
    // The file keeps no blanks at the ends of an entry: the list shows what
    // the file will hold.
    const QString glosa = EdGlosa_->text().trimmed();
    if (code.isEmpty() || glosa.isEmpty()) return;
    const QString why = refusalOf(code);
    if (!why.isEmpty()) {
        ui::dialogs().inform(this, why);
        EdCodigo_->setFocus(Qt::OtherFocusReason);
        return;
    }
    store(code, glosa);
}

// After a new entry the boxes stay open for the next one, which goes after
// it; after a changed entry they close, so that nothing typed later can
// overwrite the entry just stored: the next change starts with Agregar or
// Modificar.
void TFrmModCodSolvanta::store(const QString& code, const QString& glosa) {
    texto = code + QLatin1Char(' ') + glosa;
    if (cont >= 0 && cont < entries_->count()) {
        entries_->item(cont)->setText(texto);
    } else {
        entries_->addItem(texto);
        cont = entries_->count() - 1;
    }
    EdCodigo_->clear();
    EdGlosa_->clear();
    openedCode_.clear();
    openedGlosa_.clear();
    givenCode_.clear();
    givenGlosa_.clear();
    notice_->hide();
    if (adding_)
        cont = entries_->count();
    else
        closeBoxes();
    saveList();
}

// Closing treats an entry in the boxes the same whichever way the window is
// closed: the boxes never leave it by themselves then (the focus goes to
// another window). An entry complete and acceptable is stored as leaving the
// description box would; anything else typed is dropped only if the user
// says so, and otherwise the window stays with the focus on what the entry
// lacks. Boxes holding what they were opened with have nothing to lose.
bool TFrmModCodSolvanta::mayClose() {
    if (!EdCodigo_->isEnabled()) return true;
    const QString shownCode = EdCodigo_->text();
    const QString shownGlosa = EdGlosa_->text();
    if (shownCode == openedCode_ && shownGlosa == openedGlosa_) return true;
    const QString code = zeroFilled(shownCode);
    const QString glosa = shownGlosa.trimmed();
    if (code.isEmpty() && glosa.isEmpty()) return true;

    QString why;
    if (!code.isEmpty() && !glosa.isEmpty()) {
        why = refusalOf(code);
        if (why.isEmpty()) {
            store(code, glosa);
            return true;
        }
    }
    const QString question = QStringLiteral("¿Descartar la entrada «%1» que está escribiendo?")
                                 .arg((shownCode + QLatin1Char(' ') + glosa).trimmed());
    if (Pregunta(why.isEmpty() ? question : why, why.isEmpty() ? QString() : question) == 1)
        return true;
    QLineEdit* lacking = code.isEmpty() || !why.isEmpty() ? EdCodigo_ : EdGlosa_;
    lacking->setFocus(Qt::OtherFocusReason);
    return false;
}

void TFrmModCodSolvanta::done(int result) {
    // A close box pressed again while the question is up asks nothing more.
    if (closing_) return;
    closing_ = true;
    bool close = false;
    // A store that fails to write the file is reported, and the window
    // stays: the list on screen still holds the entry.
    ui::guarded(this, [&] { close = mayClose(); });
    closing_ = false;
    if (close) QDialog::done(result);
}

// Replaces the section in the file by the on-screen list. When the file
// cannot be written the list keeps every change, and the next save that
// succeeds writes them all.
void TFrmModCodSolvanta::saveList() {
    QStringList entries;
    entries.reserve(entries_->count());
    for (int i = 0; i < entries_->count(); ++i)
        entries << entries_->item(i)->text();
    codes_.replaceSection(section_, entries);
}

void TFrmModCodSolvanta::addEntry() {
    cont = entries_->count();
    adding_ = true;
    openBoxes(QString(), QString());
}

// After a deletion the boxes close: the entries behind the deleted one have
// moved up, and an entry half typed in the boxes would otherwise overwrite
// the one that took its place.
void TFrmModCodSolvanta::deleteEntry() {
    ui::guarded(this, [this] {
        const int row = selectedRow();
        if (row < 0) {
            ui::dialogs().inform(this, QStringLiteral("Debe seleccionar un dato"));
            return;
        }
        if (Pregunta(QStringLiteral("¿Seguro de Eliminar este Registro?"), QString()) != 1) return;
        cont = row;
        delete entries_->takeItem(row);
        entries_->clearSelection();
        closeBoxes();
        saveList();
    });
}

void TFrmModCodSolvanta::showHelp() {
    ui::guarded(this, [this] {
        for (const CodeListDef& l : codeLists()) {
            if (!l.helpTitle || section_ != QLatin1String(l.section)) continue;
            QString text = QStringLiteral("  \r");
            for (const char* line : l.helpLines) {
                if (!line) break;
                text += QLatin1String("  ") + QString::fromUtf8(line) + QLatin1Char('\r');
            }
            TFrmAyudaParametros help(this);
            help.setWindowTitle(QString::fromUtf8(l.helpTitle));
            help.setText(text);
            help.exec();
            return;
        }
    });
}

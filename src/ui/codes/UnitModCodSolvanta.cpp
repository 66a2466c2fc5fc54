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

using namespace solvanta;

namespace {

// Keeps what the box may hold: `keep` decides for each character, letters
// become capitals when `upper`. An entry is stored as an INI key, which ends
// at its first "=" and loses blanks at its ends; a code is letters and digits
// only, so that it never holds a blank or an "=" that the file would cut.
class EntryValidator : public QValidator {
public:
    EntryValidator(bool code, QObject* parent) : QValidator(parent), code_(code) {}
    State validate(QString& input, int& pos) const override {
        QString kept;
        kept.reserve(input.size());
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (code_ ? c.isLetterOrNumber() : c != u'=')
                kept += code_ ? c.toUpper() : c;
            else if (i < pos)
                --pos;
        }
        input = kept;
        return Acceptable;
    }

private:
    bool code_;
};

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
    EdCodigo_->setValidator(new EntryValidator(true, EdCodigo_));
    EdCodigo_->setFixedWidth(EdCodigo_->fontMetrics().horizontalAdvance(u'W') * 4 + 16);
    EdGlosa_ = new QLineEdit(top);
    EdGlosa_->setObjectName(QStringLiteral("EdGlosa"));
    EdGlosa_->setValidator(new EntryValidator(false, EdGlosa_));
    EdGlosa_->setMinimumWidth(360);
    auto* topLayout = new QGridLayout(top);
    topLayout->setContentsMargins(12, 8, 12, 8);
    topLayout->setVerticalSpacing(2);
    topLayout->addWidget(label(top, "Label1", QStringLiteral("Código")), 0, 0);
    topLayout->addWidget(label(top, "Label2", QStringLiteral("Glosa")), 0, 1);
    topLayout->addWidget(EdCodigo_, 1, 0);
    topLayout->addWidget(EdGlosa_, 1, 1);
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
// window closing) leaves the boxes alone.
bool TFrmModCodSolvanta::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && (watched == EdCodigo_ || watched == EdGlosa_)) {
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
    EdCodigo_->setValue(code);
    EdGlosa_->setText(glosa);
    EdCodigo_->setEnabled(true);
    EdGlosa_->setEnabled(true);
    EdCodigo_->setFocus(Qt::OtherFocusReason);
}

void TFrmModCodSolvanta::closeBoxes() {
    EdCodigo_->clear();
    EdGlosa_->clear();
    EdCodigo_->setEnabled(false);
    EdGlosa_->setEnabled(false);
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
        const qsizetype blank = entry.indexOf(u' ');
        const qsizetype codeEnd = blank >= 0 && blank < width_ ? blank : width_;
        cont = row;
        adding_ = false;
        openBoxes(entry.left(codeEnd), entry.mid(codeEnd + 1));
    });
}

void TFrmModCodSolvanta::codeLeft() {
    const QString code = EdCodigo_->text();
    if (!code.isEmpty() && code.size() < width_)
        EdCodigo_->setText(RellenaIzquierda(code, QStringLiteral("0"), width_));
}

// Stores the entry when both boxes are filled. After a new entry the boxes
// stay open for the next one, which goes after it; after a changed entry
// they close, so that nothing typed later can overwrite the entry just
// stored: the next change starts with Agregar or Modificar.
void TFrmModCodSolvanta::descriptionLeft() {
    QString code = EdCodigo_->text();
    // The file keeps no blanks at the ends of an entry: the list shows what
    // the file will hold.
    const QString glosa = EdGlosa_->text().trimmed();
    if (code.isEmpty() || glosa.isEmpty()) return;
    if (code.size() < width_) code = RellenaIzquierda(code, QStringLiteral("0"), width_);

    texto = code + QLatin1Char(' ') + glosa;
    if (cont >= 0 && cont < entries_->count()) {
        entries_->item(cont)->setText(texto);
    } else {
        entries_->addItem(texto);
        cont = entries_->count() - 1;
    }
    EdCodigo_->clear();
    EdGlosa_->clear();
    if (adding_)
        cont = entries_->count();
    else
        closeBoxes();
    saveList();
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

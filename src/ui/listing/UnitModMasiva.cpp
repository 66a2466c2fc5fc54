#include "UnitModMasiva.h"

#include "engine/codes/CodeLists.h"
#include "engine/util/NumberText.h"
#include "engine/util/PeriodText.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/EntryControls.h"
#include "ui/widgets/RadioGroup.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <vector>

using namespace solvanta;

namespace {

// The choices: the item, the field it writes, and the code list it offers
// (none for the periods). First the code lists offered here, then the periods.
struct Choice {
    const char16_t* item;
    Field field;
    const CodeListDef* list;
};
const std::vector<Choice>& choices() {
    static const std::vector<Choice> all = [] {
        std::vector<Choice> v;
        for (const CodeListDef& l : codeLists())
            if (l.massItem) v.push_back({l.massItem, *l.fields[0], &l});
        v.push_back({u"Periodo Desde", Field::RemuDesde, nullptr});
        v.push_back({u"Periodo Hasta", Field::RemuHasta, nullptr});
        return v;
    }();
    return all;
}

// Whether the list holds the code: by its first letter for a list of
// letters, by its number otherwise ("2" is "02 …"). A list with no entries
// holds any code.
bool listHolds(const CodeListDef& list, const QStringList& entries, const QString& code) {
    QStringList all = entries;
    if (list.fixedEntry) all << QString::fromUtf16(list.fixedEntry);
    if (all.isEmpty()) return true;
    const QString wanted = code.trimmed();
    if (list.letters) {
        if (wanted.size() != 1) return false;
        for (const QString& e : all)
            if (e.startsWith(wanted)) return true;
        return false;
    }
    const auto number = numtext::parseWhole(QStringView(wanted));
    if (!number) return false;
    for (const QString& e : all)
        if (numtext::parseWhole(QStringView(e).left(list.width)) == number) return true;
    return false;
}

// The list's name in a sentence: the item without its "Código".
QString listName(const Choice& c) {
    QString name = QString::fromUtf16(c.item);
    const QString prefix = QStringLiteral("Código ");
    if (name.startsWith(prefix)) name.remove(0, prefix.size());
    return name;
}

} // namespace

TFrmModMasiva::TFrmModMasiva(RxMem& table, QWidget* parent, const CodeTableFile& codes)
    : QDialog(parent), table_(table), codes_(codes) {
    setUpDialog(this, "FrmModMasiva", QStringLiteral("Modificación Masiva"));

    QStringList items;
    for (const Choice& c : choices())
        items << QString::fromUtf16(c.item);
    QFrame* top = highlightPanel(this, "PanelRadio");
    choices_ = new RadioGroup(QStringLiteral("Modificar..."), items, 2, top);
    choices_->setObjectName(QStringLiteral("RadioGroup1"));
    choices_->setItemIndex(-1);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(8, 6, 8, 6);
    reach_ = new QLabel(top);
    reach_->setObjectName(QStringLiteral("LabelAlcance"));
    reach_->setWordWrap(true);
    reach_->hide();
    topLayout->addWidget(reach_);
    topLayout->addWidget(choices_);

    QFrame* middle = highlightPanel(this, "Panel1");
    auto* label1 = new QLabel(QStringLiteral("Ingrese valor"), middle);
    label1->setObjectName(QStringLiteral("Label1"));
    valueLabel_ = new QLabel(QStringLiteral("mm/aaaa"), middle);
    valueLabel_->setObjectName(QStringLiteral("Label2"));
    values_ = new CodeList(middle);
    values_->setObjectName(QStringLiteral("CBox1"));
    values_->setAccessibleName(label1->text());
    period_ = new PeriodEdit(middle);
    period_->setObjectName(QStringLiteral("OvcPF"));
    period_->setFixedWidth(90);
    period_->setAccessibleName(QStringLiteral("Ingrese valor (mm/aaaa)"));
    label1->setBuddy(values_);
    auto* grid = new QGridLayout(middle);
    grid->setContentsMargins(12, 4, 12, 10);
    grid->addWidget(valueLabel_, 0, 1);
    grid->addWidget(label1, 1, 0);
    grid->addWidget(values_, 1, 1);
    grid->addWidget(period_, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    values_->hide();
    period_->hide();
    valueLabel_->hide();

    const OkCancel buttons = okCancelPanel(this, "Panel2");
    stackPanels(this, {top, middle, buttons.panel});
    top->setMinimumWidth(330);
    connect(choices_, &RadioGroup::itemIndexChanged, this, &TFrmModMasiva::choiceChanged);
    // Choosing an item with the keys leaves the focus on the item, so the
    // arrows go on to the next one and Tab to the value; a click on an item
    // takes the caret to its value.
    for (int i = 0; i < choices_->count(); ++i) {
        QAbstractButton* item = choices_->button(i);
        item->installEventFilter(this);
        connect(item, &QAbstractButton::clicked, this, [this, item] {
            const bool byMouse = releasedOn_ == item;
            releasedOn_ = nullptr;
            if (byMouse && item->isChecked())
                if (QWidget* box = valueBox()) box->setFocus(Qt::MouseFocusReason);
        });
    }
    connect(buttons.ok, &QPushButton::clicked, this, &TFrmModMasiva::applyToAll);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFrmModMasiva::setShownLines(std::vector<RxMem::Bookmark> lines, int total) {
    const QLocale chile(QLocale::Spanish, QLocale::Chile);
    reach_->setText(QStringLiteral("Hay un filtro: cambiarán solo las %1 líneas mostradas, de %2.")
                        .arg(chile.toString(qint64(lines.size())), chile.toString(total)));
    reach_->show();
    lines_ = std::move(lines);
}

void TFrmModMasiva::choiceChanged(int index) {
    values_->clear();
    values_->setEditText(QString());
    if (index < 0) return;
    // Read afresh at every choice, so a list just changed in the code editor
    // is offered.
    QStringList sections;
    for (const Choice& c : choices())
        if (c.list) sections << QString::fromLatin1(c.list->section);
    const QList<QStringList> lists = codes_.readSections(sections);
    const bool code = choices()[std::size_t(index)].list != nullptr;
    if (code) {
        values_->setEntries(lists[index]);
        values_->setText(QString());
    }
    values_->setVisible(code);
    period_->setVisible(!code);
    valueLabel_->setVisible(!code);
}

QWidget* TFrmModMasiva::valueBox() const {
    if (!values_->isHidden()) return values_;
    if (!period_->isHidden()) return period_;
    return nullptr;
}

bool TFrmModMasiva::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease)
        releasedOn_ = watched;
    else if (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)
        releasedOn_ = nullptr;
    return QDialog::eventFilter(watched, event);
}

bool TFrmModMasiva::confirmCode(const QString& code, int index) {
    const Choice& c = choices()[std::size_t(index)];
    QStringList entries;
    for (int i = 0; i < values_->count(); ++i)
        entries << values_->itemText(i);
    if (listHolds(*c.list, entries, code)) return true;
    ui::Question q;
    q.caption = QStringLiteral("Confirmar");
    q.text = QStringLiteral("\"%1\" no está en la lista %2. ¿Aplicar de todos modos?")
                 .arg(code, listName(c));
    q.defaultButton = ui::Button::Cancel;
    return ui::dialogs().ask(this, q) == ui::Button::Ok;
}

void TFrmModMasiva::applyToAll() {
    ui::guarded(this, [this] {
        const int index = choices_->itemIndex();
        if (index < 0) {
            ui::dialogs().inform(this, QStringLiteral("No eligió qué campo cambiar."));
            return;
        }
        QString value;
        if (!values_->isHidden()) {
            if (values_->text().isEmpty()) {
                ui::dialogs().inform(this, QStringLiteral("Debe ingresar el nuevo código"));
                return;
            }
            // The box shows only for a chosen code list.
            if (const CodeListDef* list = choices()[std::size_t(index)].list)
                value = values_->text().left(list->width);
            if (!confirmCode(value, index)) {
                values_->setFocus();
                return;
            }
        } else if (!period_->isHidden()) {
            const QString period = period_->value();
            if (period == QLatin1String("  /    ")) {
                ui::dialogs().inform(this, QStringLiteral("Debe ingresar la nueva fecha"));
                return;
            }
            // A period written into every line must be whole: "03/    "
            // would break every line of the file at once.
            if (const QString problem = periodtext::shownProblem(period); !problem.isEmpty()) {
                ui::dialogs().inform(this, problem);
                period_->setFocus();
                return;
            }
            value = periodtext::stored(period);
        }
        const int field = fieldIndex(choices()[std::size_t(index)].field);
        // The cursor goes to the last line changed.
        if (lines_) {
            table_.assign(*lines_, field, value);
            if (!lines_->empty()) table_.gotoBookmark(lines_->back());
        } else {
            table_.assignAll(field, value);
            table_.last();
        }
        accept();
    });
}

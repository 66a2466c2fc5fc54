#include "ColumnFilterDialog.h"

#include "engine/util/StrUtil.h"
#include "ui/widgets/Controls.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

using namespace solvanta;

namespace {
constexpr int kValueRole = Qt::UserRole + 1;
// A column of RUTs has a value a line: the list shows this many at most,
// and the text box reaches the others.
constexpr int kMaxListed = 5000;
} // namespace

ColumnFilterDialog::ColumnFilterDialog(const QString& title,
                                       const std::vector<LineView::Count>& values, bool filtered,
                                       QWidget* parent)
    : QDialog(parent) {
    setUpDialog(this, "FrmFiltroColumna", QStringLiteral("Filtrar «%1»").arg(title));

    QFrame* top = highlightPanel(this, "Panel1");
    auto* column = new QVBoxLayout(top);
    column->setContentsMargins(16, 12, 16, 12);
    auto* label = new QLabel(QStringLiteral("&Contiene:"), top);
    text_ = new QLineEdit(top);
    text_->setObjectName(QStringLiteral("EdContiene"));
    text_->setPlaceholderText(QStringLiteral("texto que deben tener las celdas"));
    label->setBuddy(text_);
    column->addWidget(label);
    column->addWidget(text_);
    auto* listLabel = new QLabel(QStringLiteral("&Valores (Ctrl+clic para elegir varios):"), top);
    list_ = new QListWidget(top);
    list_->setObjectName(QStringLiteral("ListaValores"));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setMinimumSize(320, 240);
    listLabel->setBuddy(list_);
    const QLocale chile(QLocale::Spanish, QLocale::Chile);
    for (const LineView::Count& v : values) {
        if (list_->count() == kMaxListed) break;
        const QString shown = v.text.trimmed().isEmpty() ? emptyCell() : v.text;
        auto* item = new QListWidgetItem(
            QStringLiteral("%1   (%2)").arg(shown, chile.toString(v.lines)), list_);
        item->setData(kValueRole, v.text);
    }
    unlisted_ = int(values.size()) - list_->count();
    count_ = new QLabel(top);
    count_->setObjectName(QStringLiteral("LabelValores"));
    column->addWidget(listLabel);
    column->addWidget(list_, 1);
    column->addWidget(count_);

    QFrame* foot = highlightPanel(this, "Panel2");
    auto* buttons = new QHBoxLayout(foot);
    buttons->setContentsMargins(16, 8, 16, 8);
    const auto button = [&](const char* name, const QString& caption, Choice choice) {
        auto* b = new QPushButton(caption, foot);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, choice] {
            if (choice == Choice::Values)
                accept();
            else
                finish(choice);
        });
        return b;
    };
    button("BtnAscendente", QStringLiteral("Orden &ascendente"), Choice::SortUp);
    button("BtnDescendente", QStringLiteral("Orden &descendente"), Choice::SortDown);
    buttons->addStretch(1);
    QPushButton* clear = button("BtnQuitarFiltro", QStringLiteral("&Quitar filtro"), Choice::Clear);
    clear->setEnabled(filtered);
    QPushButton* ok = button("BtnFiltrar", QStringLiteral("&Filtrar"), Choice::Values);
    ok->setDefault(true);
    button("BtnCancelar", QStringLiteral("Cancelar"), Choice::None);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(top, 1);
    layout->addWidget(foot);

    connect(text_, &QLineEdit::textChanged, this, &ColumnFilterDialog::narrow);
    connect(list_, &QListWidget::itemActivated, this, [this] { accept(); });
    narrow();
    text_->setFocus();
}

// The values that hold the typed text, as the filter would find them:
// without regard to case or accents.
void ColumnFilterDialog::narrow() {
    const QString wanted = searchKey(text_->text());
    int shown = 0;
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const bool holds =
            wanted.isEmpty() || searchKey(item->data(kValueRole).toString()).contains(wanted);
        item->setHidden(!holds);
        if (!holds) item->setSelected(false);
        shown += holds;
    }
    const QLocale chile(QLocale::Spanish, QLocale::Chile);
    QString text = shown == 1 ? QStringLiteral("1 valor")
                              : QStringLiteral("%1 valores").arg(chile.toString(shown));
    if (unlisted_ > 0)
        text += QStringLiteral("; %1 más no se listan: escriba en «Contiene» para buscarlos.")
                    .arg(chile.toString(unlisted_));
    count_->setText(text);
}

QStringList ColumnFilterDialog::values() const {
    QStringList out;
    for (const QListWidgetItem* item : list_->selectedItems())
        if (!item->isHidden()) out << item->data(kValueRole).toString();
    return out;
}

QString ColumnFilterDialog::text() const {
    return text_->text();
}

// Filtrar, Enter or a double-click: the values chosen, or else the typed
// text; with neither there is nothing to filter by.
void ColumnFilterDialog::accept() {
    if (!values().isEmpty())
        finish(Choice::Values);
    else if (!text().trimmed().isEmpty())
        finish(Choice::Contains);
    else
        list_->setFocus();
}

void ColumnFilterDialog::finish(Choice choice) {
    choice_ = choice;
    if (choice == Choice::None)
        reject();
    else
        QDialog::accept();
}

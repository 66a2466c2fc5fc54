#include "CommandBar.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kMinHeight = 40;

// The narrowest a button with a caption gets, and the gap between buttons:
// roomy while the captions are beside the icons, tighter under them.
int minWidth(Qt::ToolButtonStyle style) {
    return style == Qt::ToolButtonTextBesideIcon ? 80 : 50;
}
int gap(Qt::ToolButtonStyle style) {
    return style == Qt::ToolButtonTextBesideIcon ? 10 : 4;
}

} // namespace

CommandBar::CommandBar(QWidget* parent) : QWidget(parent) {
    more_ = new QToolButton(this);
    more_->setObjectName(QStringLiteral("MasComandos"));
    more_->setText(QStringLiteral("»"));
    more_->setToolTip(QStringLiteral("Más comandos"));
    more_->setAccessibleName(QStringLiteral("Más comandos"));
    more_->setFocusPolicy(Qt::NoFocus);
    more_->setPopupMode(QToolButton::InstantPopup);
    moreMenu_ = new QMenu(more_);
    moreMenu_->setObjectName(QStringLiteral("MenuMasComandos"));
    more_->setMenu(moreMenu_);
    more_->hide();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QToolButton* CommandBar::addCommand(QAction* action, const QString& objectName, bool iconOnly) {
    auto* b = new QToolButton(this);
    b->setObjectName(objectName);
    b->setDefaultAction(action);
    b->setIconSize(QSize(20, 20));
    b->setFocusPolicy(Qt::NoFocus); // the window's main view keeps the focus
    if (iconOnly) {
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setAccessibleName(action->iconText().remove(QLatin1Char('&')));
    }
    // The button's Alt key, for the time the button is out of the row.
    QShortcut* key = nullptr;
    const QKeySequence mnemonic = QKeySequence::mnemonic(action->iconText());
    if (!mnemonic.isEmpty()) {
        key = new QShortcut(mnemonic, this);
        key->setEnabled(false);
        connect(key, &QShortcut::activated, action, &QAction::trigger);
    }
    buttons_ << b;
    entries_.append({b, iconOnly, key});
    updateGeometry();
    arrange();
    return b;
}

QToolButton* CommandBar::anchorFor(const QAction* action) const {
    for (QToolButton* b : buttons_)
        if (b->defaultAction() == action) return b->isHidden() ? more_ : b;
    return nullptr;
}

// The width of the first `count` buttons in `style`, with the "»" button
// after them when `withMore`.
int CommandBar::rowWidth(Qt::ToolButtonStyle style, int count, bool withMore) const {
    int width = 0;
    for (int i = 0; i < count; ++i) {
        const Entry& e = entries_[i];
        QToolButton probe; // a button's size in another style, without touching it
        probe.setFont(e.button->font());
        probe.setIconSize(e.button->iconSize());
        probe.setToolButtonStyle(e.iconOnly ? Qt::ToolButtonIconOnly : style);
        probe.setText(e.button->text());
        probe.setIcon(e.button->icon());
        width += std::max(probe.sizeHint().width(), e.iconOnly ? kMinHeight : minWidth(style));
    }
    width += gap(style) * std::max(0, count - 1);
    if (withMore) width += gap(style) + more_->sizeHint().width();
    return width;
}

QSize CommandBar::sizeHint() const {
    return QSize(rowWidth(Qt::ToolButtonTextBesideIcon, int(entries_.size()), false),
                 std::max(kMinHeight, minimumSizeHint().height()));
}

QSize CommandBar::minimumSizeHint() const {
    // Room for the "»" button alone; the height of the captions under the
    // icons, the tallest the row gets.
    int height = kMinHeight;
    for (const Entry& e : entries_) {
        QToolButton probe;
        probe.setFont(e.button->font());
        probe.setIconSize(e.button->iconSize());
        probe.setToolButtonStyle(e.iconOnly ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
        probe.setText(e.button->text());
        probe.setIcon(e.button->icon());
        height = std::max(height, probe.sizeHint().height());
    }
    return QSize(more_->sizeHint().width(), height);
}

void CommandBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrange();
}

bool CommandBar::event(QEvent* event) {
    const bool done = QWidget::event(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::Show)
        arrange();
    return done;
}

// Captions beside the icons when the whole row fits, under them when that
// fits, else as many buttons as fit with their captions under the icons
// and the rest in the "»" menu.
void CommandBar::arrange() {
    const int n = int(entries_.size());
    const int room = width();
    Qt::ToolButtonStyle style = Qt::ToolButtonTextBesideIcon;
    int shown = n;
    if (rowWidth(style, n, false) > room) {
        style = Qt::ToolButtonTextUnderIcon;
        if (rowWidth(style, n, false) > room) {
            shown = n - 1;
            while (shown > 0 && rowWidth(style, shown, true) > room)
                --shown;
        }
    }

    const int height = this->height();
    int x = 0;
    moreMenu_->clear();
    for (int i = 0; i < n; ++i) {
        const Entry& e = entries_[i];
        if (!e.iconOnly) e.button->setToolButtonStyle(style);
        const bool inRow = i < shown;
        if (inRow) {
            const int w =
                std::max(e.button->sizeHint().width(), e.iconOnly ? kMinHeight : minWidth(style));
            e.button->setGeometry(x, 0, w, height);
            x += w + gap(style);
        } else {
            moreMenu_->addAction(e.button->defaultAction());
        }
        e.button->setVisible(inRow);
        if (e.key) e.key->setEnabled(!inRow);
    }
    more_->setVisible(shown < n);
    if (shown < n) more_->setGeometry(x, 0, more_->sizeHint().width(), height);
}

#include "UnitAcercade.h"

#include "ui/widgets/Dialogs.h"
#include "ui/widgets/Images.h"
#include "ui/widgets/UrlLabel.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QLabel* boldLabel(const QString& text, int pixelSize, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    f.setPixelSize(pixelSize);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(p);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

QString TFrmAcercade::makerName() {
    return QStringLiteral("Desarrollo Solvanta");
}
QUrl TFrmAcercade::makerUrl() {
    return QUrl(QStringLiteral("https://www.solvanta.cl"));
}
QString TFrmAcercade::makerPhone() {
    return QStringLiteral("Teléfono: +56 2 2000 0000");
}
QString TFrmAcercade::authorCredit() {
    return QStringLiteral("Autor: Equipo de Desarrollo Solvanta\nIngeniería de Software");
}

TFrmAcercade::TFrmAcercade(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Acerca de..."));
    // Only the close box: no help button, no maximise or minimise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(321, 190);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    QPalette panelColours = Panel1->palette();
    panelColours.setColor(QPalette::Window, panelColours.color(QPalette::Light));
    Panel1->setPalette(panelColours);

    Label1 = boldLabel(QStringLiteral("Programa creado para Solvanta"), 16, Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(33, 33);
    Image1->setPixmap(images::appIcon().pixmap(QSize(33, 33)));
    Image1->setAlignment(Qt::AlignCenter);

    Label2 = boldLabel(makerName(), 16, Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));

    OvcURL1 = new UrlLabel(makerUrl(), Panel1);
    OvcURL1->setObjectName(QStringLiteral("OvcURL1"));

    Label3 = boldLabel(makerPhone(), 13, Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));

    BitBtn1 =
        new QPushButton(images::glyph(images::Glyph::Accept), QStringLiteral("&Aceptar"), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* maker = new QHBoxLayout;
    maker->setSpacing(8);
    maker->addStretch();
    maker->addWidget(Image1);
    maker->addWidget(Label2);
    maker->addStretch();

    // The free height is shared out evenly between the groups of lines.
    auto* inner = new QVBoxLayout(Panel1);
    inner->setContentsMargins(10, 8, 10, 10);
    inner->setSpacing(2);
    inner->addStretch(1);
    inner->addWidget(Label1, 0, Qt::AlignHCenter);
    inner->addStretch(1);
    inner->addLayout(maker);
    inner->addWidget(OvcURL1, 0, Qt::AlignHCenter);
    inner->addWidget(Label3, 0, Qt::AlignHCenter);
    inner->addStretch(1);
    inner->addWidget(BitBtn1, 0, Qt::AlignHCenter);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Panel1);

    // The window sees the keys before its controls.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

bool TFrmAcercade::handleKey(int key) {
    if (key != Qt::Key_F12) return false;
    ui::dialogs().inform(this, authorCredit());
    return true;
}

bool TFrmAcercade::eventFilter(QObject* watched, QEvent* event) {
    // Only this window's own controls: a message box opened from here is a
    // window of its own and keeps its keys.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this)
        return handleKey(static_cast<QKeyEvent*>(event)->key());
    return QDialog::eventFilter(watched, event);
}

void TFrmAcercade::showEvent(QShowEvent* event) {
    // Centred on the screen, whatever window opened it.
    if (!testAttribute(Qt::WA_Moved)) {
        QScreen* screen = this->screen();
        if (screen) move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

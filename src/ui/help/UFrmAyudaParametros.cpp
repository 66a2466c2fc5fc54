#include "UFrmAyudaParametros.h"

#include "ui/widgets/Images.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

TFrmAyudaParametros::TFrmAyudaParametros(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(images::appIcon());
    setFixedSize(332, 174);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setLineWidth(1);

    Label1 = new QLabel(Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The texts come in lines of about 55 characters; a slightly smaller font
    // keeps each of them on one line of this narrow window.
    QFont small = Label1->font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 8.0 / 9.0);
    else
        small.setPixelSize(small.pixelSize() * 8 / 9);
    Label1->setFont(small);
    // A light 3-D face: between the button face and its lighter edge colour.
    Label1->setAutoFillBackground(true);
    QPalette face = Label1->palette();
    const QColor button = face.color(QPalette::Button);
    const QColor midlight = face.color(QPalette::Midlight);
    face.setColor(QPalette::Window, QColor((button.red() + midlight.red()) / 2,
                                           (button.green() + midlight.green()) / 2,
                                           (button.blue() + midlight.blue()) / 2));
    Label1->setPalette(face);

    auto* inner = new QVBoxLayout(Panel1);
    inner->setContentsMargins(2, 2, 2, 2);
    inner->addWidget(Label1);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Panel1);
}

QString TFrmAyudaParametros::normalizedLines(const QString& text) {
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return lines;
}

void TFrmAyudaParametros::setText(const QString& text) {
    Label1->setText(normalizedLines(text));
}

QString TFrmAyudaParametros::text() const {
    return Label1->text();
}

void TFrmAyudaParametros::showEvent(QShowEvent* event) {
    // A label breaks lines only at LF; a lone CR would run two lines together.
    const QString lines = normalizedLines(Label1->text());
    if (lines != Label1->text()) Label1->setText(lines);
    QDialog::showEvent(event);
}

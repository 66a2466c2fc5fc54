#include "Controls.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

QFrame* highlightPanel(QWidget* parent, const char* objectName) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(objectName));
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Midlight));
    panel->setPalette(pal);
    return panel;
}

QPushButton* glyphButton(QWidget* parent, const char* objectName, const QString& text,
                         images::Glyph glyph) {
    auto* b = new QPushButton(images::glyph(glyph), text, parent);
    b->setObjectName(QLatin1String(objectName));
    b->setMinimumSize(90, 25);
    b->setAutoDefault(false); // Enter moves between controls; buttons are pressed on purpose
    return b;
}

OkCancel okCancelPanel(QWidget* parent, const char* panelName) {
    QFrame* panel = highlightPanel(parent, panelName);
    QPushButton* ok =
        glyphButton(panel, "BitBtn1", QStringLiteral("&Aceptar"), images::Glyph::Accept);
    QPushButton* cancel =
        glyphButton(panel, "BitBtn2", QStringLiteral("&Cancelar"), images::Glyph::Cancel);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(16, 12, 16, 12);
    row->addStretch();
    row->addWidget(ok);
    row->addSpacing(32);
    row->addWidget(cancel);
    row->addStretch();
    return {panel, ok, cancel};
}

void setUpDialog(QDialog* dialog, const char* objectName, const QString& title) {
    dialog->setObjectName(QLatin1String(objectName));
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint);
}

void stackPanels(QDialog* dialog, std::initializer_list<QWidget*> panels) {
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QWidget* panel : panels)
        layout->addWidget(panel);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

#include "Images.h"

#include <QApplication>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace images {
namespace {

const QColor kBlue(0x0B, 0x4F, 0x8A);
const QColor kGreen(0x2E, 0x9E, 0x5B);

// A stylised "S" mark: two arcs on a rounded square.
void drawMark(QPainter& p, const QRectF& r) {
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, kBlue);
    g.setColorAt(1, kGreen);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, r.width() * 0.2, r.height() * 0.2);
    QPen pen(Qt::white, r.width() * 0.12, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF top(r.left() + r.width() * 0.28, r.top() + r.height() * 0.18, r.width() * 0.44,
                     r.height() * 0.32);
    const QRectF bottom(top.translated(0, top.height()));
    p.drawArc(top, 30 * 16, 240 * 16);
    p.drawArc(bottom, 210 * 16, 240 * 16);
}

QIcon standard(QStyle::StandardPixmap sp) {
    return QApplication::style()->standardIcon(sp);
}

// The usual curved arrow of undo (pointing left) or redo (pointing right):
// the desktop theme's own when it has one, else drawn here.
QIcon curvedArrow(bool redo) {
    const QIcon themed =
        QIcon::fromTheme(redo ? QStringLiteral("edit-redo") : QStringLiteral("edit-undo"));
    if (!themed.isNull()) return themed;
    QIcon icon;
    for (int size : {16, 20, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        if (redo) p.translate(size, 0), p.scale(-1, 1);
        const qreal u = size / 16.0;
        QPainterPath arc;
        arc.moveTo(4 * u, 7 * u);
        arc.cubicTo(7 * u, 3.5 * u, 14 * u, 4 * u, 13.5 * u, 9 * u);
        arc.cubicTo(13.2 * u, 11.5 * u, 11 * u, 13 * u, 8.5 * u, 13 * u);
        p.setPen(QPen(kBlue, 1.8 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arc);
        QPainterPath head;
        head.moveTo(1.5 * u, 4 * u);
        head.lineTo(7 * u, 4.5 * u);
        head.lineTo(3.5 * u, 9.5 * u);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawPath(head);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

QPixmap logo() {
    QPixmap pm(218, 31);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    drawMark(p, QRectF(1, 1, 29, 29));
    QFont f = QApplication::font();
    f.setPixelSize(22);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kBlue);
    p.drawText(QRectF(38, 0, 180, 31), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Solvanta"));
    return pm;
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        drawMark(p, QRectF(0, 0, size, size));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon glyph(Glyph g) {
    switch (g) {
    case Glyph::EditFile:
        return standard(QStyle::SP_DialogOpenButton);
    case Glyph::Exit:
        return standard(QStyle::SP_DialogCloseButton);
    case Glyph::CreateFile:
        return standard(QStyle::SP_DialogSaveButton);
    case Glyph::WebPage:
        return standard(QStyle::SP_DriveNetIcon);
    case Glyph::Spreadsheet:
        return standard(QStyle::SP_FileDialogDetailedView);
    case Glyph::Add:
        return standard(QStyle::SP_FileIcon);
    case Glyph::Modify:
        return standard(QStyle::SP_FileDialogContentsView);
    case Glyph::Delete:
        return standard(QStyle::SP_TrashIcon);
    case Glyph::Codes:
        return standard(QStyle::SP_FileDialogListView);
    case Glyph::Mass:
        return standard(QStyle::SP_BrowserReload);
    case Glyph::Assign:
        return standard(QStyle::SP_ArrowRight);
    case Glyph::Help:
        return standard(QStyle::SP_DialogHelpButton);
    case Glyph::About:
        return standard(QStyle::SP_MessageBoxInformation);
    case Glyph::Accept:
        return standard(QStyle::SP_DialogOkButton);
    case Glyph::Cancel:
        return standard(QStyle::SP_DialogCancelButton);
    case Glyph::Close:
        return standard(QStyle::SP_DialogCloseButton);
    case Glyph::Check:
        return standard(QStyle::SP_DialogApplyButton);
    case Glyph::Undo:
        return curvedArrow(false);
    case Glyph::Redo:
        return curvedArrow(true);
    case Glyph::Summary:
        return standard(QStyle::SP_FileDialogInfoView);
    }
    return {};
}

} // namespace images

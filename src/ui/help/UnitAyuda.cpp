#include "UnitAyuda.h"

#include "ui/widgets/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QShowEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

TFrmAyuda::TFrmAyuda(QWidget* parent)
    : QDialog(parent), folder_(QCoreApplication::applicationDirPath()) {
    setWindowTitle(QStringLiteral("Ayuda"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(1030, 650);

    WebBrowser1 = new QTextBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setAccessibleName(QStringLiteral("Página de ayuda"));
    // The page links only to its own sections.
    WebBrowser1->setOpenExternalLinks(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(WebBrowser1);
}

QString TFrmAyuda::helpPath(const QString& folder) {
    QString path = QDir::fromNativeSeparators(folder);
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path + pageName();
}

QUrl TFrmAyuda::helpUrl(const QString& folder) {
    return QUrl::fromLocalFile(helpPath(folder));
}

void TFrmAyuda::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        // Centred on the screen, whatever window opened it.
        if (!testAttribute(Qt::WA_Moved)) {
            if (QScreen* screen = this->screen())
                move(screen->availableGeometry().center() - rect().center());
        }
        // The page is loaded once the window is up, so that a message about
        // a missing page appears over it.
        QMetaObject::invokeMethod(this, &TFrmAyuda::showPage, Qt::QueuedConnection);
    }
    QDialog::showEvent(event);
}

void TFrmAyuda::showPage() {
    const QString path = helpPath(folder_);
    // exists() and isFile() follow links; a folder named like the page is no page.
    const QFileInfo page(path);
    if (!page.exists() || !page.isFile()) {
        ui::dialogs().inform(this, QStringLiteral("No se encontró el archivo Ayuda.html"));
        return;
    }
    WebBrowser1->setSource(QUrl::fromLocalFile(path));
}

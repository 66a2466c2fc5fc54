#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

class QTextBrowser;

// The help window: shows the help page Ayuda.html that lies beside the
// executable. When the page is missing it says so and stays empty.
class TFrmAyuda : public QDialog {
    Q_OBJECT
public:
    // The page is looked for in the executable's folder.
    explicit TFrmAyuda(QWidget* parent = nullptr);

    // The folder the page is looked for in (tests point it elsewhere).
    void setFolder(const QString& folder) { folder_ = folder; }
    QString folder() const { return folder_; }

    static QString pageName() { return QStringLiteral("Ayuda.html"); }
    // The page's path in a folder: the folder and the name with exactly one
    // separator between them; nothing else in the folder's path changes.
    static QString helpPath(const QString& folder);
    // The page's address in a folder: a local file address that keeps blanks,
    // accented letters and any other character of the path.
    static QUrl helpUrl(const QString& folder);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showPage();

    QString folder_;
    QTextBrowser* WebBrowser1;
};

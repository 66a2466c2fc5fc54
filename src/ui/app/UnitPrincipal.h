#pragma once

#include "engine/files/DeclarationFile.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class AppMessage;
class TFrmSeleccionar;
class TFrmSolvanta;

// The main window: the five steps of a correction, "Editar Archivo" (the
// load dialog, from which every other window is reached) and "Salir".
class TFrmPrincipal : public QWidget {
    Q_OBJECT
public:
    explicit TFrmPrincipal(QWidget* parent = nullptr);
    ~TFrmPrincipal() override;

    static QString caption();

    // The file named by the program's arguments (program name excluded): a
    // single argument that is neither an option nor a command of the
    // command line, and is a path that exists or has a "/" or a ".".
    // Empty when there is none.
    static QString fileArgument(const QStringList& args);

    // Loads the file in the form its first lines show, asking the form
    // (in the load dialog) when they do not tell; then the listing opens.
    void openFile(const QString& path);

    // The load dialog, whose chosen file opens in the listing over it.
    std::unique_ptr<TFrmSeleccionar> loadDialog();
    // Opens the listing over `over` with every line of the file; a load
    // failure is reported and no listing is shown. The open document lives
    // as long as the listing shows it.
    // `form` none: a spreadsheet (TFrmSolvanta::loadSheet).
    // `then`, when given, runs on the listing once the file is loaded.
    void openListing(QWidget* over, const QString& path, std::optional<solvanta::FileForm> form,
                     const std::function<void(TFrmSolvanta&)>& then = {});
    // Opens `path` over `over`: its form guessed from its lines, or asked
    // in the load dialog when they do not tell.
    void openFile(QWidget* over, const QString& path);

    // The journals of changes that a program which is no longer running left
    // (a crash, a power cut): each is offered for recovery; one declined is
    // offered again at the next start unless the user discards it. The
    // journals of `folder` (the user's by default).
    void offerRecovery(const QString& folder = {});

    // The files opened last, newest first (ten at most), as the user's
    // settings keep them: the path, and the form it was read in (none: a
    // spreadsheet).
    struct RecentFile {
        QString path;
        std::optional<solvanta::FileForm> form;
    };
    static QList<RecentFile> recentFiles();
    static void rememberFile(const QString& path, std::optional<solvanta::FileForm> form);

public slots:
    void editFile(); // Editar Archivo

protected:
    // A file dropped on the window opens as from the desktop.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showRecentFiles(); // fills the menu of "Archivos recientes"
    AppMessage* appMessage_;
    class QPushButton* recent_ = nullptr;
};

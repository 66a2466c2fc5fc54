#include "CommandLine.h"
#include "UnitPrincipal.h"
#include "ui/widgets/Images.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <new>

namespace {

int run(int argc, char* argv[]) {
    // With arguments the program is a command-line tool and needs no
    // display, unless the one argument is a file to open in the editor.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString file = TFrmPrincipal::fileArgument(args);
    if (!args.isEmpty() && file.isEmpty()) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        args = QCoreApplication::arguments();
        args.removeFirst();
        return static_cast<int>(runCommandLine(args, out, err));
    }
    QApplication app(argc, argv);
    // Qt's own dialogs (open, save, progress) in Spanish, when the
    // translations are installed.
    QTranslator qtSpanish;
    if (qtSpanish.load(QLocale(QLocale::Spanish, QLocale::Chile), QStringLiteral("qtbase"),
                       QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtSpanish);
    QApplication::setWindowIcon(images::appIcon());
    TFrmPrincipal window;
    window.show();
    // Work a crash left unsaved is offered first; then the file named.
    QTimer::singleShot(0, &window, [&window, file] {
        window.offerRecovery();
        if (!file.isEmpty()) window.openFile(file);
    });
    return app.exec();
}

} // namespace

// The command line and every window handler report an out-of-memory
// themselves; this catches one that escaped anyway, so the program ends with
// a message instead of an abort.
int main(int argc, char* argv[]) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("No hay memoria suficiente para completar la operación.\n", stderr);
        return 1;
    }
}

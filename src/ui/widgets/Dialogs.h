#pragma once

#include <QString>
#include <QUrl>
#include <exception>
#include <utility>

class QPrinter;
class QWidget;

// The one way windows talk to the user outside their own controls: message
// boxes, questions, the error report, open and save dialogs, the print
// dialog, opening a web
// address and the beep. The program uses the real implementation; tests
// install a scripted one that answers and records.
namespace ui {

enum class Icon { None, Information, Question, Exclamation, Error };
enum class Button { Ok = 1, Cancel = 2 };

// A box with OK and Cancel. Closing the box counts as Cancel.
struct Question {
    QString caption;
    QString text;
    Icon icon = Icon::Question;
    Button defaultButton = Button::Cancel;
};

struct FileRequest {
    QString caption;
    QString directory;
    QString fileName;
    QString filter; // Qt form: "Archivo .txt (*.txt);;Archivo .csv (*.csv)"
    QString defaultSuffix;
    bool confirmOverwrite = true;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual Button ask(QWidget* parent, const Question& question) = 0;
    // A plain message with one OK button.
    virtual void inform(QWidget* parent, const QString& text, const QString& caption = {}) = 0;
    // The application's error report: a box with the error's text.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // Empty when the user cancels.
    virtual QString openFileName(QWidget* parent, const FileRequest& request) = 0;
    virtual QString saveFileName(QWidget* parent, const FileRequest& request) = 0;
    // The print dialog over the printer: which printer, pages and copies.
    // False when the user cancels; on true the printer is ready to print on.
    virtual bool choosePrinter(QWidget* parent, QPrinter& printer) = 0;
    // False when the platform could not open the address.
    virtual bool openUrl(const QUrl& url) = 0;
    virtual void beep() = 0;
};

// The caption of the program's boxes.
QString applicationCaption();
// The width a small window needs to show its whole caption beside the title
// bar's buttons.
int captionWidth(const QWidget& window);

// The dialogs in use; the real ones unless a test installed others.
Dialogs& dialogs();
// Installs other dialogs (nullptr: back to the real ones). The caller keeps
// ownership.
void setDialogs(Dialogs* dialogs);

// Reports an exception escaping a window's handler through the error report.
void reportException(QWidget* parent, std::exception_ptr error);

// Runs a window's handler; an error it does not handle itself is shown in
// the application's error report, and the program goes on. Exceptions never
// cross Qt's event loop.
template <typename F> bool guarded(QWidget* parent, F&& handler) {
    try {
        std::forward<F>(handler)();
        return true;
    } catch (...) {
        reportException(parent, std::current_exception());
        return false;
    }
}

} // namespace ui

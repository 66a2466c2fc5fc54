#pragma once

#include "ui/widgets/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// A strict stand-in for the program's dialogs. The test queues every prompt
// it expects, in order, with the answer to give; a prompt that was not
// expected, or that differs from the expectation, is recorded as a failure
// (and answered with Cancel or an empty name). Everything shown is recorded.
// Like a real box, a prompt takes the keyboard focus while it is answered
// and gives it back after.
//
//     ScriptedDialogs d;                       // installs itself
//     d.expectAsk(u"¿Seguro de Eliminar esta línea?", ui::Button::Ok);
//     ... drive the window ...
//     QVERIFY2(d.done(), qPrintable(d.problems()));
class ScriptedDialogs : public ui::Dialogs {
public:
    enum class Kind { Ask, Inform, Error, Open, Save, Print, Url, Beep };

    struct Shown {
        Kind kind;
        QString caption;
        QString text; // message, or the file request's caption, or the url
        ui::Icon icon = ui::Icon::None;
        ui::Button defaultButton = ui::Button::Cancel;
        ui::FileRequest request; // open and save
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // The text must contain `contains` (an empty one matches any text).
    void expectAsk(const QString& contains, ui::Button answer);
    void expectInform(const QString& contains);
    void expectError(const QString& contains);
    void expectOpen(const QString& fileName); // empty: the user cancels
    void expectSave(const QString& fileName);
    // The print dialog: the user prints to a PDF file at `pdfPath` (the
    // printer is set to write it); empty: the user cancels.
    void expectPrint(const QString& pdfPath);
    void expectUrl(bool opened);
    void expectBeep();
    // Runs while the prompt is shown, before it is answered (to look at the
    // windows behind it).
    void onNext(std::function<void()> action);

    // Every expectation met, nothing unexpected.
    bool done() const { return pending_.isEmpty() && problems_.isEmpty(); }
    QString problems() const;
    const QList<Shown>& shown() const { return shown_; }
    Shown last() const { return shown_.isEmpty() ? Shown{} : shown_.last(); }

    ui::Button ask(QWidget* parent, const ui::Question& question) override;
    void inform(QWidget* parent, const QString& text, const QString& caption) override;
    void error(QWidget* parent, const QString& text) override;
    QString openFileName(QWidget* parent, const ui::FileRequest& request) override;
    QString saveFileName(QWidget* parent, const ui::FileRequest& request) override;
    bool choosePrinter(QWidget* parent, QPrinter& printer) override;
    bool openUrl(const QUrl& url) override;
    void beep() override;

private:
    struct Expected {
        Kind kind;
        QString contains;
        ui::Button answer = ui::Button::Cancel;
        QString fileName;
        bool opened = false;
        std::function<void()> action;
    };
    const Expected* take(Kind kind, const QString& text);

    QList<Expected> pending_;
    Expected current_;
    std::function<void()> nextAction_;
    QList<Shown> shown_;
    QStringList problems_;
};

#include "ScriptedDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>

namespace {

// While a prompt is answered, a window of the double's own is the active
// window and its button has the keyboard focus, as with a real box: the
// widget that had the focus loses it (reason ActiveWindowFocusReason) and
// gets it back when the prompt closes. Code that reacts to the focus leaving
// (a grid dropping an untouched new line) meets here what it meets on a real
// screen.
class PromptStandIn {
public:
    PromptStandIn() : window_(QApplication::activeWindow()) {
        box_.setAttribute(Qt::WA_DontShowOnScreen);
        box_.setObjectName(QStringLiteral("ScriptedPrompt"));
        auto* button = new QPushButton(QStringLiteral("Aceptar"), &box_);
        box_.show();
        button->setFocus();
        QApplication::setActiveWindow(&box_);
    }
    ~PromptStandIn() {
        box_.hide();
        QApplication::setActiveWindow(window_);
    }
    PromptStandIn(const PromptStandIn&) = delete;
    PromptStandIn& operator=(const PromptStandIn&) = delete;

private:
    QPointer<QWidget> window_;
    QDialog box_;
};

const char* kindName(ScriptedDialogs::Kind k) {
    switch (k) {
    case ScriptedDialogs::Kind::Ask:
        return "question";
    case ScriptedDialogs::Kind::Inform:
        return "message";
    case ScriptedDialogs::Kind::Error:
        return "error report";
    case ScriptedDialogs::Kind::Open:
        return "open dialog";
    case ScriptedDialogs::Kind::Save:
        return "save dialog";
    case ScriptedDialogs::Kind::Print:
        return "print dialog";
    case ScriptedDialogs::Kind::Url:
        return "web address";
    case ScriptedDialogs::Kind::Beep:
        return "beep";
    }
    return "?";
}

} // namespace

ScriptedDialogs::ScriptedDialogs() {
    ui::setDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    ui::setDialogs(nullptr);
}

void ScriptedDialogs::expectAsk(const QString& contains, ui::Button answer) {
    pending_.append({Kind::Ask, contains, answer, {}, false, std::move(nextAction_)});
}
void ScriptedDialogs::expectInform(const QString& contains) {
    pending_.append({Kind::Inform, contains, ui::Button::Ok, {}, false, std::move(nextAction_)});
}
void ScriptedDialogs::expectError(const QString& contains) {
    pending_.append({Kind::Error, contains, ui::Button::Ok, {}, false, std::move(nextAction_)});
}
void ScriptedDialogs::expectOpen(const QString& fileName) {
    pending_.append({Kind::Open, {}, ui::Button::Ok, fileName, false, std::move(nextAction_)});
}
void ScriptedDialogs::expectSave(const QString& fileName) {
    pending_.append({Kind::Save, {}, ui::Button::Ok, fileName, false, std::move(nextAction_)});
}
void ScriptedDialogs::expectPrint(const QString& pdfPath) {
    pending_.append({Kind::Print, {}, ui::Button::Ok, pdfPath, false, std::move(nextAction_)});
}
void ScriptedDialogs::expectUrl(bool opened) {
    pending_.append({Kind::Url, {}, ui::Button::Ok, {}, opened, std::move(nextAction_)});
}
void ScriptedDialogs::expectBeep() {
    pending_.append({Kind::Beep, {}, ui::Button::Ok, {}, false, std::move(nextAction_)});
}
void ScriptedDialogs::onNext(std::function<void()> action) {
    nextAction_ = std::move(action);
}

QString ScriptedDialogs::problems() const {
    QStringList all = problems_;
    for (const Expected& e : pending_)
        all << QStringLiteral("expected %1 \"%2\" was never shown")
                   .arg(QLatin1String(kindName(e.kind)), e.contains);
    return all.join(QLatin1Char('\n'));
}

const ScriptedDialogs::Expected* ScriptedDialogs::take(Kind kind, const QString& text) {
    if (pending_.isEmpty()) {
        problems_ << QStringLiteral("unexpected %1: %2").arg(QLatin1String(kindName(kind)), text);
        return nullptr;
    }
    const Expected& next = pending_.first();
    if (next.kind != kind || !text.contains(next.contains)) {
        problems_ << QStringLiteral("expected %1 \"%2\", got %3: %4")
                         .arg(QLatin1String(kindName(next.kind)), next.contains,
                              QLatin1String(kindName(kind)), text);
        return nullptr;
    }
    current_ = pending_.takeFirst();
    if (current_.action) current_.action();
    return &current_;
}

ui::Button ScriptedDialogs::ask(QWidget*, const ui::Question& q) {
    const PromptStandIn prompt;
    shown_.append({Kind::Ask, q.caption, q.text, q.icon, q.defaultButton, {}});
    const Expected* e = take(Kind::Ask, q.text);
    return e ? e->answer : ui::Button::Cancel;
}

void ScriptedDialogs::inform(QWidget*, const QString& text, const QString& caption) {
    const PromptStandIn prompt;
    shown_.append({Kind::Inform, caption, text, ui::Icon::None, ui::Button::Ok, {}});
    take(Kind::Inform, text);
}

void ScriptedDialogs::error(QWidget*, const QString& text) {
    const PromptStandIn prompt;
    shown_.append({Kind::Error, {}, text, ui::Icon::Error, ui::Button::Ok, {}});
    take(Kind::Error, text);
}

QString ScriptedDialogs::openFileName(QWidget*, const ui::FileRequest& r) {
    const PromptStandIn prompt;
    shown_.append({Kind::Open, r.caption, r.caption, ui::Icon::None, ui::Button::Ok, r});
    const Expected* e = take(Kind::Open, r.caption);
    return e ? e->fileName : QString();
}

QString ScriptedDialogs::saveFileName(QWidget*, const ui::FileRequest& r) {
    const PromptStandIn prompt;
    shown_.append({Kind::Save, r.caption, r.caption, ui::Icon::None, ui::Button::Ok, r});
    const Expected* e = take(Kind::Save, r.caption);
    return e ? e->fileName : QString();
}

bool ScriptedDialogs::choosePrinter(QWidget*, QPrinter& printer) {
    const PromptStandIn prompt;
    shown_.append(
        {Kind::Print, {}, QStringLiteral("Imprimir"), ui::Icon::None, ui::Button::Ok, {}});
    const Expected* e = take(Kind::Print, QStringLiteral("Imprimir"));
    if (!e || e->fileName.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(e->fileName);
    return true;
}

bool ScriptedDialogs::openUrl(const QUrl& url) {
    shown_.append({Kind::Url, {}, url.toString(), ui::Icon::None, ui::Button::Ok, {}});
    const Expected* e = take(Kind::Url, url.toString());
    return e && e->opened;
}

void ScriptedDialogs::beep() {
    shown_.append({Kind::Beep, {}, {}, ui::Icon::None, ui::Button::Ok, {}});
    take(Kind::Beep, {});
}

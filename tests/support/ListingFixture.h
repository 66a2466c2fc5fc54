#pragma once

// What the window tests share: a listing over generated lines, and the user's
// ways of typing and clicking into it.

#include "ScriptedDialogs.h"
#include "TestUtil.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/Document.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/DeclarationModel.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "engine/util/NumberText.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

namespace testutil {

using namespace solvanta;

// An action on a modal window that a test expects, scheduled on a timer that
// this object owns: the timer stops and goes away with the object, so it can
// never run after the test, on the locals of a finished test function. Keep
// it in a local of the test until the window has been shown:
//
//     const ModalAction modal = whenModal([&](QWidget* w) { ... });
//     button->click(); // shows the window
//
// When the object goes (or is assigned another action) and the action never
// ran, the test fails, saying that the modal window never appeared.
class [[nodiscard]] ModalAction {
public:
    // `repeatMs` < 0: the action runs on the modal window active at the next
    // turn of the event loop (the window that the next exec() shows), and
    // that window must be there. Otherwise the check repeats every `repeatMs`
    // until a visible modal window other than the one active now shows.
    ModalAction(std::function<void(QWidget*)> action, int repeatMs)
        : timer_(std::make_unique<QTimer>()), ran_(std::make_shared<bool>(false)) {
        QTimer* timer = timer_.get();
        QWidget* before = QApplication::activeModalWidget();
        const bool once = repeatMs < 0;
        timer->setSingleShot(once);
        timer->setInterval(once ? 0 : repeatMs);
        QObject::connect(timer, &QTimer::timeout, [timer, before, once, action, ran = ran_] {
            QWidget* w = QApplication::activeModalWidget();
            if (!once && (!w || w == before || !w->isVisible())) return;
            timer->stop();
            *ran = true;
            QVERIFY2(w, "no modal window was active when the scheduled action ran");
            action(w);
        });
        timer->start();
    }
    ModalAction(ModalAction&&) = default;
    ModalAction& operator=(ModalAction&& other) {
        finish();
        timer_ = std::move(other.timer_);
        ran_ = std::move(other.ran_);
        return *this;
    }
    ~ModalAction() { finish(); }

    bool ran() const { return ran_ && *ran_; }

private:
    void finish() {
        if (!timer_) return;
        timer_.reset();
        if (!*ran_ && !QTest::currentTestFailed())
            QTest::qFail("the modal window that the test expected never appeared", __FILE__,
                         __LINE__);
    }

    std::unique_ptr<QTimer> timer_;
    std::shared_ptr<bool> ran_;
};

// Runs `action` on the modal window that the next exec() shows.
inline ModalAction whenModal(std::function<void(QWidget*)> action) {
    return ModalAction(std::move(action), -1);
}

// Runs `action` on the next modal window once it shows (a button pressed by
// its mnemonic opens it a moment after the key).
inline ModalAction whenModalAppears(std::function<void(QWidget*)> action) {
    return ModalAction(std::move(action), 5);
}

// A listing window and the document it shows, which outlives it; used as a
// pointer to the window.
class OpenListing {
public:
    explicit OpenListing(const CodeTableFile& codes = {})
        : document_(std::make_unique<Document>(codes)),
          window_(std::make_unique<TFrmSolvanta>(*document_)) {}
    OpenListing(OpenListing&&) = default;
    // The window goes before the document it shows.
    OpenListing& operator=(OpenListing&& other) noexcept {
        window_.reset();
        document_ = std::move(other.document_);
        window_ = std::move(other.window_);
        return *this;
    }
    ~OpenListing() { window_.reset(); }
    TFrmSolvanta* operator->() const { return window_.get(); }
    TFrmSolvanta& operator*() const { return *window_; }
    TFrmSolvanta* get() const { return window_.get(); }

private:
    std::unique_ptr<Document> document_;
    std::unique_ptr<TFrmSolvanta> window_;
};

// The listing window that is open, if any.
inline TFrmSolvanta* openListingWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* l = qobject_cast<TFrmSolvanta*>(w)) return l;
    return nullptr;
}

// A control of a window by its object name (a warning when there is none).
template <typename T = QWidget> T* ctl(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c) qWarning("no control %s", name);
    return c;
}

// Presses a button of a window, by its object name.
inline void click(QWidget* w, const char* button) {
    auto* b = ctl<QAbstractButton>(w, button);
    QVERIFY2(b, button);
    b->click();
}

// The listing's column of a field, by the field's name.
inline int columnOf(const char* name) {
    return DeclarationModel::columnOf(field(name));
}

// A listing over a file of n generated lines whose rut is 1..n.
inline OpenListing listingOf(const QTemporaryDir& dir, int lines) {
    QByteArray bytes;
    const QByteArray base = readAll(dataFile("dos-lineas-coma.txt")).left(kPositionLineLength);
    for (int i = 1; i <= lines; ++i)
        bytes += QByteArray::number(i).rightJustified(11, '0') + base.mid(11) + "\r\n";
    const QString path = dir.filePath(QStringLiteral("entrada-%1.txt").arg(lines));
    writeAll(path, bytes);
    OpenListing listing;
    listing->load(path, FileForm::Position);
    return listing;
}

inline QList<int> ruts(TFrmSolvanta& l) {
    QList<int> out;
    for (int r = 0; r < l.table().recordCount(); ++r)
        out << l.table().textAt(r, field("rut")).toInt();
    return out;
}

inline QList<int> selectedRows(TFrmSolvanta& l) {
    QList<int> rows;
    for (int r = 0; r < l.model()->rowCount(); ++r)
        if (l.model()->isSelected(r)) rows << r;
    return rows;
}

// Types any text, letters outside ASCII included.
inline void typeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        const Qt::Key key = c.unicode() < 0x80 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, w, key, QString(c), Qt::NoModifier);
    }
}

// Types the text as a user would: the first key starts the cell editor and
// the rest go to whatever has the focus then.
inline void typeInGrid(QWidget* grid, const QString& text) {
    for (QChar c : text) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : grid;
        typeText(target, QString(c));
    }
}

// The scripted dialogs of one test function: installed fresh by start()
// (from the test's init()), checked and removed by finish() (from cleanup()),
// so a prompt a test did not expect fails that test.
class DialogScript {
public:
    void start() {
        solvanta::numtext::setDecimalSeparator(',');
        dialogs_ = std::make_unique<ScriptedDialogs>();
    }
    void finish() {
        const bool done = dialogs_->done();
        const QString problems = dialogs_->problems();
        dialogs_.reset();
        QVERIFY2(done, qPrintable(problems));
    }
    ScriptedDialogs& operator()() { return *dialogs_; }

private:
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

// Shows the listing and gives its grid the focus, as when it opens.
inline void showGrid(TFrmSolvanta& l) {
    l.show();
    QVERIFY(QTest::qWaitForWindowExposed(&l));
    QVERIFY(QTest::qWaitForWindowActive(&l));
    l.grid()->setFocus();
}

inline void clickCell(TFrmSolvanta& l, int row, int column, Qt::KeyboardModifiers mods = {}) {
    DeclarationGrid* g = l.grid();
    g->scrollTo(g->model()->index(row, column));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, mods,
                      g->visualRect(g->model()->index(row, column)).center());
}

// The listing's dialogs read the code-table file beside the program: the
// shipped one is put there (the build puts it in each test's own folder; this
// puts it back for a test that changed it), replaced in one step.
inline bool placeCodeTableBesideProgram() {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Solvanta.cfg");
    const QByteArray shipped = readAll(QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg"));
    if (shipped.isEmpty()) return false;
    if (readAll(beside) == shipped) return true;
    QSaveFile file(beside);
    return file.open(QIODevice::WriteOnly) && file.write(shipped) == shipped.size() &&
           file.commit();
}

// Runs a toolbar button or menu entry of the listing whose modal dialog
// `inDialog` answers; a dialog that a failed check left open is closed.
inline void withDialog(TFrmSolvanta& l, const char* action,
                       std::function<void(QWidget*)> inDialog) {
    const ModalAction modal = whenModal([&](QWidget* w) {
        inDialog(w);
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
    });
    if (auto* b = l.findChild<QToolButton*>(QLatin1String(action)))
        b->click();
    else
        l.findChild<QAction*>(QLatin1String(action))->trigger();
    QVERIFY2(modal.ran(), action);
}

} // namespace testutil

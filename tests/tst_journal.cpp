// The journal of changes: what a crash leaves of the work is made again,
// byte for byte, on the same file; a journal cut short loses only its last
// change; a file that changed since is not touched.

#include "Generator.h"
#include "TestUtil.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/Document.h"
#include "engine/files/Journal.h"
#include "engine/model/RxMem.h"
#include "engine/util/Errors.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

class TestJournal : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QString file_;

    // The table's lines as the separator form writes them.
    QByteArray linesOf(RxMem& t) {
        const QString path = tmp_.filePath(u"foto.csv"_s);
        writeDeclaration(path, FileForm::Separator, t);
        return readAll(path);
    }

    std::unique_ptr<Document> opened() {
        auto d = std::make_unique<Document>();
        d->setJournalFolder(tmp_.filePath(u"recuperacion"_s));
        d->load(file_, FileForm::Position);
        return d;
    }

    // A copy of the journal as a crash would leave it.
    QString crashCopy(const Document& d, qint64 cut = 0) {
        const QString copy = tmp_.filePath(u"choque.jrn"_s);
        QFile::remove(copy);
        QByteArray bytes = readAll(d.journalPath());
        bytes.chop(cut);
        writeAll(copy, bytes);
        return copy;
    }

    // Every kind of change the history records, an undo and a redo.
    void work(RxMem& t, QByteArray* beforeLast = nullptr) {
        t.moveTo(3);
        t.edit();
        t.setText(field("ape_pat"), u"MUÑOZ CORREGIDO"_s);
        t.post();
        t.moveTo(10);
        t.insert();
        t.setText(field("rut"), u"12345678"_s);
        t.setText(field("nombres"), u"NUEVA"_s);
        t.post();
        t.deleteRecords({t.bookmarkAt(20), t.bookmarkAt(25), t.bookmarkAt(26)});
        t.assignAll(field("centro_costo"), u"SUCURSAL 9"_s);
        t.setCells({{t.bookmarkAt(1), field("impo_afp"), u"777777"_s},
                    {t.bookmarkAt(2), field("nom_AFP"), u"05"_s}});
        t.undo();
        t.redo();
        t.undo();
        if (beforeLast) *beforeLast = linesOf(t);
        t.last();
        t.append();
        t.setText(field("rut"), u"22222222"_s);
        t.post();
    }

private slots:
    void initTestCase() {
        RxMem t;
        generateDeclaration(t, 60, 27);
        file_ = tmp_.filePath(u"nomina.txt"_s);
        writeDeclaration(file_, FileForm::Position, t);
    }

    // After a crash the same file, loaded again, takes the journal's changes:
    // the same lines, unsaved, with the history to undo them.
    void replayGivesTheSameLines() {
        auto d = opened();
        work(d->table());
        QVERIFY(QFile::exists(d->journalPath()));
        const QByteArray expected = linesOf(d->table());
        const QString copy = crashCopy(*d);

        auto again = opened();
        const JournalReading journal = readJournal(copy);
        QVERIFY(!journal.torn);
        QCOMPARE(journal.header.file.path, QFileInfo(file_).absoluteFilePath());
        QVERIFY(journal.linesTouched > 60); // the mass change touched every line
        again->recover(journal, copy);
        QCOMPARE(linesOf(again->table()), expected);
        QVERIFY(again->hasUnsavedChanges());
        QVERIFY(!QFile::exists(copy)); // its changes are in the new journal now
        // The history came back too: undo takes back the last line added.
        QVERIFY(again->table().canUndo());
        again->table().undo();
        QCOMPARE(again->table().recordCount(), d->table().recordCount() - 1);
    }

    // The power went in the middle of the last write: that change is lost,
    // the others come back.
    void tornJournal() {
        auto d = opened();
        QByteArray beforeLast;
        work(d->table(), &beforeLast);
        const QString copy = crashCopy(*d, 7);
        const JournalReading journal = readJournal(copy);
        QVERIFY(journal.torn);
        auto again = opened();
        again->recover(journal, copy);
        QCOMPARE(linesOf(again->table()), beforeLast);
    }

    // A file that changed since the journal was kept is not touched, and
    // the journal stays.
    void fileChangedSince() {
        auto d = opened();
        work(d->table());
        const QString copy = crashCopy(*d);
        const QString other = tmp_.filePath(u"otra.txt"_s);
        QFile::copy(file_, other);
        QByteArray bytes = readAll(other);
        bytes[20] = bytes[20] == 'A' ? 'B' : 'A';
        writeAll(other, bytes);
        JournalReading journal = readJournal(copy);
        journal.header.file.path = other;
        auto changed = std::make_unique<Document>();
        changed->setJournalFolder(tmp_.filePath(u"recuperacion"_s));
        changed->load(other, FileForm::Position);
        const QByteArray loaded = linesOf(changed->table());
        try {
            changed->recover(journal, copy);
            QFAIL("a changed file took the journal");
        } catch (const IoError& e) {
            QVERIFY2(e.message().contains(u"cambió"_s), qPrintable(e.message()));
        }
        QCOMPARE(linesOf(changed->table()), loaded);
        QVERIFY(QFile::exists(copy));
    }

    // Writing the lines, or giving them up, ends the journal; a journal
    // that is no journal says so.
    void journalEnds() {
        auto d = opened();
        work(d->table());
        const QString journal = d->journalPath();
        QVERIFY(QFile::exists(journal));
        d->write(tmp_.filePath(u"grabado.txt"_s), FileForm::Position);
        QVERIFY(!QFile::exists(journal));
        QVERIFY(d->journalPath().isEmpty());
        work(d->table());
        const QString second = d->journalPath();
        QVERIFY(QFile::exists(second));
        d->discardChanges();
        QVERIFY(!QFile::exists(second));

        const QString bad = tmp_.filePath(u"malo.jrn"_s);
        writeAll(bad, "no es un registro");
        QVERIFY_THROWS_EXCEPTION(IoError, readJournal(bad));
    }

    // Another program changed the file after it was loaded.
    void changedOnDisk() {
        const QString path = tmp_.filePath(u"vigilado.txt"_s);
        QFile::copy(file_, path);
        Document d;
        d.setJournalFolder(tmp_.filePath(u"recuperacion"_s));
        d.load(path, FileForm::Position);
        QVERIFY(!d.changedOnDisk());
        QByteArray bytes = readAll(path);
        bytes[30] = bytes[30] == 'X' ? 'Y' : 'X';
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(0));
        f.write(bytes);
        f.flush();
        // The same size and time: only the bytes tell.
        QVERIFY(f.setFileTime(QDateTime::fromMSecsSinceEpoch(d.identity().modified),
                              QFileDevice::FileModificationTime));
        f.close();
        QCOMPARE(QFileInfo(path).size(), d.identity().size);
        QVERIFY(d.changedOnDisk());
    }
};

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"

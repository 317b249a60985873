// Change lists and report text are bytes: a Latin-1 and a UTF-8 list, and
// file names in either encoding, go through the dialog's Load and Save, the
// store, a restart and a run with every byte as it was.

#include "UiTestHelpers.h"

#include "ScriptedPrompts.h"
#include "StoreBinding.h"
#include "TextUtils.h"
#include "UMyIniFile.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

using namespace varnok;

namespace {

// File names here are bytes, which a QString cannot always name.
QByteArray Bytes(const QByteArray& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
}

bool Put(const QByteArray& path, const QByteArray& bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    return bool(out << bytes.toStdString());
}

QByteArray BlockFile(const char* section, const char* name)
{
    return QByteArray::fromStdString(TextBlockPath(section, name));
}

// The report line of a file with one replacement.
QByteArray ChangedLine(const QByteArray& name)
{
    return QByteArray::fromStdString(ReportLine(1, name.toStdString()));
}

// The lines of a text with LF or CR LF line ends, in order of their bytes.
QByteArrayList SortedLines(const QByteArray& text)
{
    QByteArrayList lines = text.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    lines.removeAll(QByteArray());
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

class TBytesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void init() { m_store.Clear(); }

    void listsAndNamesKeepTheirBytes_data();
    void listsAndNamesKeepTheirBytes();
    void errorShowsTheNameAsItIs();

private:
    TTempStore m_store;
};

void TBytesTest::listsAndNamesKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("e");      // "é" in the list's encoding
    QTest::addColumn<QByteArray>("otherE");  // and in the other one
    QTest::newRow("Latin-1") << QByteArray("\xe9") << QByteArray("\xc3\xa9");
    QTest::newRow("UTF-8") << QByteArray("\xc3\xa9") << QByteArray("\xe9");
}

void TBytesTest::listsAndNamesKeepTheirBytes()
{
    QFETCH(QByteArray, e);
    QFETCH(QByteArray, otherE);
    TScriptedPrompts prompts;
    QTemporaryDir work;
    const QByteArray folder = QFile::encodeName(work.filePath(QStringLiteral("files")));
    QVERIFY(QDir(work.path()).mkdir(QStringLiteral("files")));
    const QByteArray list = "caf" + e + "\r\nth" + e + "\r\n-\r\n";
    const QString listFile = work.filePath(QStringLiteral("list.txt"));
    const QString savedFile = work.filePath(QStringLiteral("saved.txt"));
    QVERIFY(WriteAll(listFile, list));
    // One file named in the list's encoding, one in the other; both hold the
    // list's "é", as files made for that list do.
    const QByteArray named = folder + "/n" + e + ".txt";
    const QByteArray other = folder + "/o" + otherE + ".txt";
    QVERIFY(Put(named, "un caf" + e + "\n") && Put(other, "caf" + e + " noir\n"));

    auto report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    report->UpdateInterval = 0;
    TVarnokDialog* dialog = &report->VarnokDialog();
    prompts.FileNames = {listFile, savedFile};
    dialog->LoadButton->click();
    QCOMPARE(dialog->changes->toPlainText(), QStringLiteral("caf\u00e9\nth\u00e9\n-\n"));
    dialog->SaveButton->click();
    QCOMPARE(Bytes(QFile::encodeName(savedFile)), list);

    // The store keeps the bytes, and a restart hands them to the run.
    dialog->paths->clear();
    dialog->paths->addItem(QFile::decodeName(folder));
    report->FormDestroy();
    QCOMPARE(Bytes(BlockFile("Varnok\\Dialog", "2")), list);
    report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    report->UpdateInterval = 0;
    dialog = &report->VarnokDialog();
    QCOMPARE(dialog->JobSettings().ChangeText,
             (std::vector<std::string>{("caf" + e).toStdString(), ("th" + e).toStdString(), "-"}));

    prompts.ConfirmAnswers = {true};
    AnswerModal(this, [](QDialog* window) { window->done(TMyForm::ResultOK); });
    report->Dialog1->trigger();
    QCOMPARE(Bytes(named), "un th" + e + "\n");
    QCOMPARE(Bytes(other), "th" + e + " noir\n");

    // Each report line shows its name and goes back to the name's own bytes:
    // saved as a file, in the store, and after a restart.
    const QByteArrayList lines = SortedLines(ChangedLine(named) + "\n" + ChangedLine(other));
    const QString shown = report->resultField->toPlainText();
    QVERIFY2(shown.contains(QStringLiteral("/n\u00e9.txt"))
                 && shown.contains(QStringLiteral("/o\u00e9.txt")),
             qPrintable(shown));
    const QString reportFile = work.filePath(QStringLiteral("report.txt"));
    report->SaveReport(reportFile);
    QCOMPARE(SortedLines(Bytes(QFile::encodeName(reportFile))), lines);
    report->FormDestroy();
    QCOMPARE(SortedLines(Bytes(BlockFile("Varnok\\Report", "1"))), lines);
    report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    QCOMPARE(SortedLines(QByteArray::fromStdString(PlainTextOf(report->resultField))), lines);
    QCOMPARE(prompts.Asked, (QStringList{"Open: *.txt", "Save: Changes.txt",
                                         "Confirm: Confirm: Are you sure? There's no undo?"}));
}

// A Latin-1 file name in a run error reads as it does in the report.
void TBytesTest::errorShowsTheNameAsItIs()
{
    TScriptedPrompts prompts;
    QTemporaryDir work;
    const QByteArray name = QFile::encodeName(work.path()) + "/b\xe9";
    QVERIFY(Put(name + ".txt", "foo\n"));
    // Its temporary name is taken by a folder: the file cannot be written.
    QVERIFY(mkdir((name + ".$$$").constData(), 0700) == 0);

    TVarnokReport report(nullptr, kDefaultStoreKey);
    TVarnokDialog& dialog = report.VarnokDialog();
    dialog.paths->clear();
    dialog.paths->addItem(work.path());
    dialog.changes->setPlainText(QStringLiteral("foo\nbar\n-"));
    prompts.ConfirmAnswers = {true};
    AnswerModal(this, [](QDialog* window) { window->done(TMyForm::ResultOK); });
    report.Dialog1->trigger();
    QVERIFY2(prompts.Asked.last().startsWith(QStringLiteral("Error: Cannot create file ") + work.path()
                                             + QStringLiteral("/b\u00e9.$$$")),
             qPrintable(prompts.Asked.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TBytesTest)
#include "tst_bytes.moc"

// Change lists and report text are bytes: a Latin-1 and a UTF-8 list, and
// file names in either encoding, go through the dialog's Load and Save, the
// store, a restart and a run with every byte as it was.

#include "UiTestHelpers.h"

#include "ScriptedPrompts.h"
#include "TextUtils.h"
#include "UMyApplication.h"
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
#include <stdexcept>

using namespace varnok;

namespace {

// File names here are bytes, which a QString cannot always name.
QByteArray Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
}

bool Put(const QByteArray& path, const QByteArray& bytes)
{
    return bool(std::ofstream(path.toStdString(), std::ios::binary) << bytes.toStdString());
}

// The lines of a text with LF or CR LF line ends, in order of their bytes.
QByteArrayList SortedLines(QByteArray text)
{
    QByteArrayList lines = text.replace("\r\n", "\n").split('\n');
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
    void errorsShowLatin1Names();

private:
    TTempStore m_store;
};

void TBytesTest::listsAndNamesKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("e");       // "é" in the list's encoding
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
    QVERIFY(QDir(work.path()).mkdir(QStringLiteral("files")));
    const QByteArray list = "caf" + e + "\r\nth" + e + "\r\n-\r\n";
    const QString listFile = work.filePath(QStringLiteral("list.txt"));
    const QString savedFile = work.filePath(QStringLiteral("saved.txt"));
    QVERIFY(WriteAll(listFile, list));
    // One file named in the list's encoding, one in the other; both hold the
    // list's "é", as files made for that list do.
    const QByteArray folder = QFile::encodeName(work.filePath(QStringLiteral("files")));
    const QByteArray named = folder + "/n" + e + ".txt";
    const QByteArray other = folder + "/o" + otherE + ".txt";
    QVERIFY(Put(named, "un caf" + e + "\n") && Put(other, "caf" + e + " noir\n"));

    auto report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    prompts.FileNames = {listFile, savedFile};
    report->VarnokDialog().LoadButton->click();
    QCOMPARE(report->VarnokDialog().changes->toPlainText(), QStringLiteral("caf\u00e9\nth\u00e9\n-\n"));
    report->VarnokDialog().SaveButton->click();
    QCOMPARE(Bytes(savedFile.toStdString()), list);

    // The store keeps the bytes, and after a restart the run writes them.
    report->VarnokDialog().paths->clear();
    report->VarnokDialog().paths->addItem(QFile::decodeName(folder));
    report->FormDestroy();
    QCOMPARE(Bytes(TextBlockPath("Varnok\\Dialog", "2")), list);
    report = std::make_unique<TVarnokReport>(nullptr, kDefaultStoreKey);
    prompts.ConfirmAnswers = {true};
    AnswerModal(this, [](QDialog* window) { window->done(TMyForm::ResultOK); });
    report->Dialog1->trigger();
    QCOMPARE(Bytes(named.toStdString()), "un th" + e + "\n");
    QCOMPARE(Bytes(other.toStdString()), "th" + e + " noir\n");

    // Each report line shows its name, and goes back to the name's own bytes
    // both in a saved report and in the store.
    const QString shown = report->resultField->toPlainText();
    QVERIFY2(shown.contains(QStringLiteral("/n\u00e9.txt")) && shown.contains(QStringLiteral("/o\u00e9.txt")),
             qPrintable(shown));
    const QByteArrayList lines = SortedLines(QByteArray::fromStdString(
        ReportLine(1, named.toStdString()) + "\n" + ReportLine(1, other.toStdString())));
    const QString reportFile = work.filePath(QStringLiteral("report.txt"));
    report->SaveReport(reportFile);
    QCOMPARE(SortedLines(Bytes(reportFile.toStdString())), lines);
    report->FormDestroy();
    QCOMPARE(SortedLines(Bytes(TextBlockPath("Varnok\\Report", "1"))), lines);
    QCOMPARE(prompts.Asked, (QStringList{"Open: *.txt", "Save: Changes.txt",
                                         "Confirm: Confirm: Are you sure? There's no undo?"}));
}

// An error naming a Latin-1 file reads as the report shows the name.
void TBytesTest::errorsShowLatin1Names()
{
    TScriptedPrompts prompts;
    TMyApplication::RunCommand([] { throw std::runtime_error("Cannot create file /tmp/b\xe9.$$$"); });
    QCOMPARE(prompts.Asked, QStringList{QStringLiteral("Error: Cannot create file /tmp/b\u00e9.$$$")});
}

QTEST_MAIN(TBytesTest)
#include "tst_bytes.moc"

// The desktop program's exit save: killed at random instants it leaves the
// store whole, and a store that stopped parsing during the session is left as
// it is, with the reason shown.
//
// The killed program is this test program started again with
// "--saving-child FIRST": the report window as the desktop program makes it,
// saving at exit (FormDestroy) again and again, each save with lists of its
// own length and rows, numbered from FIRST.

#include <QDirIterator>
#include <QListWidget>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>

#include "AtomicFile.h"
#include "ScriptedPrompts.h"
#include "StoreFile.h"
#include "UMyIniFile.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"
#include "UiTestHelpers.h"

using namespace varnok;

namespace {

constexpr const char* kDialog = "Varnok\\Dialog";

QStringList SavedRows(int save, int list)
{
    QStringList rows;
    for (int i = 0; i < 1 + (save + list) % 7; ++i)
        rows << QStringLiteral("/save-%1/%2").arg(save).arg(i);
    return rows;
}

int SavingChild(int argc, char** argv)
{
    QApplication application(argc, argv);
    TVarnokReport report(nullptr, kDefaultStoreKey);
    TVarnokDialog& dialog = report.VarnokDialog();
    std::puts("ready");
    std::fflush(stdout);
    for (int save = std::atoi(argv[2]);; ++save) {
        for (auto [list, number] : {std::pair{dialog.paths, 0}, std::pair{dialog.masks, 1}}) {
            list->clear();
            list->addItems(SavedRows(save, number));
        }
        dialog.maskEdit->setText(QString::number(save));
        report.FormDestroy();
    }
}

QStringList Rows(const std::vector<std::string>& rows)
{
    QStringList texts;
    for (const std::string& row : rows)
        texts << QString::fromStdString(row);
    return texts;
}

}  // namespace

class TExitSaveTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void killedDuringTheExitSave();
    void storeThatStopsParsingIsLeftAsItIs();

private:
    std::unique_ptr<TTempStore> m_store;
    std::unique_ptr<TScriptedPrompts> m_prompts;
};

void TExitSaveTest::init()
{
    m_store = std::make_unique<TTempStore>();
    QVERIFY(m_store->IsValid());
    m_prompts = std::make_unique<TScriptedPrompts>();
}

void TExitSaveTest::cleanup()
{
    m_prompts.reset();
    m_store.reset();
}

void TExitSaveTest::killedDuringTheExitSave()
{
    constexpr int kKills = 30;
    int lastSave = 0;
    int changed = 0;  // kills after which the store held a later save
    for (int round = 0; round < kKills; ++round) {
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--saving-child"), QString::number((round + 1) * 1000)});
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start();
        QVERIFY(child.waitForStarted());
        QVERIFY2(child.waitForReadyRead(30000), "the child did not start its saves");
        QThread::usleep(QRandomGenerator::global()->bounded(40000));
        child.kill();
        QVERIFY(child.waitForFinished());

        const std::optional<std::string> text = ReadWholeFile(m_store->StoreFile().toStdString());
        QVERIFY2(text, "the report window makes its store before it is ready");
        try {
            TStoreDocument::Parse(*text);
        } catch (const std::runtime_error& error) {
            QFAIL(qPrintable(QStringLiteral("round %1: %2").arg(round).arg(error.what())));
        }
        const TMyIniFile store(kDefaultStoreKey);
        const int save = store.ReadNumber(kDialog, "Edit-1", 0);
        for (int list : {0, 1}) {
            const std::string name = list == 0 ? "ListBox-2" : "ListBox-1";
            QCOMPARE(Rows(store.ReadList(kDialog, name)), save ? SavedRows(save, list) : QStringList());
        }
        changed += save != lastSave ? 1 : 0;
        lastSave = save;
    }
    qInfo("%d kills at random instants: the store parsed and held one whole save each time, "
          "a later save after %d of them", kKills, changed);
}

void TExitSaveTest::storeThatStopsParsingIsLeftAsItIs()
{
    TVarnokReport report(nullptr, kDefaultStoreKey);
    report.FormDestroy();
    const QString path = m_store->StoreFile();
    const QByteArray broken = ReadAll(path).toUtf8() + "\"Edit-2\"=\"unterminated\n";
    QVERIFY(WriteAll(path, broken));

    // The exit save fails with the reason (the program shows it), and so do
    // the configuration windows, which would list no names from a fresh store.
    QString exitError;
    try {
        report.FormDestroy();
    } catch (const std::runtime_error& error) {
        exitError = QString::fromUtf8(error.what());
    }
    QVERIFY2(exitError.startsWith(QStringLiteral("The settings file ") + path + QStringLiteral(" cannot be read")),
             qPrintable(exitError));
    report.SaveConfiguration1->trigger();
    report.LoadConfiguration1->trigger();
    QCOMPARE(m_prompts->Asked, QStringList(2, QStringLiteral("Error: ") + exitError));
    m_prompts->Asked.clear();

    QCOMPARE(ReadAll(path).toUtf8(), broken);
    QDirIterator others(QFileInfo(path).path(), {QStringLiteral("Quillets.reg.corrupt-*")}, QDir::Files);
    QVERIFY(!others.hasNext());
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--saving-child") == 0)
        return SavingChild(argc, argv);
    QApplication application(argc, argv);
    TExitSaveTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exitsave.moc"

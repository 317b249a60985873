// The desktop program's exit save, killed at random instants while another
// instance saves too: the store always parses and holds one whole save.
// Each instance is this program started again with "--saving-child FIRST":
// the report window as the desktop program makes it, saving at exit again and
// again, each save numbered from FIRST, with lists of its own length and rows.

#include <QListWidget>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "UMyIniFile.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"
#include "UiTestHelpers.h"

using namespace varnok;

namespace {

constexpr const char* kDialog = "Varnok\\Dialog";

std::vector<std::string> SavedRows(int save, int list)
{
    std::vector<std::string> rows;
    for (int i = 0; i < (save ? 1 + (save + list) % 7 : 0); ++i)
        rows.push_back("/save-" + std::to_string(save) + "/" + std::to_string(i));
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
            for (const std::string& row : SavedRows(save, number))
                list->addItem(QString::fromStdString(row));
        }
        dialog.maskEdit->setText(QString::number(save));
        report.FormDestroy();
    }
}

}  // namespace

class TExitSaveTest : public QObject {
    Q_OBJECT

private slots:
    void killedDuringTheExitSave();
};

void TExitSaveTest::killedDuringTheExitSave()
{
    TTempStore temp;
    constexpr int kKills = 30;
    int changed = 0;  // kills after which the store held a later save
    int lastSave = 0;
    for (int round = 0; round < kKills; ++round) {
        QProcess children[2];
        for (int c = 0; c < 2; ++c) {
            children[c].setProcessChannelMode(QProcess::ForwardedErrorChannel);
            children[c].start(QCoreApplication::applicationFilePath(),
                              {QStringLiteral("--saving-child"), QString::number((2 * round + c + 1) * 1000)});
        }
        for (QProcess& child : children)
            QVERIFY2(child.waitForReadyRead(30000), "an instance did not start saving");
        QThread::usleep(QRandomGenerator::global()->bounded(40000));
        for (QProcess& child : children) {
            child.kill();
            QVERIFY(child.waitForFinished());
        }
        // A store that does not parse fails these reads with its reason.
        const TMyIniFile store(kDefaultStoreKey);
        const int save = store.ReadNumber(kDialog, "Edit-1", 0);
        QCOMPARE(store.ReadList(kDialog, "ListBox-2"), SavedRows(save, 0));
        QCOMPARE(store.ReadList(kDialog, "ListBox-1"), SavedRows(save, 1));
        changed += save != lastSave ? 1 : 0;
        lastSave = save;
    }
    qInfo("%d kills of two saving instances: the store parsed and held one whole save each "
          "time, a later one after %d of them", kKills, changed);
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

// The history box of the dialog's folder entry: the list it shows, the text it
// keeps, and what the user's typing may and may not do to them.

#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "MyComps.h"
#include "UMyIniFile.h"

using namespace varnok;

namespace {

QStringList Items(const QComboBox& box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

}  // namespace

class THistoryBoxTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void addToHistory_data();
    void addToHistory();
    void saveAndLoad_data();
    void saveAndLoad();
    void loadWithNothingStored();
    void typingNeverAddsEntries();

private:
    QTemporaryDir m_config;
};

void THistoryBoxTest::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
}

void THistoryBoxTest::addToHistory_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("new text goes first") << QStringList{"/a", "/b"} << "/c" << QStringList{"/c", "/a", "/b"};
    QTest::newRow("third entry moves to the top") << QStringList{"/a", "/b", "/c"} << "/c"
                                                  << QStringList{"/c", "/a", "/b"};
    QTest::newRow("other case replaces the entry") << QStringList{"/a", "/tmp"} << "/TMP"
                                                   << QStringList{"/TMP", "/a"};
    QTest::newRow("empty text is an entry too") << QStringList{"/a"} << "" << QStringList{"", "/a"};
}

void THistoryBoxTest::addToHistory()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    QFETCH(QStringList, after);
    THistoryBox box;
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        box.setEditText(*it);
        box.AddToHistory();
    }
    box.setEditText(text);
    box.lineEdit()->selectAll();
    QCOMPARE(box.AddToHistory(), text);
    QCOMPARE(Items(box), after);
    QCOMPARE(box.currentText(), text);
    QVERIFY(!box.lineEdit()->hasSelectedText());
}

// A save and a load through the store: the load shows the stored entries,
// bounded by Size, and keeps the stored text rather than the first entry.
void THistoryBoxTest::saveAndLoad_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("restored");
    QTest::newRow("all entries within Size") << 20 << 5 << 5;
    QTest::newRow("Size bounds the stored entries") << 20 << 30 << 20;
    QTest::newRow("Size 0 keeps the text only") << 0 << 3 << 0;
}

void THistoryBoxTest::saveAndLoad()
{
    QFETCH(int, size);
    QFETCH(int, count);
    QFETCH(int, restored);
    const std::string key = "Tavrin Software\\Quillets\\Others\\history-" + std::to_string(size)
        + "-" + std::to_string(count);
    TMyIniFile store(key);
    THistoryBox saved;
    saved.SetSize(size);
    QStringList entries;
    for (int i = count; i >= 1; --i) {
        saved.setEditText(QStringLiteral("/f%1").arg(i));
        saved.AddToHistory();
        entries.prepend(QStringLiteral("/f%1").arg(i));
    }
    saved.setEditText(QStringLiteral("/typed"));
    saved.SaveHistory(store, "Varnok\\Dialog", 1);
    QCOMPARE(store.ReadNumber("Varnok\\Dialog-History-1", "Count", -1), count);

    THistoryBox loaded;
    loaded.SetSize(size);
    QSignalSpy edits(&loaded, &QComboBox::editTextChanged);
    loaded.LoadHistory(store, "Varnok\\Dialog", 1);
    QCOMPARE(Items(loaded), entries.mid(0, restored));
    QCOMPARE(loaded.currentText(), QStringLiteral("/typed"));
    QCOMPARE(loaded.currentIndex(), -1);
    QCOMPARE(edits.count(), 0);
}

void THistoryBoxTest::loadWithNothingStored()
{
    TMyIniFile store("Tavrin Software\\Quillets\\Others\\history-empty");
    THistoryBox box;
    box.SetSize(20);
    box.setEditText(QStringLiteral("/tmp"));
    box.AddToHistory();
    box.LoadHistory(store, "Varnok\\Dialog", 1);
    QCOMPARE(box.count(), 0);
    QCOMPARE(box.currentText(), QStringLiteral("/tmp"));
}

// Enter and leaving the box take neither an entry nor the case of one.
void THistoryBoxTest::typingNeverAddsEntries()
{
    QWidget window;
    auto* box = new THistoryBox(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    box->setEditText(QStringLiteral("/tmp"));
    box->AddToHistory();
    box->setEditText(QString());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("/TM"));
    QCOMPARE(box->currentText(), QStringLiteral("/TM"));
    QTest::keyClicks(box, QStringLiteral("P"));
    QTest::keyClick(box, Qt::Key_Return);
    other->setFocus();
    QCOMPARE(Items(*box), QStringList{"/tmp"});
    QCOMPARE(box->currentText(), QStringLiteral("/TMP"));
}

QTEST_MAIN(THistoryBoxTest)
#include "tst_dialog_history.moc"

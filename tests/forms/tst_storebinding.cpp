// Text blocks of the store bound to text controls: line ends and characters
// survive a read, a write and a read again.

#include "TempStore.h"

#include "StoreBinding.h"
#include "UMyIniFile.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

using namespace varnok;

namespace {
const std::string kSection = "Test\\Binding";
}

class TestStoreBinding : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void init() { m_store.Clear(); }

    void textBlocks_data();
    void textBlocks();

private:
    TTempStore m_store;
};

void TestStoreBinding::textBlocks_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");

    QTest::newRow("CR LF") << QByteArray("one\r\ntwo") << "one\ntwo";
    QTest::newRow("lone CR") << QByteArray("one\rtwo") << "one\ntwo";
    QTest::newRow("empty lines kept") << QByteArray("\r\n\r\nx") << "\n\nx";
    QTest::newRow("non-breaking space kept")
        << QByteArray("a\xc2\xa0" "b") << QStringLiteral("a\u00a0b");
}

void TestStoreBinding::textBlocks()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, text);

    TMyIniFile ini(kDefaultStoreKey);
    QPlainTextEdit edit;
    ini.WriteTextBlock(kSection, "1", "");
    QFile stored(QString::fromStdString(TextBlockPath(kSection, "1")));
    QVERIFY(stored.open(QIODevice::WriteOnly));
    stored.write(file);
    stored.close();

    ReadRichEdit(ini, kSection, "1", &edit);
    QCOMPARE(QString::fromStdString(PlainTextOf(&edit)), text);

    // Written back with CR LF, and read again as the same text.
    WriteRichEdit(ini, kSection, "1", &edit);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QVERIFY(!QString::fromUtf8(stored.readAll()).contains(QRegularExpression("[^\r]\n")));
    stored.close();
    QPlainTextEdit again;
    ReadRichEdit(ini, kSection, "1", &again);
    QCOMPARE(QString::fromStdString(PlainTextOf(&again)), text);
}

QTEST_MAIN(TestStoreBinding)
#include "tst_storebinding.moc"

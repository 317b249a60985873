// The store's records bound to controls: text blocks and fonts.

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
    void fonts_data();
    void fonts();

private:
    TTempStore m_store;
};

void TestStoreBinding::textBlocks_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");

    QTest::newRow("CR LF") << QByteArray("one\r\ntwo") << "one\ntwo";
    QTest::newRow("LF") << QByteArray("one\ntwo\n") << "one\ntwo\n";
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

void TestStoreBinding::fonts_data()
{
    QTest::addColumn<QStringList>("stored");  // name=value pairs; empty: nothing stored
    QTest::addColumn<QFont>("before");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");

    QFont bold(QStringLiteral("Sans"), 9);
    bold.setBold(true);
    QTest::newRow("nothing stored") << QStringList{} << bold << "Courier New" << 10 << -1
                                    << false << false;
    QTest::newRow("flags all 0 make it plain")
        << QStringList{"Name=Sans", "Size=9", "Bold=0", "Italic=0", "Underline=0", "StrikeOut=0"}
        << bold << "Sans" << 9 << -1 << false << false;
    QTest::newRow("bold and italic") << QStringList{"Name=Mono", "Size=12", "Bold=1", "Italic=1"}
                                     << QFont() << "Mono" << 12 << -1 << true << true;
    QTest::newRow("a negative size is pixels") << QStringList{"Size=-11"} << QFont()
                                               << "Courier New" << -1 << 11 << false << false;
}

void TestStoreBinding::fonts()
{
    QFETCH(QStringList, stored);
    QFETCH(QFont, before);
    QFETCH(QString, family);
    QFETCH(int, pointSize);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    QFETCH(bool, italic);

    TMyIniFile ini(kDefaultStoreKey);
    for (const QString& pair : stored) {
        const QStringList parts = pair.split(QLatin1Char('='));
        ini.WriteText(kSection + "Font-1", parts[0].toStdString(), parts[1].toStdString());
    }
    QFont font = before;
    ReadFont(ini, kSection, "Font-1", font);
    QCOMPARE(font.family(), family);
    QCOMPARE(font.pointSize(), pointSize);
    QCOMPARE(font.pixelSize(), pixelSize);
    QCOMPARE(font.bold(), bold);
    QCOMPARE(font.italic(), italic);

    // What was read is written and read back alike.
    WriteFont(ini, kSection, "Font-2", font);
    QFont again;
    ReadFont(ini, kSection, "Font-2", again);
    QCOMPARE(again.family(), family);
    QCOMPARE(again.bold(), bold);
    QCOMPARE(again.italic(), italic);
}

QTEST_MAIN(TestStoreBinding)
#include "tst_storebinding.moc"

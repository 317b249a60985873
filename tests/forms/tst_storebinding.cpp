// Text blocks of the store bound to text controls: line ends, characters and
// each line's bytes survive a read, an edit, a write and a read again.

#include "TempStore.h"

#include "StoreBinding.h"
#include "UMyIniFile.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

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
    void linesKeepTheirBytes_data();
    void linesKeepTheirBytes();

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

void TestStoreBinding::linesKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");  // at the end of the first line
    QTest::addColumn<QByteArray>("written");

    QByteArray everyByte;
    for (int c = 1; c < 256; ++c) {
        if (c != '\r' && c != '\n')
            everyByte += char(c);
    }
    QTest::newRow("Latin-1") << QByteArray("caf\xe9\r\nth\xe9") << "caf\u00e9\nth\u00e9" << ""
                             << QByteArray("caf\xe9\r\nth\xe9");
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9\nth\xc3\xa9") << "caf\u00e9\nth\u00e9" << ""
                           << QByteArray("caf\xc3\xa9\r\nth\xc3\xa9");
    QTest::newRow("each line its own") << QByteArray("caf\xe9\r\nth\xc3\xa9") << "caf\u00e9\nth\u00e9"
                                       << "" << QByteArray("caf\xe9\r\nth\xc3\xa9");
    QTest::newRow("every byte") << everyByte << QString::fromLatin1(everyByte) << "" << everyByte;
    QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbfx") << QStringLiteral("\ufeffx") << ""
                                     << QByteArray("\xef\xbb\xbfx");
    QTest::newRow("UTF-8 for a line break stays bytes")
        << QByteArray("a\xe2\x80\xa8z\r\nb\xe2\x80\xa9") << QString::fromLatin1("a\xe2\x80\xa8z\nb\xe2\x80\xa9")
        << "" << QByteArray("a\xe2\x80\xa8z\r\nb\xe2\x80\xa9");

    QTest::newRow("typed into Latin-1") << QByteArray("caf\xe9\r\nx") << "caf\u00e9\nx" << "\u00e9"
                                        << QByteArray("caf\xe9\xe9\r\nx");
    QTest::newRow("typed into ASCII of a Latin-1 list")
        << QByteArray("abc\r\nth\xe9") << "abc\nth\u00e9" << "\u00e9" << QByteArray("abc\xe9\r\nth\xe9");
    QTest::newRow("beyond Latin-1: that line only turns UTF-8")
        << QByteArray("caf\xe9\r\nth\xe9") << "caf\u00e9\nth\u00e9" << "\u20ac"
        << QByteArray("caf\xc3\xa9\xe2\x82\xac\r\nth\xe9");
    QTest::newRow("typed into UTF-8") << QByteArray("caf\xc3\xa9") << "caf\u00e9" << "\u00e9"
                                      << QByteArray("caf\xc3\xa9\xc3\xa9");
    QTest::newRow("typed into ASCII") << QByteArray("abc") << "abc" << "\u00e9" << QByteArray("abc\xc3\xa9");
}

void TestStoreBinding::linesKeepTheirBytes()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, typed);
    QFETCH(QByteArray, written);

    TMyIniFile ini(kDefaultStoreKey);
    const QString path = QString::fromStdString(TextBlockPath(kSection, "1"));
    ini.WriteTextBlock(kSection, "1", file.toStdString());
    QFile stored(path);
    QVERIFY(stored.open(QIODevice::WriteOnly) && stored.write(file) == file.size());
    stored.close();

    QPlainTextEdit edit;
    ReadRichEdit(ini, kSection, "1", &edit);
    QTEST(edit.document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')), "shown");
    QTextCursor cursor(edit.document()->firstBlock());
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(typed);
    WriteRichEdit(ini, kSection, "1", &edit);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), written);
    stored.close();

    QPlainTextEdit again;
    ReadRichEdit(ini, kSection, "1", &again);
    QCOMPARE(QByteArray::fromStdString(PlainTextOf(&again)), QByteArray(written).replace("\r\n", "\n"));
}

QTEST_MAIN(TestStoreBinding)
#include "tst_storebinding.moc"

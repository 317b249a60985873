// Saved placement of a window: first-start defaults, unreadable values,
// states, the order of the values and a maximised round trip.

#include "TempStore.h"

#include "UMyForm.h"
#include "UMyIniFile.h"

#include <QFile>
#include <QTest>

using namespace varnok;

namespace {

const std::string kSection = "Test\\Form";

using TStored = QList<QPair<QString, QString>>;

// A window at its design placement, as a subclass constructor leaves it.
std::unique_ptr<TMyForm> DesignedForm(const std::string& storeKey = kDefaultStoreKey)
{
    auto form = std::make_unique<TMyForm>(nullptr, kSection, storeKey);
    form->SetOuterPosition(157, 87);
    form->SetOuterSize(435, 300);
    return form;
}

}  // namespace

class TestMyForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_store.IsValid()); }
    void init() { m_store.Clear(); }

    void loadAppliesStoredPlacement_data();
    void loadAppliesStoredPlacement();
    void saveWritesTheSixValuesInOrder();
    void roundTripKeepsNormalPlacementOfMaximisedWindow();

private:
    TTempStore m_store;
};

void TestMyForm::loadAppliesStoredPlacement_data()
{
    QTest::addColumn<TStored>("stored");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("position");

    const QRect designed(157, 87, 435, 300);
    QTest::newRow("first start keeps the design") << TStored{} << designed << 0 << 0;
    QTest::newRow("every value stored")
        << TStored{{"Left", "10"}, {"Top", "20"}, {"Height", "200"}, {"Width", "300"},
                   {"State", "0"}, {"Position", "2"}}
        << QRect(10, 20, 300, 200) << 0 << 2;
    QTest::newRow("unreadable numbers keep the current value, hex is read")
        << TStored{{"Left", "abc"}, {"Top", "0x1F"}, {"Height", "0x"}}
        << QRect(157, 31, 435, 300) << 0 << 0;
    QTest::newRow("maximised") << TStored{{"State", "2"}} << designed << 2 << 0;
    QTest::newRow("a state with no meaning is ignored") << TStored{{"State", "7"}} << designed
                                                        << 0 << 0;
    QTest::newRow("centred") << TStored{{"Position", "4"}} << designed << 0 << 4;
}

void TestMyForm::loadAppliesStoredPlacement()
{
    QFETCH(TStored, stored);
    QFETCH(QRect, geometry);
    QFETCH(int, state);
    QFETCH(int, position);

    TMyIniFile ini(kDefaultStoreKey);
    for (const auto& [name, value] : stored)
        ini.WriteText(kSection, name.toStdString(), value.toStdString());

    auto form = DesignedForm();
    form->LoadFromIniFile();
    QCOMPARE(form->OuterGeometry(), geometry);
    QCOMPARE(form->StateNumber(), state);
    QCOMPARE(form->Position(), position);
}

void TestMyForm::saveWritesTheSixValuesInOrder()
{
    auto form = DesignedForm();
    form->SetPosition(TMyForm::PositionScreenCenter);
    form->SaveToIniFile();

    QFile file(m_store.StoreFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const QString expected = QStringLiteral(
        "[HKEY_CURRENT_USER\\Tavrin Software\\Quillets\\Test\\Form]\n"
        "\"Left\"=\"157\"\n\"Top\"=\"87\"\n\"Height\"=\"300\"\n\"Width\"=\"435\"\n"
        "\"State\"=\"0\"\n\"Position\"=\"4\"\n");
    QVERIFY2(text.contains(expected), qPrintable(text));
}

void TestMyForm::roundTripKeepsNormalPlacementOfMaximisedWindow()
{
    {
        auto form = DesignedForm();
        form->SetOuterPosition(40, 50);
        form->SetOuterSize(360, 240);
        form->SetPosition(TMyForm::PositionDefaultPos);
        form->showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->StateNumber(), 2);
        form->SaveToIniFile();
    }
    auto restored = DesignedForm();
    restored->LoadFromIniFile();
    QCOMPARE(restored->StateNumber(), 2);
    QCOMPARE(restored->Position(), 2);
    restored->SetStateNumber(TMyForm::StateNormal);
    QCOMPARE(restored->OuterGeometry().size(), QSize(360, 240));
}

QTEST_MAIN(TestMyForm)
#include "tst_myform.moc"

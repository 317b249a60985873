// Saved placement of a window: first-start defaults, unreadable values,
// states, the order of the values and a maximised round trip; on screen, the
// modes that leave placement to the system, a platform with no frame, and a
// window restored maximised.

#include "TempStore.h"

#include "UMyDialog.h"
#include "UMyForm.h"
#include "UMyIniFile.h"

#include <QFile>
#include <QTest>
#include <QVBoxLayout>

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
    void systemChoosesWhatTheModeLeavesToIt_data();
    void systemChoosesWhatTheModeLeavesToIt();
    void noFrameKeepsTheWindowsOwnPlacement();
    void restoredMaximisedFollowsTheRealSize();

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

namespace {

void Store(const TStored& stored, const std::string& section = kSection)
{
    TMyIniFile ini(kDefaultStoreKey);
    for (const auto& [name, value] : stored)
        ini.WriteText(section, name.toStdString(), value.toStdString());
}

// Shown, and given the time to learn its frame and settle.
bool ShowAndSettle(QWidget& window)
{
    window.show();
    const bool exposed = QTest::qWaitForWindowExposed(&window);
    QTest::qWait(20);
    return exposed;
}

}  // namespace

void TestMyForm::systemChoosesWhatTheModeLeavesToIt_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("storedPosition");
    QTest::addColumn<bool>("storedSize");
    QTest::newRow("0 as stored") << 0 << true << true;
    QTest::newRow("1 the system chooses both") << 1 << false << false;
    QTest::newRow("2 the system chooses the position") << 2 << false << true;
    QTest::newRow("3 the system chooses the size") << 3 << true << false;
}

void TestMyForm::systemChoosesWhatTheModeLeavesToIt()
{
    QFETCH(int, position);
    QFETCH(bool, storedPosition);
    QFETCH(bool, storedSize);
    Store({{"Left", "10"}, {"Top", "20"}, {"Height", "300"}, {"Width", "435"},
           {"Position", QString::number(position)}});
    auto form = DesignedForm();
    // Content whose natural size is not the stored one.
    auto* layout = new QVBoxLayout(form.get());
    auto* content = new QWidget(form.get());
    content->setFixedSize(120, 80);
    layout->addWidget(content);

    form->LoadFromIniFile();
    QVERIFY(ShowAndSettle(*form));

    const QRect outer = form->frameGeometry();
    QCOMPARE(outer.topLeft() == QPoint(10, 20), storedPosition);
    QCOMPARE(outer.size() == QSize(435, 300), storedSize);
    // What the system chose is what a save keeps.
    QCOMPARE(form->OuterGeometry(), outer);
}

void TestMyForm::noFrameKeepsTheWindowsOwnPlacement()
{
    auto form = DesignedForm();
    form->setWindowFlag(Qt::FramelessWindowHint);  // the platform reports no frame
    QVERIFY(ShowAndSettle(*form));
    QCOMPARE(form->frameGeometry(), QRect(157, 87, 435, 300));

    // Moved and resized by the user (or the system), then maximised.
    form->setGeometry(30, 40, 500, 350);
    QTest::qWait(20);
    QCOMPARE(form->OuterSize(), QSize(500, 350));
    QCOMPARE(form->OuterGeometry(), QRect(30, 40, 500, 350));
    form->showMaximized();
    QTRY_COMPARE(form->StateNumber(), 2);
    QCOMPARE(form->OuterGeometry(), QRect(30, 40, 500, 350));
    QCOMPARE(form->OuterSize(), form->size());
}

void TestMyForm::restoredMaximisedFollowsTheRealSize()
{
    Store({{"Left", "40"}, {"Top", "50"}, {"Height", "320"}, {"Width", "500"}, {"State", "2"}},
          "Test\\Dialog");
    TMyDialog dialog(nullptr, "Test", kDefaultStoreKey);
    dialog.SetOuterSize(460, 272);
    QWidget control(&dialog);
    control.setGeometry(300, 40, 75, 25);
    dialog.AddResize(&control, true, false, false, true);  // keep right, stretch height
    dialog.LoadFromIniFile();
    QVERIFY(ShowAndSettle(dialog));
    QCOMPARE(dialog.StateNumber(), 2);

    // The rules follow the maximised size, not the stored one.
    const QSize real = dialog.frameGeometry().size();
    QVERIFY(real.width() > 460 && real.height() > 272);
    QCOMPARE(dialog.OuterSize(), real);
    QCOMPARE(control.geometry(), QRect(real.width() - 160, 40, 75, real.height() - 247));
    // A save keeps the placement the user gave, before and after restoring.
    QCOMPARE(dialog.OuterGeometry(), QRect(40, 50, 500, 320));
    dialog.SetStateNumber(TMyForm::StateNormal);
    QTRY_COMPARE(dialog.frameGeometry(), QRect(40, 50, 500, 320));
    QCOMPARE(dialog.OuterGeometry(), QRect(40, 50, 500, 320));
    QCOMPARE(control.geometry(), QRect(340, 40, 75, 73));
}

QTEST_MAIN(TestMyForm)
#include "tst_myform.moc"

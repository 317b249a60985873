// The wizard: buttons and page moves, the ways it closes, Browse, the flood
// fill behind its picture, and Finish from the report window.

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "UiTestHelpers.h"
#include "ScriptedPrompts.h"
#include "UChooseDirectory.h"
#include "UMyIniFile.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"
#include "UVarnokWizard.h"

using namespace varnok;

namespace {

constexpr QRgb kMagenta = qRgb(255, 0, 255);
constexpr QRgb kInk = qRgb(0, 0, 128);
constexpr QRgb kFill = qRgb(240, 240, 240);

QRgb Rgb(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & RGB_MASK;
}

// A picture from rows of characters (M magenta, anything else ink), and back
// (M magenta, F filled, . anything else).
QImage Picture(const QStringList& rows)
{
    QImage image(int(rows.first().size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, rows[y][x] == QLatin1Char('M') ? kMagenta : kInk);
    return image;
}

QStringList Drawn(const QImage& image)
{
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = Rgb(image, x, y);
            row += pixel == (kMagenta & RGB_MASK) ? 'M' : pixel == (kFill & RGB_MASK) ? 'F' : '.';
        }
        rows << row;
    }
    return rows;
}

}  // namespace

class TWizardTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void buttonsFollowThePage_data();
    void buttonsFollowThePage();
    void enterPressesNext_data();
    void enterPressesNext();
    void escapeAndShowAgain();
    void browse_data();
    void browse();
    void floodFill_data();
    void floodFill();
    void floodFillOfALongPath();
    void finishingFromTheReportStartsNoRun();

private:
    std::unique_ptr<TTempStore> m_store;
    std::unique_ptr<TVarnokWizard> m_wizard;
};

void TWizardTest::init()
{
    m_store = std::make_unique<TTempStore>();
    QVERIFY(m_store->IsValid());
    m_wizard = std::make_unique<TVarnokWizard>(nullptr, kDefaultStoreKey);
    m_wizard->LoadFromIniFile();
    m_wizard->show();
}

void TWizardTest::cleanup()
{
    m_wizard.reset();
    m_store.reset();
}

void TWizardTest::buttonsFollowThePage_data()
{
    QTest::addColumn<int>("nexts");
    QTest::addColumn<int>("backs");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("backShows");
    QTest::addColumn<QString>("nextCaption");
    QTest::addColumn<bool>("finishes");

    const QString next = QStringLiteral("&Next >");
    QTest::newRow("first page") << 0 << 0 << 0 << false << next << false;
    QTest::newRow("last page") << 5 << 0 << 5 << true << "&Finish" << true;
    QTest::newRow("back from the last page") << 5 << 1 << 4 << true << next << false;
    QTest::newRow("back to the first page") << 2 << 2 << 0 << false << next << false;
    QTest::newRow("back on the first page stays") << 0 << 1 << 0 << false << next << false;
}

void TWizardTest::buttonsFollowThePage()
{
    QFETCH(int, nexts);
    QFETCH(int, backs);
    QFETCH(bool, finishes);
    TVarnokWizard& wizard = *m_wizard;
    for (int i = 0; i < nexts; ++i)
        QTest::mouseClick(wizard.BtnNext, Qt::LeftButton);
    for (int i = 0; i < backs; ++i)
        wizard.BtnBackClick();  // Back is hidden on the first page; its handler still holds

    QVERIFY(wizard.isVisible());  // reaching the last page does not close it
    QTEST(wizard.notebook->currentIndex(), "page");
    QTEST(wizard.BtnBack->isVisible(), "backShows");
    QTEST(wizard.BtnNext->text(), "nextCaption");
    QVERIFY(wizard.BtnNext->isDefault());  // on every page
    QCOMPARE(wizard.NextResult(), finishes ? TMyForm::ResultOK : 0);
}

// Enter goes forward on every page wherever the focus is, Back included;
// on the last page it finishes.
void TWizardTest::enterPressesNext_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("focus");  // object name; empty: the window itself
    QTest::newRow("welcome") << 0 << "";
    QTest::newRow("folder box") << 1 << "RootDirectory";
    QTest::newRow("Back on the folder page") << 1 << "BtnBack";
    QTest::newRow("mask box") << 2 << "maskEdit";
    QTest::newRow("Back on the mask page") << 2 << "BtnBack";
    QTest::newRow("check box") << 3 << "binaryFiles";
    QTest::newRow("search box") << 4 << "searchString";
    QTest::newRow("Back on the last page") << 5 << "BtnBack";
    QTest::newRow("last page") << 5 << "";
}

void TWizardTest::enterPressesNext()
{
    QFETCH(int, page);
    QFETCH(QString, focus);
    TVarnokWizard& wizard = *m_wizard;
    QVERIFY(QTest::qWaitForWindowActive(&wizard));
    for (int i = 0; i < page; ++i)
        wizard.BtnNextClick();
    QWidget* target = focus.isEmpty() ? &wizard : wizard.findChild<QWidget*>(focus);
    QVERIFY(target);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Return);
    if (page == wizard.LastPage) {
        QVERIFY(!wizard.isVisible());
        QCOMPARE(wizard.result(), TMyForm::ResultOK);
    } else {
        QCOMPARE(wizard.notebook->currentIndex(), page + 1);
    }
}

// Escape on the last page closes with Cancel; the next showing starts on
// the first page again.
void TWizardTest::escapeAndShowAgain()
{
    TVarnokWizard& wizard = *m_wizard;
    for (int i = 0; i < wizard.LastPage; ++i)
        wizard.BtnNextClick();
    QTest::keyClick(&wizard, Qt::Key_Escape);
    QVERIFY(!wizard.isVisible());
    QCOMPARE(wizard.result(), TMyForm::ResultCancel);
    wizard.show();
    QCOMPARE(wizard.notebook->currentIndex(), 0);
    QCOMPARE(wizard.BtnNext->text(), QStringLiteral("&Next >"));
}

void TWizardTest::browse_data()
{
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << TMyForm::ResultOK;
    QTest::newRow("Cancel") << TMyForm::ResultCancel;
}

void TWizardTest::browse()
{
    QFETCH(int, result);
    QTemporaryDir folder;
    TVarnokWizard& wizard = *m_wizard;
    wizard.RootDirectory->setText(QStringLiteral("/before"));
    QTimer::singleShot(0, &wizard, [&] {
        QVERIFY(wizard.Chooser()->isVisible());
        wizard.Chooser()->OpenFolder(folder.path());
        wizard.Chooser()->done(result);
    });
    QTest::mouseClick(wizard.BtnBrowse, Qt::LeftButton);
    QCOMPARE(wizard.RootDirectory->text(),
             result == TMyForm::ResultOK ? folder.path() : QStringLiteral("/before"));
    QCOMPARE(wizard.Chooser()->ChosenDirectory(), folder.path());  // kept for the next showing
}

void TWizardTest::floodFill_data()
{
    QTest::addColumn<QStringList>("picture");
    QTest::addColumn<QPoint>("seed");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("frame filled, island kept")
        << QStringList{"MMMMMMMM", "MMMMMMMM", "MM....MM", "MM.MM.MM", "MM....MM", "MMMMMMMM"} << QPoint(1, 1)
        << QStringList{"FFFFFFFF", "FFFFFFFF", "FF....FF", "FF.MM.FF", "FF....FF", "FFFFFFFF"};
    QTest::newRow("a winding channel is followed both ways")
        << QStringList{"M.MMM", "M.M.M", "MMM.M", "....M", "MMMMM"} << QPoint(0, 0)
        << QStringList{"F.FFF", "F.F.F", "FFF.F", "....F", "FFFFF"};
    QTest::newRow("a seed off magenta changes nothing")
        << QStringList{"MMM", "M.M", "MMM"} << QPoint(1, 1) << QStringList{"MMM", "M.M", "MMM"};
    QTest::newRow("a seed outside changes nothing") << QStringList{"MM", "MM"} << QPoint(1, 2) << QStringList{"MM", "MM"};
}

void TWizardTest::floodFill()
{
    QFETCH(QStringList, picture);
    QFETCH(QPoint, seed);
    QImage image = Picture(picture);
    TMyWizard::FloodFill(image, seed, kMagenta, kFill);
    QTEST(Drawn(image), "expected");
}

void TWizardTest::floodFillOfALongPath()
{
    // A serpentine path through a million pixels, which would exhaust the
    // stack of a recursive fill; one near-magenta pixel cuts off the start.
    QImage image(1000, 1000, QImage::Format_RGB32);
    image.fill(kInk);
    for (int y = 0; y < 1000; y += 2) {
        for (int x = 0; x < 1000; ++x)
            image.setPixel(x, y, kMagenta);
        if (y + 1 < 1000)
            image.setPixel((y / 2) % 2 ? 0 : 999, y + 1, kMagenta);
    }
    image.setPixel(500, 0, qRgb(254, 0, 255));
    TMyWizard::FloodFill(image, QPoint(999, 0), kMagenta, kFill);
    QCOMPARE(Rgb(image, 0, 999), kFill & RGB_MASK);
    QCOMPARE(Rgb(image, 501, 0), kFill & RGB_MASK);
    QCOMPARE(Rgb(image, 499, 0), kMagenta & RGB_MASK);
    QCOMPARE(Rgb(image, 500, 1), kInk & RGB_MASK);
}

void TWizardTest::finishingFromTheReportStartsNoRun()
{
    TScriptedPrompts prompts;
    prompts.ConfirmAnswers = {true};
    TVarnokReport report(nullptr, kDefaultStoreKey);
    TVarnokDialog& dialog = report.VarnokDialog();
    QVERIFY(!report.Wizard1->isEnabled());
    QVERIFY(!dialog.WizardButton->isEnabled());

    auto* wizard = qobject_cast<TVarnokWizard*>(report.Wizard);
    QVERIFY(wizard);
    dialog.changes->setPlainText(QStringLiteral("foo\nbar\n"));
    const TJobSettings before = dialog.JobSettings();
    QTimer::singleShot(0, wizard, [wizard] {
        for (int page = 0; page <= wizard->LastPage; ++page)
            wizard->BtnNext->click();
    });
    report.ShowWizard();

    QCOMPARE(wizard->result(), TMyForm::ResultOK);
    QVERIFY(prompts.Asked.isEmpty());  // no run asks its question
    QVERIFY(report.resultField->toPlainText().isEmpty());
    const TJobSettings after = dialog.JobSettings();
    QCOMPARE(after.Folders, before.Folders);
    QCOMPARE(after.Masks, before.Masks);
    QCOMPARE(after.ChangeText, before.ChangeText);
}

QTEST_MAIN(TWizardTest)
#include "tst_wizard.moc"

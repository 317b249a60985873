// The wizard: buttons and page moves, the ways it closes, Browse, the mask
// list rules, its stored values, and the flood fill behind its picture.

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "../forms/TempStore.h"
#include "ListTexts.h"
#include "ScriptedPrompts.h"
#include "UChooseDirectory.h"
#include "UMyIniFile.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"
#include "UVarnokWizard.h"
#include "UWildCards.h"

using namespace varnok;

namespace {

constexpr QRgb kMagenta = qRgb(255, 0, 255);
constexpr QRgb kInk = qRgb(0, 0, 128);
constexpr QRgb kFill = qRgb(240, 240, 240);

QString Rows(const QListWidget* list)
{
    return Texts(list).join(QLatin1Char('|'));
}

// A picture drawn from rows of characters: M magenta, . ink.
QImage Picture(const QStringList& rows)
{
    QImage image(int(rows.first().size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, rows[y][x] == QLatin1Char('M') ? kMagenta : kInk);
    return image;
}

// The picture back as rows: M magenta, F filled, . anything else.
QStringList Drawn(const QImage& image)
{
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y) & RGB_MASK;
            row += pixel == (kMagenta & RGB_MASK) ? QLatin1Char('M')
                 : pixel == (kFill & RGB_MASK)    ? QLatin1Char('F')
                                                  : QLatin1Char('.');
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
    void finishClosesWithOk();
    void cancelWays_data();
    void cancelWays();
    void everyShowingStartsOnTheFirstPage();
    void browse_data();
    void browse();
    void maskEditing_data();
    void maskEditing();
    void wildCardsWindowOpensAndCloses();
    void defaultsOnAnEmptyStore();
    void valuesSurviveASaveAndLoad();
    void storedListFallbacks_data();
    void storedListFallbacks();
    void floodFill_data();
    void floodFill();
    void floodFillOfALargeMaze();
    void finishPictureTakesTheWindowColour();
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
    QTest::addColumn<bool>("nextIsDefault");
    QTest::addColumn<int>("nextResult");

    const QString next = QStringLiteral("&Next >");
    const QString finish = QStringLiteral("&Finish");
    QTest::newRow("first page") << 0 << 0 << 0 << false << next << false << 0;
    QTest::newRow("page 1") << 1 << 0 << 1 << true << next << false << 0;
    QTest::newRow("page 4") << 4 << 0 << 4 << true << next << false << 0;
    QTest::newRow("last page") << 5 << 0 << 5 << true << finish << true << 1;
    QTest::newRow("back from the last page") << 5 << 1 << 4 << true << next << false << 0;
    QTest::newRow("back to the first page") << 2 << 2 << 0 << false << next << false << 0;
    QTest::newRow("back on the first page stays") << 0 << 1 << 0 << false << next << false << 0;
}

void TWizardTest::buttonsFollowThePage()
{
    QFETCH(int, nexts);
    QFETCH(int, backs);
    TVarnokWizard& wizard = *m_wizard;
    wizard.show();
    for (int i = 0; i < nexts; ++i)
        QTest::mouseClick(wizard.BtnNext, Qt::LeftButton);
    for (int i = 0; i < backs; ++i)
        wizard.BtnBackClick();  // Back is hidden on the first page; its handler still holds

    QVERIFY(wizard.isVisible());
    QTEST(wizard.notebook->currentIndex(), "page");
    QTEST(wizard.BtnBack->isVisible(), "backShows");
    QTEST(wizard.BtnNext->text(), "nextCaption");
    QTEST(wizard.BtnNext->isDefault(), "nextIsDefault");
    QTEST(wizard.NextResult(), "nextResult");
}

void TWizardTest::finishClosesWithOk()
{
    TVarnokWizard& wizard = *m_wizard;
    wizard.show();
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(wizard.BtnNext, Qt::LeftButton);
    QVERIFY(wizard.isVisible());  // reaching the last page does not close it
    QTest::mouseClick(wizard.BtnNext, Qt::LeftButton);
    QVERIFY(!wizard.isVisible());
    QCOMPARE(wizard.result(), TMyForm::ResultOK);
    QCOMPARE(wizard.notebook->currentIndex(), 5);
}

void TWizardTest::cancelWays_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("way");
    for (const int page : {0, 3, 5}) {
        for (const char* way : {"button", "escape", "close box"})
            QTest::addRow("%s on page %d", way, page) << page << QString::fromLatin1(way);
    }
}

void TWizardTest::cancelWays()
{
    QFETCH(int, page);
    QFETCH(QString, way);
    TVarnokWizard& wizard = *m_wizard;
    wizard.show();
    for (int i = 0; i < page; ++i)
        wizard.BtnNextClick();
    if (way == QLatin1String("button"))
        QTest::mouseClick(wizard.BtnCancel, Qt::LeftButton);
    else if (way == QLatin1String("escape"))
        QTest::keyClick(&wizard, Qt::Key_Escape);
    else
        wizard.close();
    QVERIFY(!wizard.isVisible());
    QCOMPARE(wizard.result(), TMyForm::ResultCancel);
}

void TWizardTest::everyShowingStartsOnTheFirstPage()
{
    TVarnokWizard& wizard = *m_wizard;
    wizard.setWindowTitle(QString());
    wizard.show();
    for (int i = 0; i < 5; ++i)
        wizard.BtnNextClick();
    wizard.BtnCancel->click();
    wizard.show();
    QCOMPARE(wizard.notebook->currentIndex(), 0);
    QCOMPARE(wizard.windowTitle(), QStringLiteral("Varnok Wizard"));
    QVERIFY(!wizard.BtnBack->isVisible());
    QCOMPARE(wizard.BtnNext->text(), QStringLiteral("&Next >"));
}

void TWizardTest::browse_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("takesTheFolder");
    QTest::newRow("OK") << TMyForm::ResultOK << true;
    QTest::newRow("Cancel") << TMyForm::ResultCancel << false;
}

void TWizardTest::browse()
{
    QFETCH(int, result);
    QFETCH(bool, takesTheFolder);
    QTemporaryDir folder;
    TVarnokWizard& wizard = *m_wizard;
    wizard.RootDirectory->setText(QStringLiteral("/before"));
    bool chooserShown = false;
    QTimer::singleShot(0, &wizard, [&] {
        chooserShown = wizard.Chooser()->isVisible();
        wizard.Chooser()->OpenFolder(folder.path());
        wizard.Chooser()->done(result);
    });
    QTest::mouseClick(wizard.BtnBrowse, Qt::LeftButton);
    QVERIFY(chooserShown);
    QCOMPARE(wizard.RootDirectory->text(), takesTheFolder ? folder.path() : QStringLiteral("/before"));
    // The chooser keeps its folder for the next showing either way.
    QCOMPARE(wizard.Chooser()->ChosenDirectory(), folder.path());
}

// Steps: "i" Insert, "d" Delete, "k" a key release (Right arrow) in the mask
// box, "t:X" the mask box's text set to X without a key, "c:N" a click on row
// N, "n" no row selected.
void TWizardTest::maskEditing_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("edit");

    QTest::newRow("as loaded") << QStringList{} << "*.*" << 0 << "*.*";
    QTest::newRow("two inserts give equal entries")
        << QStringList{"i", "i"} << "*.*|*.*|*.*" << 2 << "*.*";
    QTest::newRow("typing rewrites the selected entry")
        << QStringList{"t:*.txt", "k"} << "*.txt" << 0 << "*.txt";
    QTest::newRow("a text change without a key changes no entry")
        << QStringList{"t:*.txt"} << "*.*" << 0 << "*.txt";
    QTest::newRow("an arrow key with no selection appends")
        << QStringList{"t:*.cpp", "n", "k"} << "*.*|*.cpp" << 1 << "*.cpp";
    QTest::newRow("a second key then edits the new entry")
        << QStringList{"t:*.cpp", "n", "k", "t:*.h", "k"} << "*.*|*.h" << 1 << "*.h";
    QTest::newRow("delete with no selection selects the first")
        << QStringList{"i", "t:*.c", "k", "n", "t:x", "d"} << "*.*|*.c" << 0 << "*.*";
    QTest::newRow("delete removes the selected and selects the first")
        << QStringList{"i", "t:*.c", "k", "d"} << "*.*" << 0 << "*.*";
    QTest::newRow("deleting the only entry keeps the box")
        << QStringList{"t:kept", "d"} << "" << -1 << "kept";
    QTest::newRow("after that a key appends the box's text")
        << QStringList{"t:kept", "d", "k"} << "kept" << 0 << "kept";
    QTest::newRow("a click copies the row into the box")
        << QStringList{"i", "t:*.c", "k", "c:0"} << "*.*|*.c" << 0 << "*.*";
}

void TWizardTest::maskEditing()
{
    QFETCH(QStringList, steps);
    TVarnokWizard& wizard = *m_wizard;
    wizard.show();
    for (const QString& step : steps) {
        const QString argument = step.mid(2);
        switch (step.front().toLatin1()) {
        case 'i': QTest::mouseClick(wizard.Insert, Qt::LeftButton); break;
        case 'd': QTest::mouseClick(wizard.Delete, Qt::LeftButton); break;
        case 'k': QTest::keyClick(wizard.maskEdit, Qt::Key_Right); break;
        case 't': wizard.maskEdit->setText(argument); break;
        case 'n': wizard.masks->clearSelection(); break;
        case 'c': {
            const QRect place = wizard.masks->visualItemRect(wizard.masks->item(argument.toInt()));
            QTest::mouseClick(wizard.masks->viewport(), Qt::LeftButton, {}, place.center());
            break;
        }
        default: QFAIL(qPrintable(step));
        }
    }
    QTEST(Rows(wizard.masks), "rows");
    QTEST(Selected(wizard.masks), "selected");
    QTEST(wizard.maskEdit->text(), "edit");
}

void TWizardTest::wildCardsWindowOpensAndCloses()
{
    TVarnokWizard& wizard = *m_wizard;
    QStringList shown;
    bool ownedByTheWizard = false;
    QTimer::singleShot(0, &wizard, [&] {
        auto* window = qobject_cast<TWildCards*>(QApplication::activeModalWidget());
        if (!window)
            return;
        ownedByTheWizard = window->parent() == &wizard;
        shown = window->helpText->toPlainText().split(QLatin1Char('\n'));
        QTest::mouseClick(window->OKButton, Qt::LeftButton);
    });
    QTest::mouseClick(wizard.WildCardWizard, Qt::LeftButton);
    QCOMPARE(shown, TWildCards::HelpLines());
    QVERIFY(ownedByTheWizard);
    QVERIFY(wizard.findChildren<TWildCards*>().isEmpty());  // destroyed when closed
}

void TWizardTest::defaultsOnAnEmptyStore()
{
    const TVarnokWizard& wizard = *m_wizard;
    QCOMPARE(wizard.RootDirectory->text(), QStringLiteral("/"));
    QCOMPARE(wizard.searchString->text(), QString());
    QCOMPARE(wizard.maskEdit->text(), QStringLiteral("*.*"));
    QCOMPARE(Rows(wizard.masks), QStringLiteral("*.*"));
    QCOMPARE(Selected(wizard.masks), 0);
    QVERIFY(wizard.recurseDirectories->isChecked());
    QVERIFY(!wizard.wildCards->isChecked());
    QVERIFY(!wizard.wholeWords->isChecked());
    QVERIFY(!wizard.binaryFiles->isChecked());
    QCOMPARE(wizard.Section(), std::string("Varnok\\Wizard"));
    QCOMPARE(wizard.Position(), int(TMyForm::PositionScreenCenter));
    QCOMPARE(wizard.size(), QSize(500, 320));
    QCOMPARE(wizard.minimumSize(), wizard.maximumSize());
}

void TWizardTest::valuesSurviveASaveAndLoad()
{
    TVarnokWizard& wizard = *m_wizard;
    wizard.RootDirectory->setText(QStringLiteral("/srv/data"));
    wizard.searchString->setText(QStringLiteral("needle \"quoted\""));
    wizard.recurseDirectories->setChecked(false);
    wizard.wildCards->setChecked(true);
    wizard.wholeWords->setChecked(true);
    wizard.binaryFiles->setChecked(true);
    wizard.InsertClick();
    wizard.maskEdit->setText(QStringLiteral("*.txt"));
    wizard.maskEditKeyUp();
    wizard.SaveToIniFile();

    TVarnokWizard again(nullptr, kDefaultStoreKey);
    again.LoadFromIniFile();
    QCOMPARE(again.RootDirectory->text(), QStringLiteral("/srv/data"));
    QCOMPARE(again.searchString->text(), QStringLiteral("needle \"quoted\""));
    QCOMPARE(again.maskEdit->text(), QStringLiteral("*.txt"));
    QCOMPARE(Rows(again.masks), QStringLiteral("*.*|*.txt"));
    QCOMPARE(Selected(again.masks), 1);
    QVERIFY(!again.recurseDirectories->isChecked());
    QVERIFY(again.wildCards->isChecked());
    QVERIFY(again.wholeWords->isChecked());
    QVERIFY(again.binaryFiles->isChecked());

    const TMyIniFile store(kDefaultStoreKey);
    QCOMPARE(store.ReadText("Varnok\\WizardListBox-1", "Item2", ""), std::string("*.txt"));
    QCOMPARE(store.ReadText("Varnok\\Wizard", "Edit-1", ""), std::string("/srv/data"));
}

void TWizardTest::storedListFallbacks_data()
{
    QTest::addColumn<int>("selectedRow");
    QTest::addColumn<int>("selected");
    QTest::newRow("stored row 0") << 0 << 0;
    QTest::newRow("stored -1 selects none") << -1 << -1;
    QTest::newRow("a row past the end selects none") << 7 << -1;
}

void TWizardTest::storedListFallbacks()
{
    QFETCH(int, selectedRow);
    TMyIniFile store(kDefaultStoreKey);
    store.WriteList("Varnok\\Wizard", "ListBox-1", {});
    store.WriteText("Varnok\\Wizard", "Edit-3", "*.md");
    store.WriteNumber("Varnok\\Wizard", "Misc-1", selectedRow);
    m_wizard->LoadFromIniFile();
    // An empty stored list comes back as one row taken from the mask box.
    QCOMPARE(Rows(m_wizard->masks), QStringLiteral("*.md"));
    QTEST(Selected(m_wizard->masks), "selected");
}

void TWizardTest::floodFill_data()
{
    QTest::addColumn<QStringList>("picture");
    QTest::addColumn<QPoint>("seed");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("frame filled, island kept")
        << QStringList{"MMMMMMMM", "MMMMMMMM", "MM....MM", "MM.MM.MM", "MM....MM", "MMMMMMMM"}
        << QPoint(1, 1)
        << QStringList{"FFFFFFFF", "FFFFFFFF", "FF....FF", "FF.MM.FF", "FF....FF", "FFFFFFFF"};
    QTest::newRow("diagonal neighbours are not connected")
        << QStringList{"MM.", "MM.", "..M"} << QPoint(1, 1)
        << QStringList{"FF.", "FF.", "..M"};
    QTest::newRow("a winding channel is followed both ways")
        << QStringList{"M.MMM", "M.M.M", "MMM.M", "....M", "MMMMM"} << QPoint(0, 0)
        << QStringList{"F.FFF", "F.F.F", "FFF.F", "....F", "FFFFF"};
    QTest::newRow("a seed off magenta changes nothing")
        << QStringList{"MMM", "M.M", "MMM"} << QPoint(1, 1)
        << QStringList{"MMM", "M.M", "MMM"};
    QTest::newRow("a seed outside the picture changes nothing")
        << QStringList{"MM", "MM"} << QPoint(1, 2) << QStringList{"MM", "MM"};
}

void TWizardTest::floodFill()
{
    QFETCH(QStringList, picture);
    QFETCH(QPoint, seed);
    QImage image = Picture(picture);
    TMyWizard::FloodFill(image, seed, kMagenta, kFill);
    QTEST(Drawn(image), "expected");
}

void TWizardTest::floodFillOfALargeMaze()
{
    // A serpentine path 1000 x 1000: a recursive fill would exhaust the stack.
    QImage image(1000, 1000, QImage::Format_RGB32);
    image.fill(kInk);
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, kMagenta);
        if (y + 1 < image.height())
            image.setPixel((y / 2) % 2 ? 0 : image.width() - 1, y + 1, kMagenta);
    }
    // Only exact magenta counts: a near-magenta pixel cuts the first row, so
    // its part before the cut is an island.
    image.setPixel(500, 0, qRgb(254, 0, 255));
    TMyWizard::FloodFill(image, QPoint(999, 0), kMagenta, kFill);
    QCOMPARE(image.pixel(0, 998) & RGB_MASK, kFill & RGB_MASK);
    QCOMPARE(image.pixel(0, 999) & RGB_MASK, kFill & RGB_MASK);
    QCOMPARE(image.pixel(501, 0) & RGB_MASK, kFill & RGB_MASK);
    QCOMPARE(image.pixel(500, 0) & RGB_MASK, qRgb(254, 0, 255) & RGB_MASK);
    QCOMPARE(image.pixel(499, 0) & RGB_MASK, kMagenta & RGB_MASK);
    QCOMPARE(image.pixel(500, 1) & RGB_MASK, kInk & RGB_MASK);
}

void TWizardTest::finishPictureTakesTheWindowColour()
{
    const QImage shown = m_wizard->ImageFlag->pixmap().toImage();
    QCOMPARE(shown.size(), QSize(200, 250));
    const QRgb window = m_wizard->palette().color(QPalette::Window).rgb() & RGB_MASK;
    QCOMPARE(shown.pixel(1, 1) & RGB_MASK, window);
    QCOMPARE(shown.pixel(199, 249) & RGB_MASK, window);
    QCOMPARE(m_wizard->ImageFlag->parentWidget(), m_wizard->Finish);
    QCOMPARE(m_wizard->ImageFlag->geometry(), QRect(16, 16, 200, 250));
}

void TWizardTest::finishingFromTheReportStartsNoRun()
{
    TScriptedPrompts prompts;
    prompts.ConfirmAnswers = {true};
    TVarnokReport report(nullptr, kDefaultStoreKey);
    TVarnokDialog& dialog = report.VarnokDialog();
    QVERIFY(qobject_cast<TVarnokWizard*>(report.Wizard));
    QVERIFY(!report.Wizard1->isEnabled());
    QVERIFY(!dialog.WizardButton->isEnabled());

    auto* wizard = static_cast<TVarnokWizard*>(report.Wizard);
    wizard->RootDirectory->setText(QStringLiteral("/srv"));
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
    QCOMPARE(after.Recurse, before.Recurse);
}

QTEST_MAIN(TWizardTest)
#include "tst_wizard.moc"

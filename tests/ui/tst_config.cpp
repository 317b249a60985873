// Named configurations: the two windows, what a typed name becomes in the
// store, and whole configurations saved, changed, loaded and started from.

#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

#include "UiTestHelpers.h"
#include "ScriptedPrompts.h"
#include "ULoadConfig.h"
#include "UMyIniFile.h"
#include "USaveConfig.h"
#include "UVarnokDialog.h"
#include "UVarnokReport.h"
#include "UVarnokWizard.h"

using namespace varnok;

namespace {

// Answers the next configuration window with `name` (typed into the Save
// window, picked in the Load window) and OK.
void AnswerWithName(QObject* context, const QString& name)
{
    QTimer::singleShot(0, context, [name] {
        if (auto* save = qobject_cast<TSaveConfig*>(QApplication::activeModalWidget())) {
            save->EditName->setText(name);
            save->OKButton->click();
        } else if (auto* load = qobject_cast<TLoadConfig*>(QApplication::activeModalWidget())) {
            load->ComboBoxNames->setCurrentIndex(load->ComboBoxNames->findText(name));
            load->OKButton->click();
        }
    });
}

TVarnokWizard& WizardOf(TVarnokReport& report)
{
    return *static_cast<TVarnokWizard*>(report.Wizard);
}

}  // namespace

class TConfigTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowsWithNothingStored();
    void windowsOpen_data();
    void windowsOpen();
    void typedNames_data();
    void typedNames();
    void savedUnderATypedName_data();
    void savedUnderATypedName();
    void weeklySavedChangedAndLoadedBack();
    void startWithTheArgumentWeekly();
    void loadingAConfigurationLackingTheWizardsValues();

private:
    std::unique_ptr<TTempStore> m_store;
    std::unique_ptr<TScriptedPrompts> m_prompts;
};

void TConfigTest::init()
{
    m_store = std::make_unique<TTempStore>();
    QVERIFY(m_store->IsValid());
    m_prompts = std::make_unique<TScriptedPrompts>();
}

void TConfigTest::cleanup()
{
    QVERIFY2(m_prompts->Asked.isEmpty(), qPrintable(m_prompts->Asked.join(QLatin1Char('\n'))));
    m_prompts.reset();
    m_store.reset();
}

void TConfigTest::windowsWithNothingStored()
{
    const TSaveConfig save(nullptr);
    QCOMPARE(save.ListBoxNames->count(), 0);
    const passwd* user = getpwuid(geteuid());
    QVERIFY(user);
    QCOMPARE(save.EditName->text(), QString::fromLocal8Bit(user->pw_name));

    const TLoadConfig load(nullptr);
    QCOMPARE(load.ComboBoxNames->count(), 0);
    QCOMPARE(load.ComboBoxNames->currentIndex(), -1);
    QVERIFY(!load.ComboBoxNames->isEditable());
    QCOMPARE(load.ConfigurationName(), QString());
}

// The Save window opens on the name, ready to type over it; the Load
// window's OK loads nothing while there is no name to pick.
void TConfigTest::windowsOpen_data()
{
    QTest::addColumn<QString>("stored");  // a configuration stored beforehand, if any
    QTest::newRow("nothing stored") << QString();
    QTest::newRow("one stored") << QStringLiteral("Weekly");
}

void TConfigTest::windowsOpen()
{
    QFETCH(QString, stored);
    if (!stored.isEmpty())
        TMyIniFile(ConfigurationStoreKey(stored.toStdString())).WriteFlag("Varnok\\Dialog", "CheckBox-2", false);
    TVarnokReport report(nullptr, kDefaultStoreKey);
    report.VarnokDialog().spanLines->setChecked(true);

    bool onTheName = false;
    AnswerModal(this, [&](QDialog* window) {
        auto* save = qobject_cast<TSaveConfig*>(window);
        onTheName = save->focusWidget() == save->EditName
                    && save->EditName->selectedText() == save->EditName->text();
        save->reject();
    });
    report.SaveConfiguration1->trigger();
    QVERIFY(onTheName);

    bool okEnabled = false;
    AnswerModal(this, [&](QDialog* window) {
        auto* load = qobject_cast<TLoadConfig*>(window);
        okEnabled = load->OKButton->isEnabled();
        QTest::keyClick(load, Qt::Key_Return);
        load->OKButton->click();
        if (load->isVisible())
            load->reject();
    });
    report.LoadConfiguration1->trigger();

    QCOMPARE(okEnabled, !stored.isEmpty());
    QCOMPARE(report.IniFile().StoreKey(),
             stored.isEmpty() ? std::string(kDefaultStoreKey) : ConfigurationStoreKey(stored.toStdString()));
    QCOMPARE(report.VarnokDialog().spanLines->isChecked(), stored.isEmpty());
}

void TConfigTest::typedNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("blanks and case kept") << " My Jobs " << " My Jobs ";
    QTest::newRow("backslash path") << "C:\\Jobs\\Weekly" << "Weekly";
    QTest::newRow("climbing out") << "../../outside" << "outside";
    QTest::newRow("dots alone are a name") << ".." << "..";
    QTest::newRow("ends in a separator") << "C:\\Jobs\\" << "";
    QTest::newRow("control characters dropped") << "Wee\tkly\x7f" << "Weekly";
    QTest::newRow("255 characters kept")
        << QString(300, QLatin1Char('x')) << QString(255, QLatin1Char('x'));
    QTest::newRow("a character beyond 16 bits counts once")
        << QString(254, QLatin1Char('x')) + QStringLiteral("😀y") << QString(254, QLatin1Char('x')) + QStringLiteral("😀");
}

void TConfigTest::typedNames()
{
    QFETCH(QString, typed);
    QTEST(StoredConfigurationName(typed), "stored");
    // The same text names the same configuration on the command line.
    const QString stored = StoredConfigurationName(typed);
    if (!typed.isEmpty() && !typed.contains(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")))
        && typed.size() <= 255) {
        QCOMPARE(StartupStoreKey({typed.toStdString()}), ConfigurationStoreKey(stored.toStdString()));
    }
}

void TConfigTest::savedUnderATypedName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("climbing out") << "..\\..\\..\\outside" << "outside";
    QTest::newRow("empty") << "" << "";
}

void TConfigTest::savedUnderATypedName()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    const std::string storedKey = ConfigurationStoreKey(stored.toStdString());
    {
        TVarnokReport report(nullptr, kDefaultStoreKey);
        WizardOf(report).searchString->setText(QStringLiteral("needle"));
        AnswerWithName(this, typed);
        report.SaveConfiguration1->trigger();
        QCOMPARE(report.IniFile().StoreKey(), storedKey);
        report.FormDestroy();
    }

    // The name is one key below the configurations, listed as it is stored,
    // and nothing but the store and the shared text blocks was written.
    QCOMPARE(ListConfigurationNames(), std::vector<std::string>{stored.toStdString()});
    QStringList files;
    for (QDirIterator it(m_store->Path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next().mid(m_store->Path().size());
    files.sort();
    QCOMPARE(files, (QStringList{QStringLiteral("/Tavrin Software/Quillets.reg"),
                                 QStringLiteral("/Tavrin Software/Quillets.reg.lock"),
                                 QStringLiteral("/Tavrin Software/Quillets/Varnok/Dialog/2.txt"),
                                 QStringLiteral("/Tavrin Software/Quillets/Varnok/Report/1.txt")}));
    QVERIFY(!StoreKeyExists(std::string(kDefaultStoreKey) + "\\Varnok"));
}

void TConfigTest::weeklySavedChangedAndLoadedBack()
{
    TVarnokReport report(nullptr, kDefaultStoreKey);
    TVarnokDialog& dialog = report.VarnokDialog();
    TVarnokWizard& wizard = WizardOf(report);
    wizard.RootDirectory->setText(QStringLiteral("/srv/weekly"));
    wizard.wholeWords->setChecked(true);
    dialog.spanLines->setChecked(true);
    dialog.changes->setPlainText(QStringLiteral("at the Weekly save"));
    report.resultField->setPlainText(QStringLiteral("report at the Weekly save"));
    AnswerWithName(this, QStringLiteral("Weekly"));
    report.SaveConfiguration1->trigger();

    // Changed, then saved under another name: the text blocks are shared.
    wizard.RootDirectory->setText(QStringLiteral("/srv/other"));
    wizard.wholeWords->setChecked(false);
    dialog.spanLines->setChecked(false);
    dialog.changes->setPlainText(QStringLiteral("at the Other save"));
    report.resultField->setPlainText(QStringLiteral("report at the Other save"));
    AnswerWithName(this, QStringLiteral("Other"));
    report.SaveConfiguration1->trigger();
    dialog.changes->setPlainText(QStringLiteral("never saved"));

    AnswerWithName(this, QStringLiteral("Weekly"));
    report.LoadConfiguration1->trigger();
    QCOMPARE(wizard.RootDirectory->text(), QStringLiteral("/srv/weekly"));
    QVERIFY(wizard.wholeWords->isChecked());
    QVERIFY(dialog.spanLines->isChecked());
    QCOMPARE(dialog.changes->toPlainText(), QStringLiteral("at the Other save"));
    QCOMPARE(report.resultField->toPlainText(), QStringLiteral("report at the Other save"));
    QCOMPARE(report.IniFile().StoreKey(), ConfigurationStoreKey("Weekly"));
}

void TConfigTest::startWithTheArgumentWeekly()
{
    {
        // A run with the default store current ends with "/default".
        TVarnokReport report(nullptr, StartupStoreKey({}));
        WizardOf(report).RootDirectory->setText(QStringLiteral("/default"));
        report.FormDestroy();
    }
    {
        TVarnokReport report(nullptr, StartupStoreKey({}));
        WizardOf(report).RootDirectory->setText(QStringLiteral("/at the Weekly save"));
        AnswerWithName(this, QStringLiteral("Weekly"));
        report.SaveConfiguration1->trigger();
        WizardOf(report).RootDirectory->setText(QStringLiteral("/at exit"));
        report.FormDestroy();
    }
    TVarnokReport plain(nullptr, StartupStoreKey({}));
    QCOMPARE(WizardOf(plain).RootDirectory->text(), QStringLiteral("/default"));
    TVarnokReport weekly(nullptr, StartupStoreKey({"Weekly"}));
    QCOMPARE(WizardOf(weekly).RootDirectory->text(), QStringLiteral("/at exit"));
    TVarnokReport byPath(nullptr, StartupStoreKey({"/home/me/Weekly"}));
    QCOMPARE(WizardOf(byPath).RootDirectory->text(), QStringLiteral("/at exit"));
}

void TConfigTest::loadingAConfigurationLackingTheWizardsValues()
{
    TMyIniFile partial(ConfigurationStoreKey("Partial"));
    partial.WriteFlag("Varnok\\Dialog", "CheckBox-2", true);

    TVarnokReport report(nullptr, kDefaultStoreKey);
    TVarnokWizard& wizard = WizardOf(report);
    wizard.RootDirectory->setText(QStringLiteral("/before"));
    wizard.searchString->setText(QStringLiteral("before"));
    wizard.recurseDirectories->setChecked(false);
    wizard.binaryFiles->setChecked(true);
    wizard.InsertClick();
    AnswerWithName(this, QStringLiteral("Partial"));
    report.LoadConfiguration1->trigger();

    QVERIFY(report.VarnokDialog().spanLines->isChecked());
    QCOMPARE(wizard.RootDirectory->text(), QStringLiteral("/"));
    QCOMPARE(wizard.searchString->text(), QString());
    QVERIFY(wizard.recurseDirectories->isChecked());
    QVERIFY(!wizard.binaryFiles->isChecked());
    QCOMPARE(Texts(wizard.masks), QStringList{QStringLiteral("*.*")});
}

QTEST_MAIN(TConfigTest)
#include "tst_config.moc"

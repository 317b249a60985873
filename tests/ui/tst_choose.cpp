// The folder chooser: drives from the mount table, whole rows, and which
// folder it hands back.

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "UChooseDirectory.h"

using namespace varnok;

class TChooseDirectoryTest : public QObject {
    Q_OBJECT

private slots:
    void mountedVolumes();
    void resizeKeepsWholeRows();
    void chosenDirectory();
};

void TChooseDirectoryTest::mountedVolumes()
{
    const QByteArray table =
        "proc /proc proc rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n"
        "sysfs /sys sysfs rw 0 0\n"
        "tmpfs /run/user/1000 tmpfs rw 0 0\n"
        "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n"
        "/dev/sda1 / ext4 rw 0 0\n"
        "server:/export /mnt/net nfs4 rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n"
        "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
        "/dev/sdc1 /dev/odd ext4 rw 0 0\n";
    QCOMPARE(TChooseDirectory::MountedVolumes(table),
             (QStringList{"/", "/home", "/media/usb stick", "/mnt/net"}));
    QCOMPARE(TChooseDirectory::MountedVolumes(QByteArray()), QStringList{"/"});

    // A folder's drive is the deepest mount that holds it, at a whole name.
    const QStringList drives = {"/", "/home", "/home/ann/usb"};
    QCOMPARE(TChooseDirectory::DriveOf("/home/ann/usb/x", drives), QStringLiteral("/home/ann/usb"));
    QCOMPARE(TChooseDirectory::DriveOf("/home", drives), QStringLiteral("/home"));
    QCOMPARE(TChooseDirectory::DriveOf("/homework", drives), QStringLiteral("/"));
}

void TChooseDirectoryTest::resizeKeepsWholeRows()
{
    // The designed window asks for 240 pixels and gets 14 rows in a 2-pixel frame.
    QCOMPARE(TChooseDirectory::WholeRowsHeight(240, 2), 228);
    QCOMPARE(TChooseDirectory::WholeRowsHeight(10, 2), 4);
    TChooseDirectory chooser(nullptr);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    QCOMPARE(chooser.frameGeometry().size(), QSize(299, 350));
    const int width = chooser.DirectoryListBox1->width();
    const QRect ok = chooser.OK->geometry();
    for (int height : {350, 450, 451, 463, 300}) {
        chooser.resize(299, height);
        QTRY_COMPARE(chooser.height(), height);
        const int list = chooser.DirectoryListBox1->height();
        const int frame = chooser.DirectoryListBox1->frameWidth();
        QCOMPARE((list - 2 * frame) % TChooseDirectory::RowHeight, 0);
        const int outer = chooser.frameGeometry().height();
        QVERIFY(list <= outer - 110);
        QVERIFY(list > outer - 110 - TChooseDirectory::RowHeight);
        QCOMPARE(chooser.Bevel1->height(), list);
        QCOMPARE(chooser.DirectoryListBox1->width(), width);
        QCOMPARE(chooser.OK->geometry(), ok);
    }
}

void TChooseDirectoryTest::chosenDirectory()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("a/b")));
    const QString a = root.path() + QStringLiteral("/a");
    TChooseDirectory chooser(nullptr);
    chooser.OpenFolder(a + QStringLiteral("/b/"));
    QCOMPARE(chooser.ChosenDirectory(), a + QStringLiteral("/b"));

    // A folder that went away gives way to its nearest existing parent.
    chooser.OpenFolder(a + QStringLiteral("/gone/deeper"));
    QCOMPARE(chooser.ChosenDirectory(), a);

    // A highlighted sub-folder is not the chosen one: Enter hands back the open folder.
    QListWidget* list = chooser.DirectoryListBox1;
    QTimer::singleShot(0, &chooser, [&] {
        QListWidgetItem* sub = list->item(list->count() - 1);
        QCOMPARE(sub->text(), QStringLiteral("b"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(sub).center());
        QCOMPARE(list->currentItem(), sub);
        QTest::keyClick(list, Qt::Key_Return);
    });
    QCOMPARE(chooser.exec(), 1);
    QCOMPARE(chooser.ChosenDirectory(), a);
    QCOMPARE(chooser.Path->text(), TChooseDirectory::ShortenedPath(a, chooser.DriveComboBox1->currentText(),
                                                                   chooser.Path->fontMetrics(), list->width()));

    // Double-clicking the first entry opens the drive's root.
    emit list->itemDoubleClicked(list->item(0));
    QCOMPARE(chooser.ChosenDirectory(), chooser.DriveComboBox1->currentText());
}

QTEST_MAIN(TChooseDirectoryTest)
#include "tst_choose.moc"

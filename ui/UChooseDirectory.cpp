#include "UChooseDirectory.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QSet>
#include <QStyle>

#include <algorithm>

#include "UAbout.h"

namespace varnok {

namespace {

constexpr int kListTop = 72;
constexpr int kListWidth = 177;
constexpr int kListBelowWindow = 110;  // window height minus the list height asked for
constexpr int kIndent = 10;            // pixels per folder level
constexpr QSize kDesignedSize(299, 350);

// File systems that hold no user files, and the trees where only the system's
// own plumbing is mounted.
bool IsPseudoVolume(const QByteArray& type, const QString& mountPoint)
{
    static const QSet<QByteArray> pseudoTypes = {
        "autofs", "binfmt_misc", "bpf", "cgroup", "cgroup2", "configfs", "debugfs",
        "devpts", "devtmpfs", "efivarfs", "fusectl", "hugetlbfs", "mqueue", "nsfs",
        "proc", "pstore", "ramfs", "rpc_pipefs", "securityfs", "selinuxfs", "squashfs",
        "sysfs", "tmpfs", "tracefs", "overlay"};
    if (pseudoTypes.contains(type)) {
        return true;
    }
    for (const char* system : {"/proc", "/sys", "/dev", "/run"}) {
        const QString root = QString::fromLatin1(system);
        if (mountPoint == root || mountPoint.startsWith(root + QLatin1Char('/'))) {
            return true;
        }
    }
    return false;
}

// Mount points escape blanks, tabs, newlines and backslashes as three octal digits.
QString UnescapeMountPoint(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromUtf8(out);
}

bool Holds(const QString& ancestor, const QString& folder)
{
    if (ancestor == QLatin1String("/")) {
        return folder.startsWith(QLatin1Char('/'));
    }
    return folder == ancestor || folder.startsWith(ancestor + QLatin1Char('/'));
}

}  // namespace

TChooseDirectory::TChooseDirectory(QWidget* owner)
    : QDialog(owner)
    , Path(new QLabel(this))
    , Bevel1(new QFrame(this))
    , DriveComboBox1(new QComboBox(this))
    , DirectoryListBox1(new QListWidget(this))
    , OK(new QPushButton(QStringLiteral("&OK"), this))
    , Cancel(new QPushButton(QStringLiteral("&Cancel"), this))
{
    setObjectName(QStringLiteral("ChooseDirectory"));
    setWindowTitle(QStringLiteral("Select a Directory"));
    setWindowIcon(MainIcon());
    QFont font = DesignFont(QStringLiteral("MS Sans Serif"), 11);
    font.setBold(true);
    setFont(font);

    Path->setObjectName(QStringLiteral("Path"));
    Path->move(8, 8);

    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 40, 153, 241);
    Bevel1->lower();

    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DriveComboBox1->setGeometry(8, 40, kListWidth, 19);

    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setToolTip(QStringLiteral("Choose a directory and press OK"));
    DirectoryListBox1->setGeometry(8, kListTop, kListWidth, 228);
    DirectoryListBox1->setUniformItemSizes(true);
    DirectoryListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DirectoryListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Wide enough for the deepest indentation; each row's picture keeps its own width.
    DirectoryListBox1->setIconSize(QSize(kListWidth, RowHeight));

    OK->setObjectName(QStringLiteral("OK"));
    OK->setGeometry(200, 40, 75, 25);
    OK->setDefault(true);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setGeometry(200, 72, 75, 25);

    connect(OK, &QPushButton::clicked, this, [this] { done(1); });
    connect(Cancel, &QPushButton::clicked, this, [this] { done(2); });
    connect(DriveComboBox1, &QComboBox::currentIndexChanged, this,
            &TChooseDirectory::DriveComboBox1Change);
    connect(DirectoryListBox1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { OpenFolder(item->data(Qt::UserRole).toString()); });

    setTabOrder(DriveComboBox1, DirectoryListBox1);
    setTabOrder(DirectoryListBox1, OK);
    setTabOrder(OK, Cancel);

    resize(kDesignedSize);
    FormResize();

    QFile mounts(QStringLiteral("/proc/self/mounts"));
    m_folder = QDir::currentPath();
    SetDrives(MountedVolumes(mounts.open(QIODevice::ReadOnly) ? mounts.readAll() : QByteArray()));
}

void TChooseDirectory::SetDrives(const QStringList& drives)
{
    m_drives = drives;
    m_drive = DriveOf(m_folder, m_drives);
    {
        const QSignalBlocker blocker(DriveComboBox1);
        DriveComboBox1->clear();
        DriveComboBox1->addItems(m_drives);
        DriveComboBox1->setCurrentIndex(std::max(0, static_cast<int>(m_drives.indexOf(m_drive))));
    }
    OpenFolder(m_folder);
}

QStringList TChooseDirectory::MountedVolumes(const QByteArray& mountsTable)
{
    QStringList others;
    for (const QByteArray& line : mountsTable.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3) {
            continue;
        }
        const QString mountPoint = UnescapeMountPoint(fields[1]);
        if (mountPoint.startsWith(QLatin1Char('/')) && mountPoint != QLatin1String("/")
            && !IsPseudoVolume(fields[2], mountPoint) && !others.contains(mountPoint)) {
            others.append(mountPoint);
        }
    }
    std::sort(others.begin(), others.end());
    others.prepend(QStringLiteral("/"));
    return others;
}

QString TChooseDirectory::DriveOf(const QString& folder, const QStringList& drives)
{
    QString best = QStringLiteral("/");
    for (const QString& drive : drives) {
        if (Holds(drive, folder) && drive.size() > best.size()) {
            best = drive;
        }
    }
    return best;
}

QString TChooseDirectory::ShortenedPath(const QString& path, const QString& drive,
                                        const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width || !Holds(drive, path) || path == drive) {
        return path;
    }
    const QString head = drive == QLatin1String("/") ? drive : drive + QLatin1Char('/');
    QStringList names = path.mid(head.size()).split(QLatin1Char('/'));
    QString shortened = path;
    while (names.size() > 1 && metrics.horizontalAdvance(shortened) > width) {
        names.removeFirst();
        shortened = head + QStringLiteral("...") + QLatin1Char('/') + names.join(QLatin1Char('/'));
    }
    return shortened;
}

int TChooseDirectory::WholeRowsHeight(int wanted, int frameWidth)
{
    const int rows = std::max(0, (wanted - 2 * frameWidth) / RowHeight);
    return rows * RowHeight + 2 * frameWidth;
}

void TChooseDirectory::OpenFolder(const QString& folder)
{
    QString existing = QDir::cleanPath(folder);
    while (!QFileInfo(existing).isDir() && existing != QLatin1String("/")) {
        existing = QFileInfo(existing).path();
    }
    if (!Holds(m_drive, existing)) {
        existing = m_drive;
    }
    m_folder = existing;
    FillFolderList();
    ShowPath();
}

void TChooseDirectory::DriveComboBox1Change()
{
    const QString drive = DriveComboBox1->currentText();
    if (drive.isEmpty() || drive == m_drive) {
        return;
    }
    m_driveFolders.insert(m_drive, m_folder);
    m_drive = drive;
    OpenFolder(m_driveFolders.value(drive, drive));
}

void TChooseDirectory::FormResize()
{
    const int wanted = frameGeometry().height() - kListBelowWindow;
    const int height = WholeRowsHeight(wanted, DirectoryListBox1->frameWidth());
    DirectoryListBox1->resize(DirectoryListBox1->width(), height);
    Bevel1->resize(Bevel1->width(), height);
}

void TChooseDirectory::reject()
{
    done(2);
}

void TChooseDirectory::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TChooseDirectory::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        // The designed size is the outer one; the frame is known from now on.
        m_shown = true;
        const QSize frame = frameGeometry().size() - size();
        resize(kDesignedSize - frame);
    }
    // Folders may have come or gone since the last showing.
    OpenFolder(m_folder);
    DirectoryListBox1->setFocus();
}

void TChooseDirectory::FillFolderList()
{
    DirectoryListBox1->clear();
    AddFolderRow(m_drive, m_drive, FolderPicture(0, true));
    const QString head = m_drive == QLatin1String("/") ? m_drive : m_drive + QLatin1Char('/');
    int level = 0;
    QString path = m_drive;
    if (m_folder != m_drive) {
        for (const QString& name : m_folder.mid(head.size()).split(QLatin1Char('/'))) {
            path = path == QLatin1String("/") ? path + name : path + QLatin1Char('/') + name;
            AddFolderRow(path, name, FolderPicture(++level, true));
        }
    }
    DirectoryListBox1->setCurrentRow(DirectoryListBox1->count() - 1);

    const QDir open(m_folder);
    const QString prefix = m_folder == QLatin1String("/") ? m_folder : m_folder + QLatin1Char('/');
    // The folders inside all share one picture.
    const QPixmap closed = FolderPicture(level + 1, false);
    for (const QString& name : open.entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                              QDir::Name | QDir::IgnoreCase)) {
        AddFolderRow(prefix + name, name, closed);
    }
}

QPixmap TChooseDirectory::FolderPicture(int level, bool open) const
{
    // The indentation is drawn into the row's picture, so the name follows it.
    const QIcon folder = style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirIcon);
    QPixmap picture(level * kIndent + RowHeight, RowHeight);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    folder.paint(&painter, level * kIndent, 0, RowHeight, RowHeight);
    painter.end();
    return picture;
}

void TChooseDirectory::AddFolderRow(const QString& path, const QString& text, const QPixmap& picture)
{
    auto* item = new QListWidgetItem(QIcon(picture), text, DirectoryListBox1);
    item->setData(Qt::UserRole, path);
    item->setSizeHint(QSize(picture.width() + fontMetrics().horizontalAdvance(text) + 8, RowHeight));
}

void TChooseDirectory::ShowPath()
{
    const int width = DirectoryListBox1->width();
    Path->setText(ShortenedPath(m_folder, m_drive, Path->fontMetrics(), width));
    Path->adjustSize();
}

}  // namespace varnok

#pragma once
// The folder chooser: a drive list (the mounted volumes, "/" first) and a
// folder list. What it hands back is the folder that is open in the list, not
// a merely highlighted entry. It keeps its state between showings.

#include <QDialog>
#include <QHash>
#include <QString>
#include <QStringList>

class QComboBox;
class QFontMetrics;
class QFrame;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPixmap;
class QPushButton;

namespace varnok {

class TChooseDirectory : public QDialog {
    Q_OBJECT
public:
    static constexpr int RowHeight = 16;

    explicit TChooseDirectory(QWidget* owner);

    // The open folder as a full path, without a trailing "/" except at "/".
    QString ChosenDirectory() const { return m_folder; }

    // Makes `folder` the open folder, as a double-click on it does. A folder
    // that no longer exists gives way to its nearest existing parent.
    void OpenFolder(const QString& folder);
    // The drives the drive list offers; the folder list moves to the drive of
    // its folder.
    void SetDrives(const QStringList& drives);

    // The drives: the mount points of `mountsTable` (in the format of
    // /proc/self/mounts) that hold files, "/" first and the others sorted.
    static QStringList MountedVolumes(const QByteArray& mountsTable);
    // The drive of `folder`: the deepest of `drives` that holds it.
    static QString DriveOf(const QString& folder, const QStringList& drives);
    // `path` fitted into `width` pixels: folder names after the drive give way
    // to "..." from the left, the last name stays.
    static QString ShortenedPath(const QString& path, const QString& drive,
                                 const QFontMetrics& metrics, int width);
    // The tallest list height, not above `wanted`, that shows whole rows
    // inside a frame of `frameWidth` pixels on each side.
    static int WholeRowsHeight(int wanted, int frameWidth);

    QLabel* Path;
    QFrame* Bevel1;
    QComboBox* DriveComboBox1;
    QListWidget* DirectoryListBox1;
    QPushButton* OK;
    QPushButton* Cancel;

    void DriveComboBox1Change();
    void FormResize();

public slots:
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FillFolderList();
    QPixmap FolderPicture(int level, bool open) const;
    void AddFolderRow(const QString& path, const QString& text, const QPixmap& picture);
    void ShowPath();

    QStringList m_drives;
    QString m_drive;
    QString m_folder;
    QHash<QString, QString> m_driveFolders;  // the folder last open on each drive
    bool m_shown = false;
};

}  // namespace varnok

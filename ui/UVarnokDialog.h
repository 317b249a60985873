#pragma once
// The settings dialog: folders, masks and exclusions, the change list and the
// options, on five pages. The report window owns one, shows it modally and
// runs the job from its controls when it closes with OK.

#include <string>
#include <vector>

#include "UMyDialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;

namespace varnok {

class TChooseDirectory;
class THistoryBox;
struct TJobSettings;

class TVarnokDialog : public TMyDialog {
    Q_OBJECT
public:
    TVarnokDialog(QWidget* owner, const std::string& storeKey);

    void LoadLocalFromIniFile() override;
    void SaveLocalToIniFile() override;

    // What a run takes from the dialog: the lists as they stand, the flags,
    // and the change text split at its line breaks (display wrapping plays no
    // part; a final line break starts no further line).
    TJobSettings JobSettings() const;

    // As the preview's dialog: captioned "Preview", its OK "Pre&view"; else
    // as the designed one.
    void SetPreviewMode(bool preview);
    // Shows line (1 for the first) of the change list selected, on its page.
    void SelectChangeLine(int line);

    // The folder chooser behind the "..." button; the same object at every use.
    TChooseDirectory* Chooser() const { return m_chooser; }

    QTabWidget* notebook;
    QWidget* FoldersTab;
    QWidget* masksTab;
    QWidget* VarnokTab;
    QWidget* changesTab;
    QWidget* optionsTab;

    THistoryBox* pathEdit;
    QPushButton* BrowseButton;
    QListWidget* paths;
    QPushButton* InsertDirectoryButton;
    QPushButton* DeleteDirectoryButton;
    QCheckBox* recurseDirectories;

    QLineEdit* maskEdit;
    QPushButton* InsertMaskButton;
    QPushButton* DeleteMaskButton;
    QListWidget* masks;
    // Beside the masks, ours: the masks of what a run leaves out, and the two
    // options that also decide which files it edits.
    QLabel* exclusionLabel;
    QLineEdit* exclusionEdit;
    QListWidget* exclusions;
    QPushButton* InsertExclusionButton;
    QPushButton* DeleteExclusionButton;
    QCheckBox* gitIgnore;
    QCheckBox* editBinary;

    QCheckBox* spanLines;

    QPlainTextEdit* changes;
    QPushButton* LoadButton;
    QPushButton* SaveButton;

    QCheckBox* startWithDialog;
    QCheckBox* clearReport;
    // Options of our own below the designed two: the run's CaseSensitive and
    // WholeWords.
    QCheckBox* matchCase;
    QCheckBox* wholeWords;
    // The replacement in the case of what it replaces, every spelling of an
    // identifier at once (KeepCase.h).
    QCheckBox* keepCase;
    // The change list applied to file and folder names too.
    QCheckBox* renameNames;

    QPushButton* OKButton;
    QPushButton* WizardButton;
    QPushButton* helpButton;
    QPushButton* CancelButton;

    // Handlers, named after their control and event.
    void pathEditChange();
    void BrowseButtonClick();
    void pathsMouseUp();
    void InsertDirectoryButtonClick();
    void DeleteDirectoryButtonClick();
    void maskEditKeyUp();
    void InsertMaskButtonClick();
    void DeleteMaskButtonClick();
    void masksMouseUp();
    void exclusionEditKeyUp();
    void InsertExclusionButtonClick();
    void DeleteExclusionButtonClick();
    void exclusionsMouseUp();
    void LoadButtonClick();
    void SaveButtonClick();
    void helpButtonClick();
    // The change-list check before the dialog closes: a list it refuses, or
    // findings the user would not run with, keep it open.
    void OKButtonClick();

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The check box of each of kJobFlags, found by its name.
    QCheckBox* FlagBox(const char* controlName) const;

    TChooseDirectory* m_chooser;
    bool m_changeListChecked = false;  // since it was last shown
};

// The change-list check's findings, all in one box: true to run all the same.
bool AskRunDespite(QWidget* parent, const std::vector<std::string>& findings);

}  // namespace varnok

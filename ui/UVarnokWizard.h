#pragma once
// The product's wizard: six pages (welcome, starting folder, file masks, file
// types, search string, finish) whose values are kept and saved with the
// other windows' but reach no run.

#include "UMyWizard.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace varnok {

class TChooseDirectory;

class TVarnokWizard : public TMyWizard {
    Q_OBJECT
public:
    TVarnokWizard(QWidget* owner, const std::string& storeKey);

    void LoadLocalFromIniFile() override;
    void SaveLocalToIniFile() override;

    // The folder chooser behind "Browse..."; the same object at every use.
    TChooseDirectory* Chooser() const { return m_chooser; }

    QWidget* Welcome;
    QWidget* Directory;
    QWidget* Masks;
    QWidget* FileType;
    QWidget* SearchString;
    QWidget* Finish;

    QLineEdit* RootDirectory;
    QPushButton* BtnBrowse;
    QCheckBox* recurseDirectories;

    QLineEdit* maskEdit;
    QListWidget* masks;
    QPushButton* Insert;
    QPushButton* Delete;

    QCheckBox* binaryFiles;

    QLineEdit* searchString;
    QCheckBox* wildCards;
    QCheckBox* wholeWords;
    QPushButton* WildCardWizard;

    // Handlers, named after their control and event.
    void BtnBrowseClick();
    void maskEditKeyUp();
    void masksMouseUp();
    void InsertClick();
    void DeleteClick();
    void WildCardWizardClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* AddPage(const char* name, const QString& title);

    TChooseDirectory* m_chooser;
};

}  // namespace varnok

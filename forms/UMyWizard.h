#pragma once
// A step-by-step window base with saved state; its section is the product
// sub-key + "\Wizard". It shows one page of `notebook` at a time, from
// FirstPage to LastPage, above a strip with "< &Back", "&Next >" and
// "&Cancel". On the last page "&Next >" reads "&Finish" and closes the window
// with ResultOK; Cancel, Esc and the close box close it with ResultCancel.
// Enter presses Next (Finish) on every page, also while Back has the focus.
// Every showing starts on FirstPage.
//
// A derived window adds its pages to `notebook` and places `ImageFlag`, which
// holds the picture given at construction with its magenta background turned
// into the window's colour.

#include "UMyForm.h"

#include <QImage>
#include <QRgb>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace varnok {

class TMyWizard : public TMyForm {
    Q_OBJECT
public:
    TMyWizard(QWidget* owner, const std::string& storeKey, const std::string& productSubKey,
              int lastPage, const QImage& flagPicture = QImage());

    const int FirstPage = 0;
    const int LastPage;

    QStackedWidget* notebook;
    QPushButton* BtnBack;
    QPushButton* BtnNext;
    QPushButton* BtnCancel;
    QLabel* ImageFlag;

    // Back shows off the first page; Next is the default button on every
    // page, and on the last page it reads "&Finish" and closes with ResultOK.
    void UpdateButtons();
    void BtnNextClick();
    void BtnBackClick();

    // What pressing Next closes the window with: ResultOK on the last page, 0
    // (stay open) elsewhere.
    int NextResult() const { return m_nextResult; }

    // Colours the area of exactly `from` (alpha aside) that is 4-connected to
    // `seed` with `to`. Nothing happens when the seed lies outside the image
    // or has another colour. Iterative, linear in the area.
    static void FloodFill(QImage& image, QPoint seed, QRgb from, QRgb to);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const QString m_caption;
    int m_nextResult = 0;
};

}  // namespace varnok

#pragma once
// A one-line label that never asks for more width than it is given: a text
// too wide for it is shortened in the middle, and the whole text is its tool
// tip. The text is plain, never read as markup (file names hold any "<").

#include <QLabel>

namespace varnok {

class TElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    void SetFullText(const QString& text);
    const QString& FullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();

    QString m_fullText;
};

}  // namespace varnok

#pragma once
// THistoryBox: an editable drop-down that remembers what was entered in it,
// most recent first, over the history model THistory. Only AddToHistory and
// LoadHistory change its list; what the user types never inserts an entry.

#include <QComboBox>
#include <QString>

#include <string>

#include "History.h"

namespace varnok {

class TMyIniFile;

class THistoryBox : public QComboBox {
    Q_OBJECT
public:
    explicit THistoryBox(QWidget* parent = nullptr);

    // The most entries saved and restored; the list itself is unbounded.
    int Size() const { return m_history.Size; }
    void SetSize(int size) { m_history.Size = size; }

    // Moves the box's text to the top of its list (an entry equal to it without
    // regard to case goes) and gives the box's text.
    QString AddToHistory();

    void LoadHistory(const TMyIniFile& store, const std::string& section, int number);
    void SaveHistory(TMyIniFile& store, const std::string& section, int number);

private:
    void TakeText();
    void ShowHistory();

    THistory m_history;
};

}  // namespace varnok

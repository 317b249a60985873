#include "MyComps.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace varnok {

THistoryBox::THistoryBox(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Completion would put text into the box that the user did not type.
    setCompleter(nullptr);
}

QString THistoryBox::AddToHistory()
{
    lineEdit()->deselect();
    TakeText();
    m_history.AddToHistory();
    ShowHistory();
    return currentText();
}

void THistoryBox::LoadHistory(const TMyIniFile& store, const std::string& section, int number)
{
    TakeText();
    m_history.LoadHistory(store, section, number);
    ShowHistory();
}

void THistoryBox::SaveHistory(TMyIniFile& store, const std::string& section, int number)
{
    TakeText();
    m_history.SaveHistory(store, section, number);
}

void THistoryBox::TakeText()
{
    m_history.Text = currentText().toStdString();
}

void THistoryBox::ShowHistory()
{
    // Refilling the list is no edit of the box: no signal, and the text stays.
    const QSignalBlocker blocker(this);
    clear();
    for (const std::string& entry : m_history.Entries) {
        addItem(QString::fromStdString(entry));
    }
    // No entry is current: the text is the box's own, and a step down the
    // list starts at its first entry.
    setCurrentIndex(-1);
    setEditText(QString::fromStdString(m_history.Text));
}

}  // namespace varnok

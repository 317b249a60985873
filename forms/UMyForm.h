#pragma once
// A top-level window that remembers its placement and its own values in the
// settings store. Each window owns its store object, opened at the store key
// it was given, and a fixed section below that key.
//
// Placement values, all numbers: "Left", "Top", "Height", "Width" (outer size,
// frame included), "State" (0 normal, 1 minimised, 2 maximised) and "Position"
// (0 as stored; 1 the system chooses position and size; 2 the system chooses
// the position; 3 the system chooses the size; 4 centred on the screen at
// every showing, size as stored).

#include <QDialog>
#include <QRect>

#include <memory>
#include <optional>
#include <string>

namespace varnok {

class TMyIniFile;

class TMyForm : public QDialog {
    Q_OBJECT
public:
    // Results of a modal showing.
    static constexpr int ResultOK = 1;
    static constexpr int ResultCancel = 2;
    static constexpr int ResultWizard = 5;

    enum TPosition { PositionDesigned = 0, PositionDefault = 1, PositionDefaultPos = 2,
                     PositionDefaultSize = 3, PositionScreenCenter = 4 };
    enum TState { StateNormal = 0, StateMinimized = 1, StateMaximized = 2 };

    TMyForm(QWidget* owner, const std::string& section, const std::string& storeKey);
    ~TMyForm() override;

    // Reads the six placement values, each with the current value as default
    // and applied at once, then LoadLocalFromIniFile; one store transaction.
    void LoadFromIniFile();
    // Writes the six placement values, then SaveLocalToIniFile; one store
    // transaction, so the store holds the whole save or none of it.
    void SaveToIniFile();

    virtual void LoadLocalFromIniFile() {}
    virtual void SaveLocalToIniFile() {}
    // Re-opens the store at the named configuration's key.
    virtual void SelectConfiguration(const std::string& name);

    TMyIniFile& IniFile() const { return *m_iniFile; }
    const std::string& Section() const { return m_section; }

    // Placement in outer (frame-inclusive) screen pixels. A placement set
    // before the frame is known is applied again once it is.
    QRect OuterGeometry() const;  // the normal placement when minimised or maximised
    QSize OuterSize() const;      // the present outer size, whatever the state
    void SetOuterPosition(int left, int top);
    void SetOuterSize(int width, int height);
    int StateNumber() const;
    void SetStateNumber(int state);
    int Position() const { return m_position; }
    void SetPosition(int position);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<TMyIniFile> m_iniFile;
    const std::string m_section;
    int m_position = PositionDesigned;
    // The outer placement set while the frame was still unknown.
    std::optional<QPoint> m_pendingPosition;
    std::optional<QSize> m_pendingSize;
};

}  // namespace varnok

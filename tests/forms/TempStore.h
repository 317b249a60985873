#pragma once
// A settings folder of the test's own: XDG_CONFIG_HOME points into a
// temporary folder for the test program's lifetime, so no test ever reads or
// writes the user's store. Create one before the first store access.

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TTempStore {
public:
    TTempStore() { qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8()); }
    // Kept for a look afterwards when a test failed.
    ~TTempStore() { m_dir.setAutoRemove(!QTest::currentTestFailed()); }

    bool IsValid() const { return m_dir.isValid(); }
    QString Path() const { return m_dir.path(); }
    QString StoreFile() const { return Path() + QStringLiteral("/Tavrin Software/Quillets.reg"); }

    // Removes every stored value and text block.
    void Clear() const
    {
        QDir(Path()).removeRecursively();
        QDir().mkpath(Path());
    }

private:
    QTemporaryDir m_dir;
};

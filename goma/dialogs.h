#ifndef GOMA_DIALOGS_H
#define GOMA_DIALOGS_H
// The library's own windows.
#include "engine.h"
#include "gomainternal.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTreeWidget;

namespace goma {

// Chooses the recipients among the keys that can encrypt: a filter box and a list with multiple selection.
class RecipientDialog : public QDialog {
public:
    RecipientDialog(QWidget *owner, const std::vector<KeyInfo> &keys);
    QStringList selectedFingerprints() const;

private:
    void applyFilter(const QString &text);
    QLineEdit *m_filter;
    QTreeWidget *m_list;
};

// Chooses one signing key among the user's secret keys.
class SignerDialog : public QDialog {
public:
    SignerDialog(QWidget *owner, const std::vector<KeyInfo> &keys);
    QString selectedFingerprint() const;

private:
    QTreeWidget *m_list;
};

// Shows the verdict of a signature check.
class VerifyDialog : public QDialog {
public:
    VerifyDialog(QWidget *owner, const Verification &v);
    static QString headline(Verdict verdict);
};

class PreferencesDialog : public QDialog {
public:
    PreferencesDialog(QWidget *owner, const Preferences &prefs, const std::vector<KeyInfo> &secretKeys,
                      const QString &homeInUse);
    Preferences preferences() const;

private:
    QComboBox *m_defaultKey;
    QCheckBox *m_encryptToSelf;
    QLineEdit *m_home;
};

class AboutDialog : public QDialog {
public:
    AboutDialog(QWidget *owner, const EngineInfo &info);
};

} // namespace goma
#endif

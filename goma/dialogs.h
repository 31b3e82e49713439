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
    // own: fingerprints of the user's own keys, marked in the list.
    RecipientDialog(QWidget *owner, const std::vector<KeyInfo> &keys, const QStringList &own = {});
    QStringList selectedFingerprints() const;
    // Selects the keys with these fingerprints (the first one becomes current).
    void preselect(const QStringList &fingerprints);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

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

// Shows the verdict of a signature check: the overall verdict, then every signature with its signer,
// fingerprint, time and validity. No signature at all is shown as such.
class VerifyDialog : public QDialog {
public:
    VerifyDialog(QWidget *owner, const Verification &overall, const std::vector<Verification> &signatures = {});
    static QString headline(Verdict verdict);
    // A small picture for each verdict, each one different.
    static QPixmap verdictIcon(Verdict verdict, int size);
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

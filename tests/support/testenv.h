#pragma once
// A clean world for one test: a temporary home and settings folder, the scripted dialogs, the
// application object, and a recording PGP library.

#include "app/frmMain.h"
#include "platform/application.h"
#include "recordingpgp.h"
#include "scripteddialogs.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <memory>

class TestEnv {
public:
    TestEnv();
    ~TestEnv();

    QString dir() const { return m_dir.path(); }
    QString settingsPath() const;
    // Writes the settings file as given (UTF-8 registry text).
    void writeSettings(const QByteArray &text) const;
    QByteArray readSettings() const;
    // A fresh main window; args as on the command line.
    std::unique_ptr<TfrmMain> makeWindow(const QStringList &args = {});

    ScriptedDialogs dialogs;
    zv::Application app;
    // Installed for the test's lifetime, so that no window test ever reaches the real library.
    RecordingPgp pgp;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfig, m_oldHome;
};

// Settings text with the program's key and the given section bodies.
QByteArray settingsText(const QByteArray &otherData, const QByteArray &formData = {});

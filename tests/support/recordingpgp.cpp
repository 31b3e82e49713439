#include "recordingpgp.h"
#include "app/frmMain.h"

RecordingPgp::RecordingPgp()
{
    m_previous = &TfrmMain::pgp();
    TfrmMain::setPgp(this);
}

RecordingPgp::~RecordingPgp()
{
    if (&TfrmMain::pgp() == this)
        TfrmMain::setPgp(m_previous);
}

QList<RecordingPgp::Call> RecordingPgp::callsOf(Fn fn) const
{
    QList<Call> out;
    for (const Call &c : calls)
        if (c.fn == fn)
            out << c;
    return out;
}

namespace {
RecordingPgp::Call newCall(RecordingPgp::Fn fn, QWidget *owner = nullptr)
{
    RecordingPgp::Call c;
    c.fn = fn;
    c.owner = owner;
    return c;
}
} // namespace

const RecordingPgp::Call &RecordingPgp::record(Call call)
{
    call.ownerAddress = call.owner.data();
    calls << call;
    if (onCall)
        onCall(calls.constLast());
    return calls.constLast();
}

int RecordingPgp::init()
{
    record(newCall(Fn::Init));
    return 1;
}

int RecordingPgp::release()
{
    record(newCall(Fn::Release));
    return 1;
}

int RecordingPgp::encryptText(QWidget *owner, int encrypt, int sign, const QStringList &recipients,
                              const QByteArray &text, QByteArray *result, int charset)
{
    Call c = newCall(Fn::Encrypt, owner);
    c.encrypt = encrypt;
    c.sign = sign;
    c.recipientCount = int(recipients.size());
    c.recipients = recipients;
    c.text = text;
    c.charset = charset;
    record(c);
    if (textResult && result)
        *result = resultText;
    return textResult;
}

int RecordingPgp::decryptText(QWidget *owner, const QByteArray &text, QByteArray *result, int charset)
{
    Call c = newCall(Fn::Decrypt, owner);
    c.text = text;
    c.charset = charset;
    record(c);
    if (textResult && result)
        *result = resultText;
    return textResult;
}

int RecordingPgp::launchKeys(QWidget *owner)
{
    record(newCall(Fn::LaunchKeys, owner));
    return launchKeysResult;
}

int RecordingPgp::launchTools(QWidget *owner)
{
    record(newCall(Fn::LaunchTools, owner));
    return launchToolsResult;
}

int RecordingPgp::preferences(QWidget *owner)
{
    record(newCall(Fn::Preferences, owner));
    return preferencesResult;
}

int RecordingPgp::about(QWidget *owner)
{
    record(newCall(Fn::About, owner));
    return aboutResult;
}

int RecordingPgp::version()
{
    record(newCall(Fn::Version));
    return versionResult;
}

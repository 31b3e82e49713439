#include "scripteddialogs.h"

#include <QDialog>
#include <QPrinter>
#include <QTest>

namespace {
const char *kindName(ScriptedDialogs::Kind k)
{
    switch (k) {
    case ScriptedDialogs::Kind::Message: return "message box";
    case ScriptedDialogs::Kind::Open: return "open dialog";
    case ScriptedDialogs::Kind::Save: return "save dialog";
    case ScriptedDialogs::Kind::Font: return "font dialog";
    case ScriptedDialogs::Kind::Color: return "colour dialog";
    case ScriptedDialogs::Kind::Print: return "print dialog";
    case ScriptedDialogs::Kind::PrintSetup: return "printer setup dialog";
    case ScriptedDialogs::Kind::Modal: return "modal dialog";
    }
    return "?";
}
} // namespace

ScriptedDialogs::ScriptedDialogs() { m_previous = zv::Dialogs::install(this); }
ScriptedDialogs::~ScriptedDialogs() { zv::Dialogs::install(m_previous); }

void ScriptedDialogs::expectMessage(int answer) { m_queue.push_back({Kind::Message, answer, {}, {}, {}, {}}); }
void ScriptedDialogs::expectOpen(const std::optional<QString> &f) { m_queue.push_back({Kind::Open, 0, f, {}, {}, {}}); }
void ScriptedDialogs::expectSave(const std::optional<QString> &f) { m_queue.push_back({Kind::Save, 0, f, {}, {}, {}}); }
void ScriptedDialogs::expectFont(const std::optional<zv::FontSpec> &f) { m_queue.push_back({Kind::Font, 0, {}, f, {}, {}}); }
void ScriptedDialogs::expectColor(const std::optional<unsigned> &c) { m_queue.push_back({Kind::Color, 0, {}, {}, c, {}}); }
void ScriptedDialogs::expectPrint(bool confirm, const std::optional<QString> &outputFile)
{
    m_queue.push_back({Kind::Print, confirm ? 1 : 0, outputFile, {}, {}, {}});
}
void ScriptedDialogs::expectPrintSetup(bool confirm) { m_queue.push_back({Kind::PrintSetup, confirm ? 1 : 0, {}, {}, {}, {}}); }
void ScriptedDialogs::expectModal(std::function<int(QDialog &)> run)
{
    m_queue.push_back({Kind::Modal, 0, {}, {}, {}, std::move(run)});
}

std::optional<ScriptedDialogs::Expectation> ScriptedDialogs::take(Kind kind, const QString &what)
{
    if (m_queue.empty() || m_queue.front().kind != kind) {
        const QString expected = m_queue.empty() ? QStringLiteral("nothing")
                                                 : QString::fromLatin1(kindName(m_queue.front().kind));
        QTest::qFail(qPrintable(QStringLiteral("unexpected %1 (%2); expected %3")
                                    .arg(QString::fromLatin1(kindName(kind)), what, expected)),
                     __FILE__, __LINE__);
        return std::nullopt;
    }
    Expectation e = std::move(m_queue.front());
    m_queue.pop_front();
    return e;
}

int ScriptedDialogs::messageBox(QWidget *, const QString &text, const QString &caption, unsigned flags)
{
    messages.append({text, caption, flags});
    const auto e = take(Kind::Message, text);
    return e ? e->answer : zv::IDCANCEL;
}

bool ScriptedDialogs::openFile(QWidget *, zv::FileDialogSpec &spec)
{
    fileDialogs.append(spec);
    const auto e = take(Kind::Open, spec.title);
    if (!e || !e->fileName)
        return false;
    spec.fileName = *e->fileName;
    return true;
}

bool ScriptedDialogs::saveFile(QWidget *, zv::FileDialogSpec &spec)
{
    fileDialogs.append(spec);
    const auto e = take(Kind::Save, spec.title);
    if (!e || !e->fileName)
        return false;
    spec.fileName = *e->fileName;
    return true;
}

bool ScriptedDialogs::chooseFont(QWidget *, zv::FontSpec &font)
{
    const auto e = take(Kind::Font, font.name);
    if (!e || !e->font)
        return false;
    font = *e->font;
    return true;
}

bool ScriptedDialogs::chooseColor(QWidget *, unsigned &color)
{
    const auto e = take(Kind::Color, QString::number(color, 16));
    if (!e || !e->color)
        return false;
    color = *e->color;
    return true;
}

bool ScriptedDialogs::printDialog(QWidget *, QPrinter &printer)
{
    printFiles.append(printer.outputFileName());
    const auto e = take(Kind::Print, QString());
    if (e && e->fileName)
        printer.setOutputFileName(*e->fileName);
    return e && e->answer;
}

bool ScriptedDialogs::printerSetup(QWidget *, QPrinter &)
{
    const auto e = take(Kind::PrintSetup, QString());
    return e && e->answer;
}

int ScriptedDialogs::execModal(QDialog &dialog)
{
    const auto e = take(Kind::Modal, dialog.windowTitle());
    if (!e || !e->modal)
        return QDialog::Rejected;
    return e->modal(dialog);
}

bool ScriptedDialogs::openUrl(const QUrl &url)
{
    openedUrls.append(url);
    return openUrlResult;
}

bool ScriptedDialogs::startDetached(const QString &program, const QStringList &arguments)
{
    started.append({program, arguments});
    return startResult;
}

// Printing through the print dialog, checked on the PDF that the printer writes.

#include "testenv.h"
#include "trigger.h"

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace zv;

namespace {

// Runs a poppler tool on a PDF and returns its standard output.
QString runTool(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The value of one "Name: value" line of pdfinfo's output.
QString pdfInfo(const QString &pdf, const QString &name)
{
    const QStringList lines = runTool(QStringLiteral("pdfinfo"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf})
                                  .split(u'\n');
    for (const QString &line : lines)
        if (line.startsWith(name + u':'))
            return line.mid(name.size() + 1).trimmed();
    return {};
}

// The PDF's text. A CJK font may give one glyph to an ideograph and its radical twin (行 and U+2F8F), and
// the extraction may then name the twin: compatibility forms are folded back.
QString pdfText(const QString &pdf)
{
    return runTool(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), QStringLiteral("-layout"),
                                                 pdf, QStringLiteral("-")})
        .normalized(QString::NormalizationForm_KC);
}

void printToPdf(TfrmMain &w, const QString &file)
{
    w.printer().setOutputFormat(QPrinter::PdfFormat);
    w.printer().setOutputFileName(file);
}

} // namespace

class TestPrinting : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("pdftotext and pdfinfo (poppler-utils) are needed to read the printed PDF");
    }

    void printsTheWholeTextUnderTheCaption()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QStringList lines;
        for (int i = 1; i <= 150; ++i)
            lines << QStringLiteral("%1行目 line %1\tタブの後").arg(i, 3, 10, QLatin1Char('0'));
        w->Memo->setText(lines.join(QStringLiteral("\r\n")));
        // A selection does not limit what is printed.
        w->Memo->setSelStart(40);
        w->Memo->setSelLength(10);
        const QString pdf = env.dir() + QStringLiteral("/out.pdf");
        printToPdf(*w, pdf);

        env.dialogs.expectPrint(true);
        QVERIFY(trigger(w.get(), "Print1"));
        QVERIFY(env.dialogs.allUsed());
        QVERIFY(env.dialogs.messages.isEmpty());
        QVERIFY(QFile::exists(pdf));

        QCOMPARE(pdfInfo(pdf, QStringLiteral("Title")), QStringLiteral("無題 - Zuvelo PGP"));
        QVERIFY2(pdfInfo(pdf, QStringLiteral("Pages")).toInt() > 1, "150 lines take more than one page");

        // Every line is there, in order.
        const QString text = pdfText(pdf);
        qsizetype at = 0;
        for (int i = 1; i <= 150; ++i) {
            const QString head = QStringLiteral("%1行目 line %1").arg(i, 3, 10, QLatin1Char('0'));
            const qsizetype found = text.indexOf(head, at);
            QVERIFY2(found >= 0, qPrintable(QStringLiteral("missing or out of order: ") + head));
            at = found + head.size();
        }
        QVERIFY(text.contains(QStringLiteral("タブの後")));
        // Nothing in the document changed.
        QCOMPARE(w->Memo->selStart(), 40);
        QCOMPARE(w->Memo->selLength(), 10);
    }

    void namedDocumentPrintsUnderItsTitle()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->SetTitle(QStringLiteral("memo.txt - Zuvelo PGP"));
        w->Memo->setText(QStringLiteral("本文"));
        const QString pdf = env.dir() + QStringLiteral("/named.pdf");
        printToPdf(*w, pdf);
        env.dialogs.expectPrint(true);
        QVERIFY(trigger(w.get(), "Print1"));
        QCOMPARE(pdfInfo(pdf, QStringLiteral("Title")), QStringLiteral("memo.txt - Zuvelo PGP"));
        QVERIFY(pdfText(pdf).contains(QStringLiteral("本文")));
    }

    void emptyDocumentGivesOnePage()
    {
        TestEnv env;
        auto w = env.makeWindow();
        const QString pdf = env.dir() + QStringLiteral("/empty.pdf");
        printToPdf(*w, pdf);
        env.dialogs.expectPrint(true);
        QVERIFY(trigger(w.get(), "Print1"));
        QVERIFY(QFile::exists(pdf));
        QCOMPARE(pdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("1"));
        QCOMPARE(pdfText(pdf).trimmed(), QString());
    }

    void cancelledDialogsPrintNothing()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(QStringLiteral("text"));
        w->Memo->setModified(false);
        const QString pdf = env.dir() + QStringLiteral("/never.pdf");
        printToPdf(*w, pdf);
        env.dialogs.expectPrintSetup(false);
        QVERIFY(trigger(w.get(), "PrintSetup1"));
        env.dialogs.expectPrint(false);
        QVERIFY(trigger(w.get(), "Print1"));
        QVERIFY(env.dialogs.allUsed());
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("text"));
        QVERIFY(!w->Memo->modified());
    }

    void unwritableOutputIsReported()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(QStringLiteral("text"));
        const QString pdf = env.dir() + QStringLiteral("/no such folder/out.pdf");
        printToPdf(*w, pdf);
        env.dialogs.expectPrint(true);
        env.dialogs.expectMessage(IDOK);
        w->Print1->trigger(); // through the binding, whose dispatcher shows the error report
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].flags, unsigned(MB_ICONERROR));
        QVERIFY(env.dialogs.messages[0].text.contains(pdf));
    }
};

QTEST_MAIN(TestPrinting)
#include "test_printing.moc"

// Printing through the print dialog, checked on the PDF that the printer writes.

#include "testenv.h"
#include "trigger.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
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

// One word of the PDF as pdftotext -bbox gives it: its page (from 0), its box in points, its text.
struct Word {
    int page = 0;
    QRectF box;
    QString text;
};

QList<Word> pdfWords(const QString &pdf)
{
    const QString html = runTool(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                                              QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    static const QRegularExpression item(QStringLiteral(
        "<page |<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    QList<Word> words;
    int page = -1;
    for (auto it = item.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(u"<page")) {
            ++page;
            continue;
        }
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        words.append({page, QRectF(topLeft, bottomRight), m.captured(5).normalized(QString::NormalizationForm_KC)});
    }
    return words;
}

// The words holding text, in the PDF's order.
QList<Word> wordsWith(const QList<Word> &words, const QString &text)
{
    QList<Word> out;
    for (const Word &w : words)
        if (w.text.contains(text))
            out.append(w);
    return out;
}

// Prints the window's document to a PDF file the way a user does: the print dialog, a file typed there.
void printToPdf(TestEnv &env, TfrmMain &w, const QString &file)
{
    w.printer().setOutputFormat(QPrinter::PdfFormat);
    env.dialogs.expectPrint(true, file);
    QVERIFY(trigger(&w, "Print1"));
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
        printToPdf(env, *w, pdf);
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

    // Tab stops fall on paper where they fall on screen, in characters: a tab of width 6 reaches column 6,
    // then 12 and 18, as far as spaces do, and the line stays one line.
    void tabsPrintInCharacters()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->FTabWidth, 6);
        w->Memo->setText(QStringLiteral("\t|1\t|2\tあ|3\r\n      |1    |2    あ|3"));
        const QString pdf = env.dir() + QStringLiteral("/tabs.pdf");
        printToPdf(env, *w, pdf);
        const QList<Word> words = pdfWords(pdf);
        for (const QString &mark : {QStringLiteral("|1"), QStringLiteral("|2"), QStringLiteral("あ|3")}) {
            const QList<Word> found = wordsWith(words, mark);
            QCOMPARE(found.size(), 2);
            // The tabbed line is above the spaced one, both on the first page, at the same x.
            QCOMPARE(found[0].page, 0);
            QVERIFY(found[0].box.top() < found[1].box.top());
            QVERIFY2(std::abs(found[0].box.left() - found[1].box.left()) < 0.5,
                     qPrintable(QStringLiteral("%1 at %2 and %3").arg(mark).arg(found[0].box.left()).arg(found[1].box.left())));
        }
        // Two lines, not one broken into pieces.
        const QList<Word> first = wordsWith(words, QStringLiteral("|1"));
        const QList<Word> third = wordsWith(words, QStringLiteral("あ|3"));
        QCOMPARE(first[0].box.top(), third[0].box.top());
    }

    // Undecodable bytes print as the boxes the screen shows, with the byte in hexadecimal.
    void rawBytesPrintAsHexBoxes()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->loadText(QStringLiteral("前") + QChar(0xF79F) + QStringLiteral("後 x") + QChar(0xF7E3) + u'y');
        const QString pdf = env.dir() + QStringLiteral("/raw.pdf");
        printToPdf(env, *w, pdf);
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("9F")) && text.contains(QStringLiteral("E3")), qPrintable(text));
        QVERIFY2(!text.contains(QChar(0xF79F)) && !text.contains(QChar(0xF7E3)), qPrintable(text));
    }

    // With vertical writing on, the pages show columns: the first paragraph in the rightmost column,
    // read from top to bottom, the next ones to its left, and the columns go on over the next page.
    void verticalWritingPrintsColumns()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setOptions(ECOOP_OR, ECO_VERTICAL);
        QStringList paras;
        for (int i = 0; i < 120; ++i)
            paras << QStringLiteral("第%1段　縦書きの「印刷」です。").arg(i, 3, 10, QLatin1Char('0'));
        w->Memo->setText(paras.join(QStringLiteral("\r\n")));
        const QString pdf = env.dir() + QStringLiteral("/vertical.pdf");
        printToPdf(env, *w, pdf);
        QVERIFY(pdfInfo(pdf, QStringLiteral("Pages")).toInt() > 1);

        // Each paragraph's number lies on its side in the paragraph's column: where the numbers stand shows
        // where the columns are.
        const QList<Word> words = pdfWords(pdf);
        QMap<int, Word> numbers;
        static const QRegularExpression number(QStringLiteral("^[0-9]{3}$"));
        for (const Word &word : words)
            if (number.match(word.text).hasMatch())
                numbers.insert(word.text.toInt(), word);
        QCOMPARE(numbers.size(), 120);
        for (int i = 1; i < 120; ++i) {
            const Word &a = numbers[i - 1];
            const Word &b = numbers[i];
            if (b.page == a.page) {
                QVERIFY2(b.box.center().x() < a.box.center().x() - 5, qPrintable(QString::number(i)));
                QVERIFY(std::abs(b.box.top() - a.box.top()) < 1); // every column starts at the same height
            } else {
                QCOMPARE(b.page, a.page + 1); // pages in order, each starting again at the right
                QVERIFY(b.box.center().x() > a.box.center().x());
            }
        }
        QVERIFY(numbers[0].box.right() > 500); // the first column at the right edge of the page
        // A column reads from top to bottom: its upright 第 above the number, the upright kana below.
        auto inColumn = [&](const QString &text, const Word &column) {
            for (const Word &word : words)
                if (word.page == column.page && word.text.startsWith(text) && word.box.left() < column.box.right() &&
                    word.box.right() > column.box.left())
                    return word.box;
            return QRectF();
        };
        const QRectF head = inColumn(QStringLiteral("第"), numbers[0]);
        const QRectF kana = inColumn(QStringLiteral("で"), numbers[0]);
        QVERIFY(!head.isNull() && !kana.isNull());
        QVERIFY(head.center().y() < numbers[0].box.top());
        QVERIFY(kana.center().y() > numbers[0].box.bottom());
        // Upright characters stand upright: as wide as high, not turned like the digits.
        QVERIFY(std::abs(head.width() - head.height()) < head.height() / 2);
        QVERIFY(numbers[0].box.height() > numbers[0].box.width());
    }

    // The print dialog proposes an output file named after the document being printed, every time, not the
    // file of the previous print.
    void proposedOutputFollowsTheDocument()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(QStringLiteral("本文"));
        const QString untitled = QDir::current().absoluteFilePath(QStringLiteral("無題.pdf"));
        const QString typed = env.dir() + QStringLiteral("/tabs.pdf");
        printToPdf(env, *w, typed);
        QVERIFY(QFile::exists(typed));

        // A new untitled document, a saved one, one whose own name ends in .pdf.
        const struct {
            QString document, proposed;
        } steps[] = {
            {QString(), untitled},
            {env.dir() + QStringLiteral("/docs/memo.txt"), env.dir() + QStringLiteral("/docs/memo.pdf")},
            {env.dir() + QStringLiteral("/docs/報告 2.log.txt"), env.dir() + QStringLiteral("/docs/報告 2.log.pdf")},
            {env.dir() + QStringLiteral("/docs/notes"), env.dir() + QStringLiteral("/docs/notes.pdf")},
            {env.dir() + QStringLiteral("/docs/paper.pdf"), env.dir() + QStringLiteral("/docs/paper.pdf.pdf")},
            {QString(), untitled},
        };
        for (const auto &step : steps) {
            w->SaveDialog.fileName = step.document;
            env.dialogs.expectPrint(false);
            w->Print1Click();
            QCOMPARE(env.dialogs.printFiles.last(), step.proposed);
        }
        QCOMPARE(env.dialogs.printFiles.first(), untitled);
        QVERIFY(env.dialogs.allUsed());
    }

    // The desktop's own print dialog shows the proposed file in its file field.
    void realPrintDialogShowsTheProposedFile()
    {
        QPrinter printer(QPrinter::HighResolution);
        const QString proposed = QDir::current().absoluteFilePath(QStringLiteral("無題.pdf"));
        printer.setOutputFileName(proposed);
        QPrintDialog dialog(&printer);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("filename"));
        QVERIFY(field);
        QCOMPARE(field->text(), proposed);
        dialog.reject();
    }

    void namedDocumentPrintsUnderItsTitle()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->SetTitle(QStringLiteral("memo.txt - Zuvelo PGP"));
        w->Memo->setText(QStringLiteral("本文"));
        const QString pdf = env.dir() + QStringLiteral("/named.pdf");
        printToPdf(env, *w, pdf);
        QCOMPARE(pdfInfo(pdf, QStringLiteral("Title")), QStringLiteral("memo.txt - Zuvelo PGP"));
        QVERIFY(pdfText(pdf).contains(QStringLiteral("本文")));
    }

    void emptyDocumentGivesOnePage()
    {
        TestEnv env;
        auto w = env.makeWindow();
        const QString pdf = env.dir() + QStringLiteral("/empty.pdf");
        printToPdf(env, *w, pdf);
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
        w->printer().setOutputFormat(QPrinter::PdfFormat);
        env.dialogs.expectPrintSetup(false);
        QVERIFY(trigger(w.get(), "PrintSetup1"));
        env.dialogs.expectPrint(false, pdf); // the file typed, then Cancel
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
        w->printer().setOutputFormat(QPrinter::PdfFormat);
        env.dialogs.expectPrint(true, pdf);
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

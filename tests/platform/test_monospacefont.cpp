// The face the editor shows for a stored font name, and the full-width/half-width grid it keeps.

#include "platform/dialogs.h"
#include "platform/monospacefont.h"

#include <QFontDatabase>
#include <QPrinter>
#include <QTest>
#include <QTextLayout>
#include <QWidget>

using namespace zv;

namespace {
// Advances of the characters of text, one after another, as the text layout places them on device.
QList<qreal> advances(const QString &text, const QFont &font, QPaintDevice *device)
{
    QTextLayout tl(text, font, device);
    tl.beginLayout();
    QTextLine line = tl.createLine();
    tl.endLayout();
    QList<qreal> out;
    for (int i = 0; i < text.size(); ++i)
        out << line.cursorToX(i + 1) - line.cursorToX(i);
    return out;
}
} // namespace

class TestMonospaceFont : public QObject {
    Q_OBJECT
private slots:
    void japaneseFaceCoversJapanese()
    {
        const QString family = japaneseMonospaceFamily();
        QVERIFY2(QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese), qPrintable(family));
        // The face itself has the kana and kanji: they are not borrowed from another face.
        const QFont f(family, 14);
        QVERIFY(QFontMetricsF(f).inFont(QChar(0x6F22)));
        QVERIFY(QFontMetricsF(f).inFont(QChar(0x3042)));
    }

    void storedNameGivesTheShownFace_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown"); // empty: the Japanese monospace face
        QTest::newRow("default") << "FixedSys" << QString();
        QTest::newRow("default in other case") << "fixedsys" << QString();
        QTest::newRow("desktop monospace") << "Monospace" << QString();
        QTest::newRow("desktop fixed font") << QFontDatabase::systemFont(QFontDatabase::FixedFont).family() << QString();
        QTest::newRow("no name") << QString() << QString();
        QTest::newRow("face not installed") << "No Such Face 12" << QString();
        // A face the user chose is used as chosen, even a Latin-only or a proportional one.
        QTest::newRow("chosen Latin monospace") << "DejaVu Sans Mono" << "DejaVu Sans Mono";
        QTest::newRow("chosen proportional") << "Noto Sans CJK JP" << "Noto Sans CJK JP";
    }
    void storedNameGivesTheShownFace()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        if (shown.isEmpty())
            shown = japaneseMonospaceFamily();
        else if (!QFontDatabase::hasFamily(shown))
            QSKIP("the face of this row is not installed");
        QCOMPARE(shownFontFamily(stored), shown);
        FontSpec spec;
        spec.name = stored;
        QCOMPARE(shownFont(spec, nullptr).family(), shown);
    }

    // In the default face a full-width character is exactly two half-width ones, and a space one, at every
    // size, on the screen and on a printer's page; the size moves by less than a pixel to get there.
    void defaultFaceKeepsTheGrid()
    {
        QWidget screen;
        QPrinter printer(QPrinter::HighResolution);
        for (QPaintDevice *device : {static_cast<QPaintDevice *>(&screen), static_cast<QPaintDevice *>(&printer)}) {
            for (int size = 6; size <= 40; ++size) {
                FontSpec spec;
                spec.pointSize = size;
                const QFont f = shownFont(spec, device);
                const QList<qreal> a = advances(QStringLiteral("漢aあ bカ１"), f, device);
                const QString where = QStringLiteral("%1 pt at %2 dpi: ").arg(size).arg(device->logicalDpiY());
                QVERIFY2(a[1] > 0, qPrintable(where));
                for (int i : {0, 2, 5, 6})
                    QVERIFY2(a[i] == 2 * a[1], qPrintable(where + QStringLiteral("%1 against %2").arg(a[i]).arg(a[1])));
                QVERIFY2(a[3] == a[1] && a[4] == a[1], qPrintable(where));
                const qreal pixel = 72.0 / device->logicalDpiY();
                QVERIFY2(std::abs(f.pointSizeF() - size) < pixel, qPrintable(where + QString::number(f.pointSizeF())));
            }
        }
    }

    void chosenFaceKeepsItsSizeAndStyle()
    {
        QWidget screen;
        FontSpec spec;
        spec.name = QStringLiteral("DejaVu Sans Mono");
        spec.pointSize = 13;
        spec.bold = true;
        spec.italic = true;
        spec.underline = true;
        spec.strikeOut = true;
        if (!QFontDatabase::hasFamily(spec.name))
            QSKIP("DejaVu Sans Mono is not installed");
        const QFont f = shownFont(spec, &screen);
        QCOMPARE(f.family(), spec.name);
        QCOMPARE(f.pointSizeF(), 13.0);
        QVERIFY(f.bold() && f.italic() && f.underline() && f.strikeOut());
    }
};

QTEST_MAIN(TestMonospaceFont)
#include "test_monospacefont.moc"

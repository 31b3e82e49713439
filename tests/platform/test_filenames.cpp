// File names between the system's bytes and the program's text: every byte string comes back unchanged,
// and what the user reads of a name that is not UTF-8.
#include "platform/filenames.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using namespace zv;

namespace {
template <size_t N>
QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, qsizetype(N - 1));
}
} // namespace

class TestFileNames : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text"); // what the program holds
        QTest::newRow("ascii") << QByteArray("/tmp/a.txt") << QStringLiteral("/tmp/a.txt");
        QTest::newRow("UTF-8 Japanese") << QByteArray("/tmp/\xE8\xA1\xA8.txt") << QStringLiteral("/tmp/表.txt");
        QTest::newRow("outside the BMP") << QByteArray("\xF0\x9F\x92\x80") << QString::fromUcs4(U"\U0001F480");
        QTest::newRow("Shift-JIS") << QByteArray("/tmp/\x95\x5C.txt") << (QStringLiteral("/tmp/") + QChar(0xDC95) + QStringLiteral("\\.txt"));
        QTest::newRow("lone continuation") << QByteArray("a\x80z") << (QStringLiteral("a") + QChar(0xDC80) + QStringLiteral("z"));
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << (QString(QChar(0xDCC0)) + QChar(0xDCAF));
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << (QString(QChar(0xDCED)) + QChar(0xDCA0) + QChar(0xDC80));
        QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << (QString(QChar(0xDCF4)) + QChar(0xDC90) + QChar(0xDC80) + QChar(0xDC80));
        QTest::newRow("cut sequence at the end") << QByteArray("x\xE8\xA1") << (QStringLiteral("x") + QChar(0xDCE8) + QChar(0xDCA1));
        QTest::newRow("escape after a pair") << QByteArray("\xF0\x9F\x92\x80\xFF") << (QString::fromUcs4(U"\U0001F480") + QChar(0xDCFF));
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void roundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(fileNameFromNative(bytes), text);
        QCOMPARE(nativeFileName(text).toHex(' '), bytes.toHex(' '));
        QCOMPARE(hasForeignBytes(text), QString::fromUtf8(bytes).toUtf8() != bytes);
    }

    // Every byte in every position comes back.
    void everyByteComesBack()
    {
        for (int b = 0; b < 256; ++b) {
            const QByteArray bytes = QByteArray("a") + char(b) + "\xE3\x81" + char(b) + char(b);
            QCOMPARE(nativeFileName(fileNameFromNative(bytes)).toHex(), bytes.toHex());
        }
    }

    void display_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTF-8 as it is") << QByteArray("/d/\xE8\xA1\xA8.txt") << QStringLiteral("/d/表.txt");
        QTest::newRow("Shift-JIS file") << QByteArray("/d/\x95\x5C.txt") << QStringLiteral("/d/表.txt");
        QTest::newRow("Shift-JIS folder and file") << QByteArray("/\x83\x81\x83\x82/\xB1.txt") << QStringLiteral("/メモ/ｱ.txt");
        QTest::newRow("neither") << raw("/d/\x80\xFF.txt") << QStringLiteral("/d/\uFFFD\uFFFD.txt");
    }
    void display()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(displayFileName(fileNameFromNative(bytes)), shown);
    }

    void urls_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("bytes"); // empty: no local file
        QTest::newRow("percent-encoded Shift-JIS") << QByteArray("file:///d/%95%5C.txt") << QByteArray("/d/\x95\x5C.txt");
        QTest::newRow("UTF-8") << QByteArray("file:///d/%E8%A1%A8%20x.txt") << QByteArray("/d/\xE8\xA1\xA8 x.txt");
        QTest::newRow("localhost") << QByteArray("file://localhost/d/a%25b") << QByteArray("/d/a%b");
        QTest::newRow("not a file") << QByteArray("https://example.org/a.txt") << QByteArray();
    }
    void urls()
    {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, bytes);
        QCOMPARE(nativeFileName(fileNameFromUrl(QUrl::fromEncoded(url))).toHex(' '), bytes.toHex(' '));
    }

    // A name Qt decoded with replacement characters is found again by its folder's entries, when only one
    // entry reads that way.
    void recoverDecoded()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        const QByteArray one = folder + "/\x95\x5C.txt";
        const QByteArray other = folder + "/\x96\x5C.txt"; // reads the same once decoded by Qt
        const auto cleanUp = qScopeGuard([&] {
            ::unlink(one.constData());
            ::unlink(other.constData());
        });
        for (const QByteArray &name : {one, QByteArray(folder + "/plain.txt")}) {
            FILE *f = std::fopen(name.constData(), "w");
            QVERIFY(f);
            std::fclose(f);
        }
        QCOMPARE(nativeFileName(recoverDecodedFileName(QFile::decodeName(one))), one);
        QCOMPARE(recoverDecodedFileName(dir.path() + QStringLiteral("/plain.txt")), dir.path() + QStringLiteral("/plain.txt"));
        FILE *f = std::fopen(other.constData(), "w");
        QVERIFY(f);
        std::fclose(f);
        QCOMPARE(recoverDecodedFileName(QFile::decodeName(one)), QFile::decodeName(one)); // two matches: unknown
    }
};

QTEST_GUILESS_MAIN(TestFileNames)
#include "test_filenames.moc"

// Several running copies of the program against one settings store. Copies start at the same moment (all
// creating the key at once), each takes window values of its own, and they close one after another or all at
// once. After every round the file parses, nothing was moved aside or left half-written, the option values
// no copy touched are still there, and the window values are those of the copy that closed last; where
// closes overlapped, each value is one that some copy wrote.

#include "platform/settingsstore.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <numeric>

using namespace zv;

namespace {

struct Copy {
    std::unique_ptr<QProcess> process;
    QMap<QPair<QString, QString>, QString> values; // (section, name) -> text
    qint64 closeBegin = -1;
    qint64 closeEnd = -1;
    QStringList messages;
    QByteArray output;
};

void parse(Copy &c)
{
    for (const QByteArray &line : c.output.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f[0] == "value" && f.size() == 4)
            c.values.insert({QString::fromUtf8(f[1]), QString::fromUtf8(f[2])}, QString::fromUtf8(QByteArray::fromBase64(f[3])));
        else if (f[0] == "close-begin" && f.size() == 2)
            c.closeBegin = f[1].toLongLong();
        else if (f[0] == "close-end" && f.size() == 2)
            c.closeEnd = f[1].toLongLong();
        else if (f[0] == "message" && f.size() == 2)
            c.messages << QString::fromUtf8(QByteArray::fromBase64(f[1]));
    }
}

QString stored(const RegFile &file, const QString &section, const QString &name)
{
    const auto values = file.keys.value(QString::fromLatin1(SettingsStore::kKeyPath) + QLatin1Char('\\') + section);
    return values.contains(name) ? values.value(name).data : QStringLiteral("<missing>");
}

} // namespace

class TestRunningCopies : public QObject {
    Q_OBJECT

private slots:
    void lastCloseDecidesAndNothingTears()
    {
        const QString driver = QStringLiteral(ZV_BINARY_DIR "/tests/reliability/copy_driver");
        QVERIFY2(QFile::exists(driver), qPrintable(driver));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));

        // Option values that only the options dialog writes: closes must leave them alone.
        {
            SettingsStore store;
            store.writeInteger(kOtherData, QStringLiteral("TabWidth"), 4);
            store.writeString(kOtherData, QStringLiteral("FontName"), QStringLiteral("IPAゴシック"));
        }

        constexpr int kRounds = 6, kCopies = 4;
        QRandomGenerator gen(11);
        int strictRounds = 0;
        for (int round = 0; round < kRounds; ++round) {
            const bool together = round % 2 == 1;
            std::vector<Copy> copies(kCopies);
            for (int id = 0; id < kCopies; ++id) {
                copies[id].process = std::make_unique<QProcess>();
                copies[id].process->setProcessEnvironment(env);
                copies[id].process->setProcessChannelMode(QProcess::SeparateChannels);
                copies[id].process->start(driver, {QString::number(id), QString::number(round)});
            }
            for (Copy &c : copies) {
                QVERIFY(c.process->waitForStarted(30000));
                while (!c.output.contains("ready\n")) {
                    QVERIFY2(c.process->state() == QProcess::Running || c.process->bytesAvailable(),
                             c.process->readAllStandardError().constData());
                    c.process->waitForReadyRead(1000);
                    c.output += c.process->readAllStandardOutput();
                }
            }
            std::vector<int> order(kCopies);
            std::iota(order.begin(), order.end(), 0);
            std::shuffle(order.begin(), order.end(), gen);
            for (int id : order) {
                copies[id].process->write("close\n");
                copies[id].process->closeWriteChannel();
                if (!together)
                    QVERIFY(copies[id].process->waitForFinished(60000));
            }
            for (Copy &c : copies) {
                QVERIFY(c.process->state() == QProcess::NotRunning || c.process->waitForFinished(60000));
                c.output += c.process->readAllStandardOutput();
                const QByteArray err = c.process->readAllStandardError();
                parse(c);
                QVERIFY2(c.messages.isEmpty(), qPrintable(c.messages.join(u'\n')));
                QVERIFY2(c.process->exitStatus() == QProcess::NormalExit && c.process->exitCode() == 0,
                         qPrintable(QStringLiteral("exit %1: %2").arg(c.process->exitCode()).arg(QString::fromLocal8Bit(err))));
                QVERIFY(c.closeBegin > 0 && c.closeEnd >= c.closeBegin);
                QCOMPARE(c.values.size(), 15);
            }

            const auto file = SettingsStore::readFile();
            QVERIFY2(file.has_value(), "the settings file does not parse");
            const QDir folder(dir.path() + QStringLiteral("/config/zuvelo-pgp"));
            QCOMPARE(folder.entryList({QStringLiteral("*.damaged-*"), QStringLiteral("*.tmp*")}), QStringList());
            QCOMPARE(stored(*file, kOtherData, QStringLiteral("TabWidth")), QStringLiteral("4"));
            QCOMPARE(stored(*file, kOtherData, QStringLiteral("FontName")), QStringLiteral("IPAゴシック"));

            const auto last = std::max_element(copies.begin(), copies.end(),
                                               [](const Copy &a, const Copy &b) { return a.closeBegin < b.closeBegin; });
            const bool strict = std::all_of(copies.begin(), copies.end(), [&](const Copy &c) {
                return &c == &*last || c.closeEnd < last->closeBegin;
            });
            if (!together)
                QVERIFY2(strict, "closes one after another overlapped");
            strictRounds += strict ? 1 : 0;
            for (auto v = last->values.cbegin(); v != last->values.cend(); ++v) {
                const QString got = stored(*file, v.key().first, v.key().second);
                if (strict) {
                    QVERIFY2(got == v.value(), qPrintable(QStringLiteral("round %1: %2 is %3, the last copy had %4")
                                                              .arg(round).arg(v.key().second, got, v.value())));
                } else {
                    const bool someCopy = std::any_of(copies.begin(), copies.end(),
                                                      [&](const Copy &c) { return c.values.value(v.key()) == got; });
                    QVERIFY2(someCopy, qPrintable(QStringLiteral("round %1: %2 is %3, which no copy wrote")
                                                      .arg(round).arg(v.key().second, got)));
                }
            }
        }
        qInfo("rounds in which one copy closed after all others had closed: %d of %d", strictRounds, kRounds);
        QVERIFY(strictRounds >= kRounds / 2);
    }
};

QTEST_GUILESS_MAIN(TestRunningCopies)
#include "test_runningcopies.moc"

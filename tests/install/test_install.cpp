// The program as a desktop gets it. The Debian package built from this tree is unpacked into a temporary root
// and checked there: its control data, its files, the menu entry, the software-centre data and the icons; then
// the program is started from that root and must find its library and its manual there. A staging install
// into a prefix of its own, and the uninstall after it, check `make install` and `make uninstall`.

#include "app/toolicons.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace {

const QString kAppId = QStringLiteral(ZV_APP_ID);
const QString kVersion = QStringLiteral(ZV_VERSION);

struct Run {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
    QString report() const { return QStringLiteral("exit %1\n%2\n%3").arg(exitCode).arg(out, err); }
    bool ok() const { return finished && exitCode == 0; }
};

Run run(const QString &program, const QStringList &args, const QProcessEnvironment &env = {}, int timeoutMs = 300000)
{
    QProcess p;
    QProcessEnvironment e = env.isEmpty() ? QProcessEnvironment::systemEnvironment() : env;
    e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(e);
    p.start(program, args);
    Run r;
    r.finished = p.waitForStarted() && p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError()) + p.errorString();
    return r;
}

// The relative names of every file and symbolic link below root, sorted.
QStringList filesBelow(const QString &root)
{
    QStringList names;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(root).relativeFilePath(it.next());
    names.sort();
    return names;
}

// The keys of the [Desktop Entry] group of a desktop file.
QMap<QString, QString> desktopEntry(const QString &path)
{
    QMap<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return keys;
    bool inEntry = false;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.contains(u'=') && !line.startsWith(u'#'))
            keys.insert(line.section(u'=', 0, 0).trimmed(), line.section(u'=', 1).trimmed());
    }
    return keys;
}

QStringList splitList(const QString &value)
{
    return value.split(u';', Qt::SkipEmptyParts);
}

// What the package's folders hold, relative to the prefix.
QStringList expectedFiles()
{
    return {QStringLiteral("bin/zuvelo-pgp"),
            QStringLiteral("share/man/man1/zuvelo-pgp.1.gz"),
            QStringLiteral("share/man/ja/man1/zuvelo-pgp.1.gz"),
            QStringLiteral("share/doc/zuvelo-pgp/copyright"),
            QStringLiteral("share/doc/zuvelo-pgp/changelog.gz"),
            QStringLiteral("lib/zuvelo-pgp/libgoma.so.2"),
            QStringLiteral("share/zuvelo-pgp/help/manual.html"),
            QStringLiteral("share/applications/%1.desktop").arg(kAppId),
            QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId),
            QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId)};
}

const QList<int> kIconSizes{16, 24, 32, 48, 64, 128, 256};

// Where ldd finds libgoma for a program, or an empty string; every library must be found.
QString lddGoma(const QString &program, QString *problem)
{
    const Run r = run(QStringLiteral("ldd"), {program});
    if (!r.ok()) {
        *problem = r.report();
        return {};
    }
    if (r.out.contains(QLatin1String("not found"))) {
        *problem = r.out;
        return {};
    }
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral(R"(libgoma\.so\.2 => (\S+))")).match(r.out);
    if (!m.hasMatch())
        *problem = r.out;
    return m.hasMatch() ? QFileInfo(m.captured(1)).canonicalFilePath() : QString();
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void control();
    void dependenciesMet();
    void layout_data();
    void layout();
    void nothingOutsideUsr();
    void icons_data();
    void icons();
    void scalableIcon();
    void desktopEntryValid();
    void desktopEntryOpensFiles();
    void metainfoValid();
    void libraryFromPackage();
    void helpFromPackage();
    void startsFromPackage();
    void installAndUninstall();
    void lintianClean();
    void licence();
    void manualPage_data();
    void manualPage();
    void realInstallAndRemove();

private:
    QString pkgPath(const QString &relative) const { return m_root + QStringLiteral("/usr/") + relative; }

    QTemporaryDir m_work;
    QString m_arch;
    QString m_deb;
    QString m_changes;
    QString m_root;
    QMap<QString, QString> m_control;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_work.isValid());
    const Run arch = run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
    QVERIFY2(arch.ok(), qPrintable(arch.report()));
    m_arch = arch.out.trimmed();

    // The package made as `make package` makes it (debhelper, from a copy of the source tree), into a folder of
    // this build tree's own so that the compiler cache serves its rebuilds.
    const QString pkgDir = QStringLiteral(ZV_BINARY_DIR "/deb");
    QDir(pkgDir).removeRecursively();
    const Run build = run(QStringLiteral(ZV_SOURCE_DIR "/scripts/build-deb.sh"), {pkgDir}, {}, 1400000);
    QVERIFY2(build.ok(), qPrintable(build.report().right(20000)));
    const QStringList debs = QDir(pkgDir).entryList({QStringLiteral("zuvelo-pgp_*.deb")}, QDir::Files);
    QCOMPARE(debs, QStringList{QStringLiteral("zuvelo-pgp_%1_%2.deb").arg(kVersion, m_arch)});
    m_deb = pkgDir + u'/' + debs.first();
    m_changes = pkgDir + QStringLiteral("/zuvelo-pgp_%1_%2.changes").arg(kVersion, m_arch);
    QVERIFY2(QFileInfo::exists(m_changes), qPrintable(m_changes));

    m_root = m_work.filePath(QStringLiteral("root"));
    const Run extract = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root});
    QVERIFY2(extract.ok(), qPrintable(extract.report()));

    const Run fields = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb});
    QVERIFY2(fields.ok(), qPrintable(fields.report()));
    QString key;
    for (const QString &line : fields.out.split(u'\n')) {
        if (line.startsWith(u' ') && !key.isEmpty()) {
            m_control[key] += u'\n' + line.mid(1);
        } else if (line.contains(u':')) {
            key = line.section(u':', 0, 0);
            m_control[key] = line.section(u':', 1).trimmed();
        }
    }
}

void TestInstall::control()
{
    QCOMPARE(m_control.value(QStringLiteral("Package")), QStringLiteral("zuvelo-pgp"));
    QCOMPARE(m_control.value(QStringLiteral("Version")), kVersion);
    QCOMPARE(m_control.value(QStringLiteral("Architecture")), m_arch);
    QCOMPARE(m_control.value(QStringLiteral("Section")), QStringLiteral("editors"));
    QVERIFY(m_control.value(QStringLiteral("Maintainer")).contains(u'@'));

    // A synopsis, then a long description in English and in Japanese.
    const QStringList description = m_control.value(QStringLiteral("Description")).split(u'\n');
    QVERIFY2(description.size() > 3, qPrintable(description.join(u'\n')));
    QVERIFY(!description.first().trimmed().isEmpty());
    const QString body = description.mid(1).join(u'\n');
    QVERIFY(body.contains(QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}]"))));
    QVERIFY(body.contains(QLatin1String("OpenPGP")));

    // Every relation the program cannot run without.
    QSet<QString> relations;
    for (const QString &relation : m_control.value(QStringLiteral("Depends")).split(u',')) {
        QString names = relation;
        names.remove(QRegularExpression(QStringLiteral(R"(\s*\([^)]*\))")));
        relations << names.simplified();
    }
    for (const char *needed : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6printsupport6",
                               "qt6-qpa-plugins", "qt6-translations-l10n", "libgpgme11", "gnupg", "gpg-agent",
                               "pinentry-qt | pinentry-gnome3 | pinentry-curses",
                               "fonts-noto-cjk | fonts-ipafont-gothic"})
        QVERIFY2(relations.contains(QLatin1String(needed)),
                 qPrintable(QStringLiteral("%1 missing from: %2")
                                .arg(QLatin1String(needed), m_control.value(QStringLiteral("Depends")))));
}

// This machine runs the program, so each relation of Depends must hold here: a misspelt or wrongly versioned
// package name would make the package uninstallable.
void TestInstall::dependenciesMet()
{
    const QString depends = m_control.value(QStringLiteral("Depends"));
    QVERIFY(!depends.isEmpty());
    for (const QString &relation : depends.split(u',')) {
        bool met = false;
        QStringList tried;
        for (const QString &alternative : relation.split(u'|')) {
            // name[:arch] [(op version)]
            static const QRegularExpression form(
                QStringLiteral(R"(^\s*([a-z0-9.+-]+)(?::\S+)?\s*(?:\(\s*([<>=]+)\s*([^)\s]+)\s*\))?\s*$)"));
            const QRegularExpressionMatch m = form.match(alternative);
            QVERIFY2(m.hasMatch(), qPrintable(alternative));
            const Run q = run(QStringLiteral("dpkg-query"),
                              {QStringLiteral("-W"), QStringLiteral("-f=${Status}|${Version}"), m.captured(1)});
            const QString status = q.out.section(u'|', 0, 0);
            const QString version = q.out.section(u'|', 1);
            tried << QStringLiteral("%1 [%2]").arg(alternative.trimmed(), q.ok() ? q.out : QStringLiteral("unknown"));
            if (!q.ok() || !status.endsWith(QLatin1String(" installed")))
                continue;
            if (m.captured(2).isEmpty()) {
                met = true;
                break;
            }
            if (run(QStringLiteral("dpkg"), {QStringLiteral("--compare-versions"), version, m.captured(2),
                                             m.captured(3)}).ok()) {
                met = true;
                break;
            }
        }
        QVERIFY2(met, qPrintable(QStringLiteral("not met: ") + tried.join(QLatin1String("; "))));
    }
}

void TestInstall::layout_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &path : expectedFiles())
        QTest::newRow(qPrintable(path)) << path;
}

void TestInstall::layout()
{
    QFETCH(QString, path);
    const QFileInfo info(pkgPath(path));
    QVERIFY2(info.isFile(), qPrintable(info.filePath()));
    QVERIFY(info.size() > 0);
    if (path.startsWith(QLatin1String("bin/")))
        QVERIFY(info.isExecutable());
}

void TestInstall::nothingOutsideUsr()
{
    const QStringList files = filesBelow(m_root);
    QVERIFY(!files.isEmpty());
    for (const QString &file : files) {
        QVERIFY2(file.startsWith(QLatin1String("usr/")), qPrintable(file));
        // No link-time leftovers: static libraries, headers, the library's link name.
        QVERIFY2(!file.endsWith(QLatin1String(".a")) && !file.endsWith(QLatin1String(".h")) &&
                     !file.endsWith(QLatin1String(".so")),
                 qPrintable(file));
    }
}

void TestInstall::icons_data()
{
    QTest::addColumn<int>("size");
    for (int size : kIconSizes)
        QTest::newRow(qPrintable(QString::number(size))) << size;
}

// Each theme size is the program's own icon drawn at that size, not a scaled copy of another.
void TestInstall::icons()
{
    QFETCH(int, size);
    const QString path = pkgPath(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId));
    const QImage installed(path);
    QVERIFY2(!installed.isNull(), qPrintable(path));
    QCOMPARE(installed.size(), QSize(size, size));
    QVERIFY(installed.hasAlphaChannel());
    QCOMPARE(installed.convertToFormat(QImage::Format_ARGB32),
             zv::appImage(size).convertToFormat(QImage::Format_ARGB32));
}

// The scalable icon is square, and drawn by a renderer of its own it shows the same picture as the PNG icons.
void TestInstall::scalableIcon()
{
    const QString path = pkgPath(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), QLatin1String("svg"));
    QCOMPARE(xml.namespaceUri(), QLatin1String("http://www.w3.org/2000/svg"));
    const QStringList box = xml.attributes().value(QLatin1String("viewBox")).toString().split(u' ');
    QCOMPARE(box.size(), 4);
    QCOMPARE(box.at(2), box.at(3));
    while (!xml.atEnd())
        xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    f.close();

    const int size = 64;
    const QString png = m_work.filePath(QStringLiteral("scalable.png"));
    // librsvg: the renderer the desktop itself draws SVG icons with.
    const Run convert = run(QStringLiteral("rsvg-convert"), {QStringLiteral("-w"), QString::number(size),
                                                             QStringLiteral("-h"), QString::number(size),
                                                             QStringLiteral("-f"), QStringLiteral("png"),
                                                             QStringLiteral("-o"), png, path});
    QVERIFY2(convert.ok(), qPrintable(convert.report()));
    const QImage drawn = QImage(png).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(drawn.size(), QSize(size, size));
    const QImage own = zv::appImage(size).convertToFormat(QImage::Format_ARGB32);
    // Mean difference per channel of the colours over white, on a 0 to 255 scale.
    auto overWhite = [](QRgb c, int channel) {
        const int a = qAlpha(c);
        const int v = channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c);
        return (v * a + 255 * (255 - a)) / 255;
    };
    double total = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int channel = 0; channel < 3; ++channel)
                total += std::abs(overWhite(drawn.pixel(x, y), channel) - overWhite(own.pixel(x, y), channel));
    const double mean = total / (size * size * 3);
    QVERIFY2(mean < 3.0, qPrintable(QStringLiteral("mean difference %1").arg(mean)));
}

void TestInstall::desktopEntryValid()
{
    const QString path = pkgPath(QStringLiteral("share/applications/%1.desktop").arg(kAppId));
    const Run v = run(QStringLiteral("desktop-file-validate"), {path});
    QVERIFY2(v.ok(), qPrintable(v.report()));
    // Hints are advice; errors and warnings are not accepted.
    QVERIFY2(!v.out.contains(QLatin1String("error:")) && !v.out.contains(QLatin1String("warning:")),
             qPrintable(v.out));

    const QMap<QString, QString> entry = desktopEntry(path);
    QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
    for (const char *key : {"Name", "Name[ja]", "GenericName[ja]", "Comment", "Comment[ja]"})
        QVERIFY2(!entry.value(QLatin1String(key)).isEmpty(), key);
    QCOMPARE(entry.value(QStringLiteral("Terminal")), QStringLiteral("false"));
    // The menu entry's picture is the installed icon.
    QCOMPARE(entry.value(QStringLiteral("Icon")), kAppId);
    // The validator only hints at a missing main category, but without one menus file the program under
    // "Other".
    const QStringList categories = splitList(entry.value(QStringLiteral("Categories")));
    QVERIFY(categories.contains(QStringLiteral("TextEditor")));
    const QStringList mainCategories{"AudioVideo", "Audio",   "Video",    "Development", "Education", "Game",
                                     "Graphics",   "Network", "Office",   "Science",     "Settings",  "System",
                                     "Utility"};
    QVERIFY2(std::any_of(categories.begin(), categories.end(),
                         [&](const QString &c) { return mainCategories.contains(c); }),
             qPrintable(categories.join(u';')));
}

// The file manager offers the program for text files and hands it the file: the program named in Exec is
// the installed one, Exec passes a file, and every file type is one the desktop knows, listed alike in the
// software-centre data.
void TestInstall::desktopEntryOpensFiles()
{
    const QMap<QString, QString> entry =
        desktopEntry(pkgPath(QStringLiteral("share/applications/%1.desktop").arg(kAppId)));
    const QStringList exec = entry.value(QStringLiteral("Exec")).split(u' ', Qt::SkipEmptyParts);
    QVERIFY(exec.size() >= 2);
    QVERIFY2(QFileInfo(pkgPath(QStringLiteral("bin/") + exec.first())).isExecutable(), qPrintable(exec.first()));
    QVERIFY2(exec.contains(QStringLiteral("%f")) || exec.contains(QStringLiteral("%F")), qPrintable(exec.join(u' ')));

    const QStringList types = splitList(entry.value(QStringLiteral("MimeType")));
    QVERIFY(types.contains(QStringLiteral("text/plain")));
    QMimeDatabase mimes;
    for (const QString &type : types) {
        const QMimeType known = mimes.mimeTypeForName(type);
        QVERIFY2(known.isValid() && known.name() == type, qPrintable(type));
    }

    QFile f(pkgPath(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId)));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    QStringList provided;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("mediatype"))
            provided << xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(QSet<QString>(provided.begin(), provided.end()), QSet<QString>(types.begin(), types.end()));
}

void TestInstall::metainfoValid()
{
    const QString path = pkgPath(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId));
    const Run v = run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--pedantic"), path});
    QVERIFY2(v.ok(), qPrintable(v.report()));
    // The same in the installed tree, where the data is checked against the menu entry it names.
    const Run tree =
        run(QStringLiteral("appstreamcli"), {QStringLiteral("validate-tree"), QStringLiteral("--no-net"), m_root});
    QVERIFY2(tree.ok(), qPrintable(tree.report()));

    // The data names this program, its menu entry and the package's version as its newest release.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    QString id, launchable, newestRelease;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("id"))
            id = xml.readElementText();
        else if (xml.name() == QLatin1String("launchable"))
            launchable = xml.readElementText();
        else if (xml.name() == QLatin1String("release") && newestRelease.isEmpty())
            newestRelease = xml.attributes().value(QLatin1String("version")).toString();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(id, kAppId);
    QVERIFY(QFileInfo(pkgPath(QStringLiteral("share/applications/") + launchable)).isFile());
    QCOMPARE(newestRelease, m_control.value(QStringLiteral("Version")));
}

// The installed program loads our library from the package, not from the build tree or the system.
void TestInstall::libraryFromPackage()
{
    QString problem;
    const QString goma = lddGoma(pkgPath(QStringLiteral("bin/zuvelo-pgp")), &problem);
    QVERIFY2(!goma.isEmpty(), qPrintable(problem));
    QCOMPARE(goma, QFileInfo(pkgPath(QStringLiteral("lib/zuvelo-pgp/libgoma.so.2"))).canonicalFilePath());
}

// A program in the installed bin folder finds the installed manual first.
void TestInstall::helpFromPackage()
{
    const QString probe = pkgPath(QStringLiteral("bin/zv_install_probe"));
    QVERIFY(QFile::copy(QStringLiteral(ZV_INSTALL_PROBE), probe));
    const Run r = run(probe, {});
    QFile::remove(probe);
    QVERIFY2(r.ok(), qPrintable(r.report()));
    QCOMPARE(r.out.trimmed(), QDir::cleanPath(pkgPath(QStringLiteral("share/zuvelo-pgp/help/manual.html"))));
}

// Started from the unpacked package with a file, as the menu entry starts it, the program comes up and stays
// up, with our library mapped from the package.
void TestInstall::startsFromPackage()
{
    const QString home = m_work.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home + QStringLiteral("/.gnupg")));
    QFile::setPermissions(home + QStringLiteral("/.gnupg"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString document = home + QStringLiteral("/memo.txt");
    {
        QFile f(document);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x81\x83\x82\r\n"); // "日本語のメモ" in Shift-JIS
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("GNUPGHOME"), home + QStringLiteral("/.gnupg"));
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));

    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(home);
    program.start(pkgPath(QStringLiteral("bin/zuvelo-pgp")), {document});
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    const bool ended = program.waitForFinished(3000);
    QString maps;
    if (!ended) {
        QFile f(QStringLiteral("/proc/%1/maps").arg(program.processId()));
        if (f.open(QIODevice::ReadOnly))
            maps = QString::fromUtf8(f.readAll());
        program.kill();
        program.waitForFinished(10000);
    }
    const QString err = QString::fromUtf8(program.readAllStandardError());
    run(QStringLiteral("gpgconf"), {QStringLiteral("--kill"), QStringLiteral("all")}, env, 10000);

    QVERIFY2(!ended, qPrintable(QStringLiteral("the program ended at once (exit %1):\n%2")
                                    .arg(program.exitCode()).arg(err)));
    const QString goma = QFileInfo(pkgPath(QStringLiteral("lib/zuvelo-pgp/libgoma.so.2"))).canonicalFilePath();
    QVERIFY2(maps.contains(goma), qPrintable(maps));
}

// `make install` into a staging folder (DESTDIR) puts the same files below its prefix as the package puts
// under /usr, the program there finds its library there, and `make uninstall` with the same DESTDIR takes
// every file away again. The prefix is one no real install uses, so that nothing outside the staging folder is
// ever touched.
void TestInstall::installAndUninstall()
{
    const QString stage = m_work.filePath(QStringLiteral("stage"));
    const QString prefix = m_work.filePath(QStringLiteral("prefix"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), stage);
    // One named component, so that the tree's install_manifest.txt of a real install is left alone.
    const Run install = run(QStringLiteral(ZV_CMAKE),
                            {QStringLiteral("--install"), QStringLiteral(ZV_BINARY_DIR), QStringLiteral("--component"),
                             QStringLiteral("Unspecified"), QStringLiteral("--prefix"), prefix},
                            env);
    QVERIFY2(install.ok(), qPrintable(install.report()));
    QVERIFY(!QFileInfo::exists(prefix));

    const QString staged = stage + prefix;
    // The package adds its copyright file and changelog, and compresses the manual pages.
    QStringList packaged = filesBelow(m_root)
                               .replaceInStrings(QRegularExpression(QStringLiteral("^usr/")), QString())
                               .replaceInStrings(QRegularExpression(QStringLiteral(R"(^(share/man/.*)\.gz$)")),
                                                 QStringLiteral("\\1"));
    packaged.removeIf([](const QString &f) { return f.startsWith(QLatin1String("share/doc/zuvelo-pgp/")); });
    QCOMPARE(filesBelow(staged), packaged);
    QCOMPARE(filesBelow(stage).size(), filesBelow(staged).size());
    QString problem;
    const QString goma = lddGoma(staged + QStringLiteral("/bin/zuvelo-pgp"), &problem);
    QVERIFY2(!goma.isEmpty(), qPrintable(problem));
    QCOMPARE(goma, QFileInfo(staged + QStringLiteral("/lib/zuvelo-pgp/libgoma.so.2")).canonicalFilePath());

    const Run uninstall = run(QStringLiteral(ZV_CMAKE),
                              {QStringLiteral("-DMANIFEST=" ZV_BINARY_DIR "/install_manifest_Unspecified.txt"),
                               QStringLiteral("-P"), QStringLiteral(ZV_SOURCE_DIR "/cmake/uninstall.cmake")},
                              env);
    QVERIFY2(uninstall.ok(), qPrintable(uninstall.report()));
    QCOMPARE(filesBelow(stage), QStringList());
    QVERIFY(!QFileInfo::exists(staged + QStringLiteral("/lib/zuvelo-pgp")));
    QVERIFY(!QFileInfo::exists(staged + QStringLiteral("/share/zuvelo-pgp")));
    QVERIFY(QFileInfo(staged + QStringLiteral("/share/applications")).isDir());
}

// Debian's own checker finds nothing to object to in the package or its upload description: no error and no
// warning (informational tags are advice).
void TestInstall::lintianClean()
{
    if (QStandardPaths::findExecutable(QStringLiteral("lintian")).isEmpty())
        QFAIL("lintian is not installed: scripts/install-deps.sh installs it");
    const Run r = run(QStringLiteral("lintian"), {QStringLiteral("--fail-on"), QStringLiteral("error,warning"),
                                                  QStringLiteral("--no-tag-display-limit"), m_changes},
                      {}, 600000);
    QStringList objections;
    for (const QString &line : r.out.split(u'\n'))
        if (line.startsWith(QLatin1String("E: ")) || line.startsWith(QLatin1String("W: ")))
            objections << line;
    QVERIFY2(objections.isEmpty(), qPrintable(objections.join(u'\n')));
    QVERIFY2(r.ok(), qPrintable(r.report()));
}

// Free software under the GPL, version 3 or later, said alike by the package, the software-centre data and the
// About window's source.
void TestInstall::licence()
{
    QFile copyright(pkgPath(QStringLiteral("share/doc/zuvelo-pgp/copyright")));
    QVERIFY(copyright.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(copyright.readAll());
    QVERIFY(text.startsWith(QLatin1String("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral(R"(Files: \*\nCopyright: [^\n]+\nLicense: GPL-3\+)"))));
    QVERIFY(text.contains(QLatin1String("/usr/share/common-licenses/GPL-3")));

    QFile licence(QStringLiteral(ZV_SOURCE_DIR "/LICENSE"));
    QVERIFY(licence.open(QIODevice::ReadOnly));
    QFile gpl3(QStringLiteral("/usr/share/common-licenses/GPL-3"));
    if (gpl3.open(QIODevice::ReadOnly))
        QCOMPARE(licence.readAll(), gpl3.readAll());

    QFile metainfo(pkgPath(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId)));
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    QVERIFY(metainfo.readAll().contains("<project_license>GPL-3.0-or-later</project_license>"));
}

void TestInstall::manualPage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("English") << QStringLiteral("share/man/man1/zuvelo-pgp.1.gz") << QStringLiteral("C.UTF-8")
                             << QStringList{"NAME", "SYNOPSIS", "FILES", "ENVIRONMENT", "registry.reg", "goma.conf",
                                            "XDG_CONFIG_HOME", "GNUPGHOME", "libgoma.so.2"};
    QTest::newRow("Japanese") << QStringLiteral("share/man/ja/man1/zuvelo-pgp.1.gz") << QStringLiteral("ja_JP.UTF-8")
                              << QStringList{"名前", "書式", "ファイル", "環境変数", "registry.reg", "goma.conf",
                                             "XDG_CONFIG_HOME", "GNUPGHOME", "libgoma.so.2"};
}

// Each manual page, as man shows it, has its sections and names the files and variables; groff finds nothing
// wrong with it.
void TestInstall::manualPage()
{
    QFETCH(QString, page);
    QFETCH(QString, language);
    QFETCH(QStringList, expected);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANG"), language);
    env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    QProcess man;
    man.setProcessEnvironment(env);
    // run() sets LC_ALL to C.UTF-8, which would hide the language from man.
    env.insert(QStringLiteral("LC_ALL"), language);
    man.setProcessEnvironment(env);
    man.start(QStringLiteral("man"), {QStringLiteral("-l"), QStringLiteral("--warnings"), pkgPath(page)});
    QVERIFY(man.waitForFinished(60000));
    const QString out = QString::fromUtf8(man.readAllStandardOutput());
    const QString err = QString::fromUtf8(man.readAllStandardError());
    QCOMPARE(man.exitCode(), 0);
    QVERIFY2(err.trimmed().isEmpty(), qPrintable(err));
    for (const QString &word : expected)
        QVERIFY2(out.contains(word), qPrintable(word + QStringLiteral(" missing from:\n") + out));
}

// The package installed for real with apt, as a user installs it: `man zuvelo-pgp` finds its page, the menu
// entry is in the desktop's cache and opens a file given to it in a window titled with its name, and removing
// the package takes away every file it brought and its entry in the cache.
void TestInstall::realInstallAndRemove()
{
    if (::geteuid() != 0)
        QSKIP("installing a package needs root");
    const Run state = run(QStringLiteral("dpkg-query"), {QStringLiteral("-W"), QStringLiteral("-f=${Status}"),
                                                         QStringLiteral("zuvelo-pgp")});
    if (state.out.contains(QLatin1String(" installed")))
        QSKIP("zuvelo-pgp is installed on this machine already; the test does not touch an install of yours");
    for (const char *tool : {"apt-get", "Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1 is missing: scripts/install-deps.sh installs it").arg(tool)));

    QProcessEnvironment aptEnv = QProcessEnvironment::systemEnvironment();
    aptEnv.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
    const Run install = run(QStringLiteral("apt-get"), {QStringLiteral("install"), QStringLiteral("-y"),
                                                        QStringLiteral("--no-install-recommends"), m_deb},
                            aptEnv, 600000);
    auto remove = [&] {
        return run(QStringLiteral("apt-get"), {QStringLiteral("remove"), QStringLiteral("-y"), QStringLiteral("zuvelo-pgp")},
                   aptEnv, 600000);
    };
    struct Cleanup {
        std::function<void()> f;
        ~Cleanup() { if (f) f(); }
    } cleanup{[&] { remove(); }};
    QVERIFY2(install.ok(), qPrintable(install.report()));
    const Run listed = run(QStringLiteral("dpkg-query"), {QStringLiteral("-L"), QStringLiteral("zuvelo-pgp")});
    QVERIFY2(listed.ok(), qPrintable(listed.report()));
    QStringList files;
    for (const QString &line : listed.out.split(u'\n', Qt::SkipEmptyParts))
        if (QFileInfo(line).isFile())
            files << line;
    QVERIFY(files.contains(QStringLiteral("/usr/bin/zuvelo-pgp")));

    const Run where = run(QStringLiteral("man"), {QStringLiteral("-w"), QStringLiteral("zuvelo-pgp")});
    QCOMPARE(where.out.trimmed(), QStringLiteral("/usr/share/man/man1/zuvelo-pgp.1.gz"));
    QProcessEnvironment manEnv = QProcessEnvironment::systemEnvironment();
    manEnv.insert(QStringLiteral("MANPAGER"), QStringLiteral("cat"));
    const Run page = run(QStringLiteral("man"), {QStringLiteral("zuvelo-pgp")}, manEnv);
    QVERIFY2(page.ok() && page.out.contains(QLatin1String("registry.reg")), qPrintable(page.report()));

    // desktop-file-utils' trigger put the entry into the cache that file managers read.
    QFile cache(QStringLiteral("/usr/share/applications/mimeinfo.cache"));
    QVERIFY(cache.open(QIODevice::ReadOnly));
    QVERIFY(cache.readAll().contains((kAppId + QStringLiteral(".desktop")).toUtf8()));
    cache.close();

    // The menu entry's command, as a launcher runs it, with a file.
    const QMap<QString, QString> entry = desktopEntry(QStringLiteral("/usr/share/applications/%1.desktop").arg(kAppId));
    const QString home = m_work.filePath(QStringLiteral("apt-home"));
    QVERIFY(QDir().mkpath(home + QStringLiteral("/.gnupg")));
    QFile::setPermissions(home + QStringLiteral("/.gnupg"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString document = home + QStringLiteral("/launched.txt");
    {
        QFile f(document);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x83\x81\x83\x82\r\n");
    }
    QStringList command;
    for (const QString &part : entry.value(QStringLiteral("Exec")).split(u' ', Qt::SkipEmptyParts))
        command << (part == QLatin1String("%f") || part == QLatin1String("%F") ? document : part);
    QVERIFY(command.size() >= 2);

    QProcess xvfb;
    xvfb.setProcessChannelMode(QProcess::SeparateChannels);
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                        QStringLiteral("1024x768x24")});
    QVERIFY(xvfb.waitForStarted());
    QString display;
    for (int i = 0; i < 100 && display.isEmpty(); ++i) {
        xvfb.waitForReadyRead(100);
        display = QString::fromUtf8(xvfb.readAllStandardOutput()).trimmed();
    }
    QVERIFY2(!display.isEmpty(), "Xvfb gave no display");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + display);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("GNUPGHOME"), home + QStringLiteral("/.gnupg"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(home);
    program.start(QStandardPaths::findExecutable(command.first()), command.mid(1));
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    bool titled = false;
    for (int i = 0; i < 120 && !titled; ++i) {
        const Run search = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"),
                                                           QStringLiteral("^launched\\.txt - Zuvelo PGP$")}, env, 10000);
        titled = search.ok() && !search.out.trimmed().isEmpty();
        if (!titled)
            QTest::qWait(250);
    }
    program.kill();
    program.waitForFinished(10000);
    xvfb.kill();
    xvfb.waitForFinished(10000);
    run(QStringLiteral("gpgconf"), {QStringLiteral("--kill"), QStringLiteral("all")}, env, 10000);
    QVERIFY2(titled, qPrintable(QString::fromUtf8(program.readAllStandardError())));

    cleanup.f = nullptr;
    const Run removed = remove();
    QVERIFY2(removed.ok(), qPrintable(removed.report()));
    for (const QString &file : files)
        QVERIFY2(!QFileInfo::exists(file), qPrintable(file + QStringLiteral(" left behind")));
    const Run after = run(QStringLiteral("dpkg-query"), {QStringLiteral("-W"), QStringLiteral("-f=${Status}"),
                                                         QStringLiteral("zuvelo-pgp")});
    QVERIFY2(!after.out.contains(QLatin1String(" installed")) && !after.out.contains(QLatin1String("config-files")),
             qPrintable(after.out));
    QVERIFY(cache.open(QIODevice::ReadOnly));
    QVERIFY(!cache.readAll().contains((kAppId + QStringLiteral(".desktop")).toUtf8()));
}

QTEST_MAIN(TestInstall)
#include "test_install.moc"

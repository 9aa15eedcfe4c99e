// The program update check: reading the offer, deciding to offer it, and the installer file.
#include "text/commonfunc.h"
#include "text/ramuxerror.h"
#include "update/installer.h"
#include "update/programupdate.h"
#include "update/serverrequest.h"
#include "update/updaterun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>
#include <thread>

namespace {

QString dataMarkup(const QString &inner)
{
    return QStringLiteral("<DATA>") + inner + QStringLiteral("</DATA>");
}

QString sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A scripted run: the answer the "server" gives, what the user answers, what the download writes.
struct FakeRun
{
    int requestResult = 0;
    QString answer;
    int userAnswer = 6;
    bool downloadCompletes = true;
    QByteArray body = QByteArrayLiteral("#!/bin/sh\necho installer\n");

    QStringList sentParameters;
    QStringList statuses;
    int asked = 0;
    ProgramUpdateFields askedWith;
    QString downloadedUrl;

    ProgramUpdateHooks hooks(const QString &tempFolder)
    {
        ProgramUpdateHooks h;
        h.reportStatus = [this](const ProgramUpdateFields &f) { statuses << f.StatusText; };
        h.askProgramUpdate = [this](const ProgramUpdateFields &f) {
            ++asked;
            askedWith = f;
            return userAnswer;
        };
        h.serverRequest = [this](QStringList &parameters, QString &answerOut, QString &, const QString &) {
            sentParameters = parameters;
            answerOut = requestResult == 0 ? answer : QString();
            return requestResult;
        };
        h.downloadFile = [this](const QString &url, QFileDevice &file) {
            downloadedUrl = url;
            if (!downloadCompletes)
                return false;
            file.seek(0);
            file.write(body);
            return true;
        };
        h.runningVersion = QStringLiteral("1.1");
        h.tempFolder = tempFolder + QLatin1Char('/');
        return h;
    }
};

// The installer lies in a fresh folder of its own inside the temporary folder, which only the
// user can enter.
void verifyPrivateDownload(const QString &installerPath, const QString &tempFolder, const QString &name)
{
    const QFileInfo file(installerPath);
    QCOMPARE(file.fileName(), name);
    const QFileInfo folder(file.absolutePath());
    QCOMPARE(folder.absolutePath(), QFileInfo(tempFolder).absoluteFilePath());
    QVERIFY2(folder.fileName().startsWith(QLatin1String("ramux-update-")), qPrintable(folder.fileName()));
    QCOMPARE(int(folder.permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                         QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther)),
             0);
}

} // namespace

class TestProgramUpdate : public QObject
{
    Q_OBJECT

private slots:
    void answerValuesFromTextAndCData();
    void answerWithElementsInsideAValueIsUnreadable_data();
    void answerWithElementsInsideAValueIsUnreadable();
    void installerFileNameIsWhatFollowsTheLastSlash();

    void switchedOffOrStoppedSendsNothing();
    void failedRequestShowsNothing_data();
    void failedRequestShowsNothing();
    void sameVersionIsNotOffered();
    void olderVersionIsOfferedAllTheSame();
    void missingVersionIsOfferedWithEmptyVersion();
    void declinedOfferDownloadsNothing();
    void acceptedOfferDownloadsIntoTheTemporaryFolder();
    void linkWithoutSlashIsTheFileName();
    void linkWithoutFileNameCreatesNothing_data();
    void linkWithoutFileNameCreatesNothing();
    void failedDownloadLeavesTheFileAndIsNotReady();
    void checksumMatchMakesTheInstallerReady();
    void checksumMismatchDeletesTheFile();
    void existingLinkAtTheInstallerPathIsReplacedNotFollowed();
    void packageUnderAnotherNameIsSavedAsDeb_data();
    void packageUnderAnotherNameIsSavedAsDeb();

    void updateRunStepUsesTheRunsHost();
    void realServerOfferDownloadAndVerify();
    void systemStarterRunsTheInstallerDirectly();
    void replacedStarterIsUsed();
};

void TestProgramUpdate::answerValuesFromTextAndCData()
{
    const ProgramUpdateOffer offer = parseProgramUpdateAnswer(
        dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK><![CDATA[http://h/a?x=1&y=2]]></DL_LINK>"
                                  "<ABOUT>Новое &amp; лучшее</ABOUT><ABOUT_URL/>"
                                  "<DL_SHA256>%1</DL_SHA256>")
                       .arg(QStringLiteral("AB").repeated(32))));
    QCOMPARE(offer.version, QStringLiteral("1.2"));
    QCOMPARE(offer.downloadLink, QStringLiteral("http://h/a?x=1&y=2"));
    QCOMPARE(offer.about, QStringLiteral("Новое & лучшее"));
    QVERIFY(offer.aboutUrl.isEmpty());
    QCOMPARE(offer.sha256, QStringLiteral("ab").repeated(32));

    const ProgramUpdateOffer empty = parseProgramUpdateAnswer(QStringLiteral("<DATA/>"));
    QVERIFY(empty.version.isEmpty() && empty.downloadLink.isEmpty() && empty.sha256.isEmpty());
}

void TestProgramUpdate::answerWithElementsInsideAValueIsUnreadable_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("child element") << dataMarkup(QStringLiteral("<VERSION><B>1.2</B></VERSION>"));
    QTest::newRow("mixed content") << dataMarkup(QStringLiteral("<DL_LINK>http://h/<B>x</B></DL_LINK>"));
    QTest::newRow("text and CDATA") << dataMarkup(QStringLiteral("<ABOUT>a<![CDATA[b]]></ABOUT>"));
    QTest::newRow("not XML") << QStringLiteral("<DATA><VERSION>1.2</DATA>");
    QTest::newRow("digest not hex") << dataMarkup(QStringLiteral("<DL_SHA256>xyz</DL_SHA256>"));
    QTest::newRow("digest too short") << dataMarkup(QStringLiteral("<DL_SHA256>abcd</DL_SHA256>"));
}

void TestProgramUpdate::answerWithElementsInsideAValueIsUnreadable()
{
    QFETCH(QString, answer);
    QVERIFY_THROWS_EXCEPTION(RamuxError, parseProgramUpdateAnswer(answer));

    // In the check the error ends the run before any window.
    QTemporaryDir dir;
    FakeRun run;
    run.answer = answer;
    ProgramUpdateFields fields;
    QVERIFY_THROWS_EXCEPTION(RamuxError, CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields,
                                                            run.hooks(dir.path())));
    QCOMPARE(run.asked, 0);
}

void TestProgramUpdate::installerFileNameIsWhatFollowsTheLastSlash()
{
    QCOMPARE(installerFileName(QStringLiteral("http://h/dl/setup-1.2.sh")), QStringLiteral("setup-1.2.sh"));
    QCOMPARE(installerFileName(QStringLiteral("http://h/dl/")), QString());
    QCOMPARE(installerFileName(QStringLiteral("setup.sh")), QStringLiteral("setup.sh"));
    QVERIFY(!isUsableInstallerFileName(QString()));
    QVERIFY(!isUsableInstallerFileName(QStringLiteral(".")));
    QVERIFY(!isUsableInstallerFileName(QStringLiteral("..")));
    QVERIFY(isUsableInstallerFileName(QStringLiteral("...")));
}

void TestProgramUpdate::switchedOffOrStoppedSendsNothing()
{
    QTemporaryDir dir;
    FakeRun run;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>http://h/s.sh</DL_LINK>"));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), false, fields, run.hooks(dir.path()));
    QVERIFY(run.statuses.isEmpty());
    QVERIFY(run.sentParameters.isEmpty());

    ProgramUpdateHooks stopped = run.hooks(dir.path());
    stopped.stopRequested = [] { return true; };
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, stopped);
    QVERIFY(run.statuses.isEmpty());
    QVERIFY(run.sentParameters.isEmpty());
}

void TestProgramUpdate::failedRequestShowsNothing_data()
{
    QTest::addColumn<int>("result");
    QTest::newRow("unreachable") << -1;
    QTest::newRow("server failure") << 7;
}

void TestProgramUpdate::failedRequestShowsNothing()
{
    QFETCH(int, result);
    QTemporaryDir dir;
    FakeRun run;
    run.requestResult = result;
    ProgramUpdateFields fields;
    fields.NewVersion = QStringLiteral("stale");
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QCOMPARE(run.sentParameters, QStringList{QStringLiteral("action=check_update")});
    QCOMPARE(run.statuses, QStringList{QStringLiteral("Проверка обновления программы...")});
    QCOMPARE(run.asked, 0);
    QVERIFY(fields.NewVersion.isEmpty());
}

void TestProgramUpdate::sameVersionIsNotOffered()
{
    QTemporaryDir dir;
    FakeRun run;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.1</VERSION><DL_LINK>http://h/s.sh</DL_LINK>"));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QCOMPARE(run.asked, 0);
    QCOMPARE(fields.NewVersion, QStringLiteral("1.1"));
    QVERIFY(fields.DownloadLink.isEmpty());

    // With no version of its own given, the check compares with the program's version.
    ProgramUpdateHooks real = run.hooks(dir.path());
    real.runningVersion.clear();
    run.answer = dataMarkup(
        QStringLiteral("<VERSION>%1</VERSION><DL_LINK>http://h/s.sh</DL_LINK>").arg(GetProductVersion()));
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, real);
    QCOMPARE(run.asked, 0);
}

void TestProgramUpdate::olderVersionIsOfferedAllTheSame()
{
    QTemporaryDir dir;
    FakeRun run;
    run.userAnswer = 7;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.0</VERSION><DL_LINK>http://h/s.sh</DL_LINK>"
                                           "<ABOUT>Откат</ABOUT><ABOUT_URL>http://h/about</ABOUT_URL>"));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QCOMPARE(run.asked, 1);
    QCOMPARE(run.askedWith.NewVersion, QStringLiteral("1.0"));
    QCOMPARE(run.askedWith.DownloadLink, QStringLiteral("http://h/s.sh"));
    QCOMPARE(run.askedWith.AboutText, QStringLiteral("Откат"));
    QCOMPARE(run.askedWith.AboutUrl, QStringLiteral("http://h/about"));
    QCOMPARE(fields.DialogResult, 7);
}

void TestProgramUpdate::missingVersionIsOfferedWithEmptyVersion()
{
    QTemporaryDir dir;
    FakeRun run;
    run.userAnswer = 2;
    run.answer = dataMarkup(QStringLiteral("<DL_LINK>http://h/s.sh</DL_LINK>"));
    ProgramUpdateFields fields;
    fields.AboutText = QStringLiteral("left from before");
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QCOMPARE(run.asked, 1);
    QVERIFY(run.askedWith.NewVersion.isEmpty());
    QVERIFY(run.askedWith.AboutText.isEmpty());
    QCOMPARE(fields.DialogResult, 2);
}

void TestProgramUpdate::declinedOfferDownloadsNothing()
{
    QTemporaryDir dir;
    for (int answer : {7, 2}) {
        FakeRun run;
        run.userAnswer = answer;
        run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>http://h/s.sh</DL_LINK>"));
        ProgramUpdateFields fields;
        CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
        QVERIFY(run.downloadedUrl.isEmpty());
        QVERIFY(!fields.InstallerReady);
        QVERIFY(QDir(dir.path()).isEmpty());
    }
}

void TestProgramUpdate::acceptedOfferDownloadsIntoTheTemporaryFolder()
{
    QTemporaryDir dir;
    FakeRun run;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>http://h/dl/setup.sh</DL_LINK>"));
    // A file of the same name in the shared temporary folder is neither used nor touched.
    {
        QFile old(dir.filePath(QStringLiteral("setup.sh")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'x'));
    }
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QCOMPARE(run.statuses, (QStringList{QStringLiteral("Проверка обновления программы..."),
                                        QStringLiteral("Загрузка обновления...")}));
    QCOMPARE(run.downloadedUrl, QStringLiteral("http://h/dl/setup.sh"));
    verifyPrivateDownload(fields.InstallerPath, dir.path(), QStringLiteral("setup.sh"));
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("setup.sh"))).size(), 4096);
    QVERIFY(fields.InstallerReady);
    QFile written(fields.InstallerPath);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), run.body);
}

void TestProgramUpdate::linkWithoutSlashIsTheFileName()
{
    QTemporaryDir dir;
    FakeRun run;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>setup.sh</DL_LINK>"));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    verifyPrivateDownload(fields.InstallerPath, dir.path(), QStringLiteral("setup.sh"));
    QVERIFY(QFile::exists(fields.InstallerPath));
}

void TestProgramUpdate::linkWithoutFileNameCreatesNothing_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("ends in slash") << QStringLiteral("http://h/dl/");
    QTest::newRow("dot") << QStringLiteral("http://h/dl/.");
    QTest::newRow("dot dot") << QStringLiteral("http://h/dl/..");
}

void TestProgramUpdate::linkWithoutFileNameCreatesNothing()
{
    QFETCH(QString, link);
    QTemporaryDir parent;
    const QString temp = parent.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(temp));
    FakeRun run;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>%1</DL_LINK>").arg(link));
    ProgramUpdateFields fields;
    QVERIFY_THROWS_EXCEPTION(
        RamuxError, CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(temp)));
    QVERIFY(run.downloadedUrl.isEmpty());
    QVERIFY(!fields.InstallerReady);
    QCOMPARE(QDir(parent.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("tmp")});
    QVERIFY(QDir(temp).isEmpty());
}

void TestProgramUpdate::failedDownloadLeavesTheFileAndIsNotReady()
{
    QTemporaryDir dir;
    FakeRun run;
    run.downloadCompletes = false;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>http://h/s.sh</DL_LINK>"));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QVERIFY(!fields.InstallerReady);
    QVERIFY(QFile::exists(fields.InstallerPath));
    QCOMPARE(QFileInfo(fields.InstallerPath).size(), 0);
}

void TestProgramUpdate::checksumMatchMakesTheInstallerReady()
{
    QTemporaryDir dir;
    FakeRun run;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>http://h/s.sh</DL_LINK>"
                                           "<DL_SHA256> %1 </DL_SHA256>")
                                .arg(sha256Hex(run.body).toUpper()));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QVERIFY(fields.InstallerReady);
    QCOMPARE(fileSha256(fields.InstallerPath), sha256Hex(run.body));
}

void TestProgramUpdate::checksumMismatchDeletesTheFile()
{
    QTemporaryDir dir;
    FakeRun run;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>http://h/s.sh</DL_LINK>"
                                           "<DL_SHA256>%1</DL_SHA256>")
                                .arg(sha256Hex(QByteArrayLiteral("what the server meant"))));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QCOMPARE(run.downloadedUrl, QStringLiteral("http://h/s.sh"));
    QVERIFY(!fields.InstallerReady);
    QVERIFY(!QFile::exists(fields.InstallerPath));
    QVERIFY(QDir(dir.path()).isEmpty()); // its private folder went with it
}

void TestProgramUpdate::existingLinkAtTheInstallerPathIsReplacedNotFollowed()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("victim"));
    {
        QFile victim(target);
        QVERIFY(victim.open(QIODevice::WriteOnly));
        victim.write("keep me");
    }
    QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("s.sh"))));
    FakeRun run;
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK>http://h/s.sh</DL_LINK>"));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QVERIFY(fields.InstallerReady);
    QVERIFY(!QFileInfo(fields.InstallerPath).isSymLink());
    QFile victim(target);
    QVERIFY(victim.open(QIODevice::ReadOnly));
    QCOMPARE(victim.readAll(), QByteArrayLiteral("keep me"));
}

void TestProgramUpdate::packageUnderAnotherNameIsSavedAsDeb_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("package");
    QTest::addColumn<QString>("name");
    QTest::newRow("signed link") << QStringLiteral("http://h/dl/ramux_1.2_amd64.deb?sig=a/b%2F") << true << QStringLiteral("ramux_1.2_amd64.deb");
    QTest::newRow("plain name") << QStringLiteral("http://h/dl/ramux-1.2") << true << QStringLiteral("ramux-1.2.deb");
    QTest::newRow("package behind a query") << QStringLiteral("http://h/get?id=5#x") << true << QStringLiteral("get.deb");
    QTest::newRow("odd characters") << QStringLiteral("http://h/%D0%BF 1 .DEB") << true << QStringLiteral("_D0_BF_1_.deb");
    QTest::newRow("named as a package") << QStringLiteral("http://h/dl/ramux_1.2_amd64.deb") << true << QStringLiteral("ramux_1.2_amd64.deb");
    QTest::newRow("program keeps its name") << QStringLiteral("http://h/setup.sh?v=2") << false << QStringLiteral("setup.sh?v=2");
}

void TestProgramUpdate::packageUnderAnotherNameIsSavedAsDeb()
{
    QFETCH(QString, link);
    QFETCH(bool, package);
    QFETCH(QString, name);
    QTemporaryDir dir;
    FakeRun run;
    if (package)
        run.body = QByteArrayLiteral("!<arch>\ndebian-binary   0           0     0     100644  4         `\n2.0\n");
    run.answer = dataMarkup(QStringLiteral("<VERSION>1.2</VERSION><DL_LINK><![CDATA[%1]]></DL_LINK><DL_SHA256>%2</DL_SHA256>")
                                .arg(link, sha256Hex(run.body)));
    ProgramUpdateFields fields;
    CheckProgramUpdate(QStringLiteral("http://s/api.php"), true, fields, run.hooks(dir.path()));
    QVERIFY(fields.InstallerReady);
    verifyPrivateDownload(fields.InstallerPath, dir.path(), name);
    QCOMPARE(fileSha256(fields.InstallerPath), sha256Hex(run.body));
    QCOMPARE(QDir(QFileInfo(fields.InstallerPath).absolutePath()).entryList(QDir::Files), QStringList{name});
    QCOMPARE(packageFileName(QStringLiteral("http://h/")), QStringLiteral("ramux-update.deb"));
}

// The step as the update run calls it: the host's request, status and offer window.
void TestProgramUpdate::updateRunStepUsesTheRunsHost()
{
    struct Host final : UpdateHost
    {
        QStringList statuses;
        QString offeredVersion;
        QString offeredLink;
        QString sentTo;
        int answer = 7;
        void ReportStatus(const UpdateFields &f) override { statuses << f.StatusText; }
        void HideStatus() override {}
        void AskProgramUpdate(UpdateFields &f) override
        {
            offeredVersion = f.NewVersion;
            offeredLink = f.DownloadLink;
            f.DialogResult = answer;
        }
        int request(QStringList &parameters, QString &answerText, QString &, const QString &address) override
        {
            sentTo = address + QLatin1Char('?') + parameters.join(QLatin1Char('&'));
            answerText =
                QStringLiteral("<DATA><VERSION>0.9</VERSION><DL_LINK>http://h/s.sh</DL_LINK></DATA>");
            return 0;
        }
    } host;
    UpdateRun run(host);
    run.fields.ServerAddress = QStringLiteral("http://s/api.php");
    run.fields.DialogResult = 99;
    RunProgramUpdateCheck(run);
    QCOMPARE(host.sentTo, QStringLiteral("http://s/api.php?action=check_update"));
    QCOMPARE(host.statuses, QStringList{QStringLiteral("Проверка обновления программы...")});
    QCOMPARE(host.offeredVersion, QStringLiteral("0.9"));
    QCOMPARE(host.offeredLink, QStringLiteral("http://h/s.sh"));
    QCOMPARE(run.fields.DialogResult, 7);
    QCOMPARE(run.fields.NewVersion, QStringLiteral("0.9"));
    QCOMPARE(run.fields.StatusText, QStringLiteral("Проверка обновления программы..."));
    QVERIFY(!run.fields.InstallerReady);

    // Switched off in the settings: nothing is asked.
    host.sentTo.clear();
    run.fields.ProgramUpdateEnabled = false;
    RunProgramUpdateCheck(run);
    QVERIFY(host.sentTo.isEmpty());
}

// The whole check through the real request layer against a server on the loopback.
void TestProgramUpdate::realServerOfferDownloadAndVerify()
{
    const std::string installer = "#!/bin/sh\necho real\n";
    std::string digest = sha256Hex(QByteArray::fromStdString(installer)).toStdString();
    std::string queries;
    httplib::Server server;
    server.Get("/dl/setup.sh", [&](const httplib::Request &, httplib::Response &res) {
        res.set_content(installer, "application/octet-stream");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    QVERIFY(port > 0);
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    server.Get("/api2.php", [&](const httplib::Request &req, httplib::Response &res) {
        queries += req.get_param_value("action") + ";";
        res.set_content(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ROOT version=\"1\"><RESULT status=\"OK\"/>"
            "<DATA><VERSION>1.2</VERSION><DL_LINK>" +
                base +
                "/dl/setup.sh</DL_LINK>"
                "<DL_SHA256>" +
                digest + "</DL_SHA256></DATA></ROOT>",
            "text/xml");
    });
    std::thread listener([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::yield();

    QTemporaryDir dir;
    ProgramUpdateHooks hooks;
    int asked = 0;
    hooks.askProgramUpdate = [&](const ProgramUpdateFields &f) {
        ++asked;
        return f.NewVersion == QLatin1String("1.2") ? 6 : 7;
    };
    hooks.runningVersion = QStringLiteral("1.1");
    hooks.tempFolder = dir.path() + QLatin1Char('/');
    ProgramUpdateFields fields;
    CheckProgramUpdate(QString::fromStdString(base + "/api2.php"), true, fields, hooks);
    QCOMPARE(asked, 1);
    QVERIFY(fields.InstallerReady);
    QCOMPARE(fileSha256(fields.InstallerPath), QString::fromStdString(digest));

    // The same offer with a digest of something else: the download is thrown away.
    digest = std::string(64, '0');
    ProgramUpdateFields second;
    CheckProgramUpdate(QString::fromStdString(base + "/api2.php"), true, second, hooks);
    QVERIFY(!second.InstallerReady);
    QVERIFY(!QFile::exists(second.InstallerPath));
    QCOMPARE(QString::fromStdString(queries), QStringLiteral("check_update;check_update;"));

    server.stop();
    listener.join();
}

void TestProgramUpdate::systemStarterRunsTheInstallerDirectly()
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("setup.sh"));
    const QString marker = dir.filePath(QStringLiteral("marker"));
    {
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // The installer runs in its own folder.
        file.write("#!/bin/sh\npwd > marker\n");
    }
    QVERIFY(!(QFile::permissions(script) & QFileDevice::ExeOwner));
    qputenv("RAMUX_INSTALLER_NO_PKEXEC", "1");
    QCOMPARE(StartInstallerElevated(script).result, InstallOutcome::Result::Installed);
    QVERIFY(QFile::permissions(script) & QFileDevice::ExeOwner);
    QVERIFY(QFileInfo(marker).size() > 0);
    QFile written(marker);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QDir(QString::fromLocal8Bit(written.readAll().trimmed())).canonicalPath(),
             QDir(dir.path()).canonicalPath());

    QCOMPARE(StartInstallerElevated(dir.filePath(QStringLiteral("missing.sh"))).result,
             InstallOutcome::Result::NotStarted);
}

void TestProgramUpdate::replacedStarterIsUsed()
{
    QString started;
    setInstallerStarter([&](const QString &path, const StopCheck &) {
        started = path;
        return InstallOutcome{InstallOutcome::Result::Installed, 0, false};
    });
    QCOMPARE(StartInstallerElevated(QStringLiteral("/nowhere/setup.sh")).result, InstallOutcome::Result::Installed);
    QCOMPARE(started, QStringLiteral("/nowhere/setup.sh"));
    setInstallerStarter({});
    QCOMPARE(StartInstallerElevated(QStringLiteral("/nowhere/setup.sh")).result, InstallOutcome::Result::NotStarted);
}

QTEST_GUILESS_MAIN(TestProgramUpdate)
#include "tst_programupdate.moc"

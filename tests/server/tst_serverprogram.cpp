// The built ramux-server as a program: the advertised download link and its digest.
#include "sync/syncprocess.h"

#include "content/content.h"
#include "content/contentdb.h"

#include <QCryptographicHash>
#include <QDomDocument>
#include <QTemporaryDir>
#include <httplib.h>

namespace {

struct Running
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    int port = 0;
    QString log;

    ~Running()
    {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
    }

    // Element name -> text of the check_update answer's DATA.
    QMap<QString, QString> checkUpdate() const
    {
        QMap<QString, QString> out;
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(10);
        const auto res = client.Get("/api.php?action=check_update&version=1.1");
        if (!res)
            return out;
        QDomDocument doc;
        if (!doc.setContent(QByteArray::fromStdString(res->body)))
            return out;
        const QDomElement data = doc.documentElement().firstChildElement(QStringLiteral("DATA"));
        for (QDomElement e = data.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
            out.insert(e.tagName(), e.text());
        return out;
    }
};

// Starts the server and waits for its "listening on" line; the log is what it printed until then.
std::unique_ptr<Running> startServer(const QStringList &arguments)
{
    auto r = std::make_unique<Running>();
    r->process->start(programPath(QStringLiteral("ramux-server")),
                      QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")} +
                          arguments);
    if (!r->process->waitForStarted())
        return r;
    const QRegularExpression listening(QStringLiteral("listening on http://\\S+:(\\d+)/api\\.php"));
    for (QDeadlineTimer deadline(30000);
         !deadline.hasExpired() && r->port == 0 && r->process->state() == QProcess::Running;) {
        r->process->waitForReadyRead(200);
        r->log += QString::fromUtf8(r->process->readAllStandardError());
        const auto match = listening.match(r->log);
        if (match.hasMatch())
            r->port = match.captured(1).toInt();
    }
    return r;
}

} // namespace

class TestServerProgram : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_content;
    QString m_installer;
    QString m_digest;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A content database that offers a version with a stored link and that file's digest.
        ContentSet set = ContentSet::empty();
        set.meta.insert(QString::fromLatin1(contentmeta::ProgramVersion), QStringLiteral("1.2"));
        set.meta.insert(QString::fromLatin1(contentmeta::DownloadLink),
                        QStringLiteral("http://example.org/old.exe"));
        set.meta.insert(QString::fromLatin1(contentmeta::DownloadSha256), QString(64, QLatin1Char('a')));
        m_content = m_dir.filePath(QStringLiteral("content.sqlite"));
        ContentDatabase::create(m_content, set);
        m_installer = m_dir.filePath(QStringLiteral("setup-1.2.exe"));
        QFile file(m_installer);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray bytes("MZ installer bytes");
        file.write(bytes);
        m_digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    }

    void storedLinkKeepsItsDigestAndAGivenLinkTakesNone()
    {
        const auto stored = startServer({QStringLiteral("--content"), m_content});
        QVERIFY2(stored->port > 0, qPrintable(stored->log));
        QCOMPARE(stored->checkUpdate().value(QStringLiteral("DL_SHA256")), QString(64, QLatin1Char('a')));

        const auto given =
            startServer({QStringLiteral("--content"), m_content, QStringLiteral("--offer-link"),
                         QStringLiteral("http://example.org/new.exe")});
        QVERIFY2(given->port > 0, qPrintable(given->log));
        const auto offer = given->checkUpdate();
        QCOMPARE(offer.value(QStringLiteral("DL_LINK")), QStringLiteral("http://example.org/new.exe"));
        QVERIFY(!offer.contains(QStringLiteral("DL_SHA256")));
        QCOMPARE(offer.value(QStringLiteral("VERSION")), QStringLiteral("1.2"));
    }

    void downloadLinkNamesThePublicAddress()
    {
        const auto behind =
            startServer({QStringLiteral("--content"), m_content, QStringLiteral("--offer-file"), m_installer,
                         QStringLiteral("--public-url"), QStringLiteral("https://cache.example.org/ramux/")});
        QVERIFY2(behind->port > 0, qPrintable(behind->log));
        QVERIFY(!behind->log.contains(QStringLiteral("warning")));
        const auto offer = behind->checkUpdate();
        QCOMPARE(offer.value(QStringLiteral("DL_LINK")),
                 QStringLiteral("https://cache.example.org/ramux/download/setup-1.2.exe"));
        QCOMPARE(offer.value(QStringLiteral("DL_SHA256")), m_digest);

        // Without it the link names the listening address; every address draws a warning.
        const auto local = startServer(
            {QStringLiteral("--content"), m_content, QStringLiteral("--offer-file"), m_installer});
        QVERIFY2(local->port > 0, qPrintable(local->log));
        QVERIFY(!local->log.contains(QStringLiteral("warning")));
        QCOMPARE(local->checkUpdate().value(QStringLiteral("DL_LINK")),
                 QStringLiteral("http://127.0.0.1:%1/download/setup-1.2.exe").arg(local->port));
        const auto wide =
            startServer({QStringLiteral("--content"), m_content, QStringLiteral("--bind"),
                         QStringLiteral("0.0.0.0"), QStringLiteral("--offer-file"), m_installer});
        QVERIFY2(wide->port > 0, qPrintable(wide->log));
        QVERIFY2(wide->log.contains(
                     QStringLiteral("warning: listening on every address (0.0.0.0) without --public-url")),
                 qPrintable(wide->log));

        for (const QString &bad :
             {QStringLiteral("ftp://example.org"), QStringLiteral("http://example.org/?a=1"),
              QStringLiteral("example.org")}) {
            QByteArray err;
            QCOMPARE(runProgram(QStringLiteral("ramux-server"),
                                {QStringLiteral("--content"), m_content, QStringLiteral("--public-url"), bad},
                                nullptr, &err),
                     1);
            QVERIFY2(err.contains("--public-url"), err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestServerProgram)
#include "tst_serverprogram.moc"

#include "update/programupdate.h"

#include "text/commonfunc.h"
#include "text/ramuxerror.h"
#include "update/installer.h"
#include "update/serverrequest.h"
#include "update/updaterun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <cstring>

Q_LOGGING_CATEGORY(lcProgramUpdate, "ramux.update.program")

namespace {

// The value of the first child element of DATA with this name.
QString readValue(const QDomElement &data, const QString &name)
{
    const QDomElement element = data.firstChildElement(name);
    if (element.isNull())
        return QString();
    const QDomNodeList children = element.childNodes();
    if (children.isEmpty())
        return QString();
    const QDomNode only = children.at(0);
    if (children.size() != 1 || !(only.isText() || only.isCDATASection()))
        throw RamuxError(QStringLiteral("Unreadable %1 in the update answer").arg(name));
    return only.nodeValue();
}

bool isSha256Hex(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        const bool hex = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                         (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
        if (!hex)
            return false;
    }
    return true;
}

QDomDocument answerDocument(const QString &answer)
{
    QDomDocument doc;
    QString error;
    if (!doc.setContent(answer, &error))
        throw RamuxError(QStringLiteral("Unreadable update answer: %1").arg(error));
    return doc;
}

// Everything of the offer but its version: read only once the version differs from ours.
void readOfferDetails(const QDomElement &data, ProgramUpdateOffer &offer)
{
    offer.downloadLink = readValue(data, QStringLiteral("DL_LINK"));
    offer.about = readValue(data, QStringLiteral("ABOUT"));
    offer.aboutUrl = readValue(data, QStringLiteral("ABOUT_URL"));
    // A digest we cannot compare against would let any file through, so it is as unreadable
    // as a malformed value.
    offer.sha256 = readValue(data, QStringLiteral("DL_SHA256")).trimmed().toLower();
    if (!offer.sha256.isEmpty() && !isSha256Hex(offer.sha256))
        throw RamuxError(QStringLiteral("Unreadable DL_SHA256 in the update answer"));
}

} // namespace

ProgramUpdateOffer parseProgramUpdateAnswer(const QString &answer)
{
    const QDomDocument doc = answerDocument(answer);
    const QDomElement data = doc.documentElement();
    ProgramUpdateOffer offer;
    offer.version = readValue(data, QStringLiteral("VERSION"));
    readOfferDetails(data, offer);
    return offer;
}

QString installerFileName(const QString &downloadLink)
{
    return downloadLink.mid(downloadLink.lastIndexOf(QLatin1Char('/')) + 1);
}

QString packageFileName(const QString &downloadLink)
{
    QString path = downloadLink;
    const qsizetype end = path.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    if (end >= 0)
        path.truncate(end);
    QString name = installerFileName(path).left(120);
    for (QChar &c : name) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
                           c == QLatin1Char('_') || c == QLatin1Char('-') || c == QLatin1Char('+');
        if (!plain)
            c = QLatin1Char('_');
    }
    if (name.endsWith(QLatin1String(".deb"), Qt::CaseInsensitive))
        name.chop(4);
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("ramux-update");
    return name + QLatin1String(".deb");
}

bool isUsableInstallerFileName(const QString &name)
{
    // "." and ".." would name the temporary folder or its parent, not a file in it.
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QChar(0));
}

QString fileSha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

void CheckProgramUpdate(const QString &serverAddress, bool programUpdateEnabled, ProgramUpdateFields &fields,
                        const ProgramUpdateHooks &hooks)
{
    if ((hooks.stopRequested && hooks.stopRequested()) || !programUpdateEnabled)
        return;

    auto report = [&](const QString &text) {
        fields.StatusText = text;
        if (hooks.reportStatus)
            hooks.reportStatus(fields);
    };
    report(QStringLiteral("Проверка обновления программы..."));

    QStringList parameters{QStringLiteral("action=check_update")};
    fields.NewVersion.clear();
    fields.DownloadLink.clear();
    fields.AboutText.clear();
    fields.AboutUrl.clear();
    fields.DownloadSha256.clear();

    QString answer;
    QString errorText;
    const int result = hooks.serverRequest ? hooks.serverRequest(parameters, answer, errorText, serverAddress)
                                           : ServerRequest(parameters, answer, errorText, serverAddress);
    if (result != 0)
        return;

    const QDomDocument doc = answerDocument(answer);
    const QDomElement data = doc.documentElement();
    ProgramUpdateOffer offer;
    offer.version = readValue(data, QStringLiteral("VERSION"));
    if (!offer.version.isEmpty())
        fields.NewVersion = offer.version;
    // Equality only: a server may offer an older build on purpose (a withdrawn release).
    // Nothing past the version is read when it is ours: a fault in the rest of an offer we
    // do not take must not end the run.
    const QString running = hooks.runningVersion.isEmpty() ? GetProductVersion() : hooks.runningVersion;
    if (fields.NewVersion == running)
        return;
    readOfferDetails(data, offer);
    fields.DownloadLink = offer.downloadLink;
    fields.AboutText = offer.about;
    fields.AboutUrl = offer.aboutUrl;
    fields.DownloadSha256 = offer.sha256;

    fields.DialogResult = hooks.askProgramUpdate ? hooks.askProgramUpdate(fields) : 7;
    if (fields.DialogResult != 6)
        return;

    const QString name = installerFileName(fields.DownloadLink);
    if (!isUsableInstallerFileName(name))
        throw RamuxError(QStringLiteral("The download link names no file: %1").arg(fields.DownloadLink));
    const QString base = hooks.tempFolder.isEmpty() ? GetTempFolder() : hooks.tempFolder;
    // The temporary folder is shared with other users: the file goes into a fresh folder only
    // this user can enter (mkdtemp makes it 0700), so nobody can swap it between the digest
    // check and the start; it is still created exclusively.
    QByteArray folder = QFile::encodeName(base + QLatin1String("ramux-update-XXXXXX"));
    if (!::mkdtemp(folder.data()))
        throw RamuxError(QStringLiteral("Cannot create a download folder in %1: %2")
                             .arg(base, QString::fromLocal8Bit(std::strerror(errno))));
    fields.InstallerPath = QFile::decodeName(folder) + QLatin1Char('/') + name;
    QFile file(fields.InstallerPath);
    if (!file.open(QIODevice::ReadWrite | QIODevice::NewOnly))
        throw RamuxError(
            QStringLiteral("Cannot create %1: %2").arg(fields.InstallerPath, file.errorString()));

    report(QStringLiteral("Загрузка обновления..."));

    const bool downloaded = hooks.downloadFile ? hooks.downloadFile(fields.DownloadLink, file)
                                               : DownloadFile(fields.DownloadLink, file);
    file.close();
    if (!downloaded) {
        qCInfo(lcProgramUpdate) << "installer download failed:" << fields.DownloadLink;
        return;
    }
    if (!fields.DownloadSha256.isEmpty()) {
        const QString actual = fileSha256(fields.InstallerPath);
        if (actual != fields.DownloadSha256) {
            // Never leave a file that failed its check where a later run or the user could start it.
            qCWarning(lcProgramUpdate) << "installer checksum mismatch, removed:" << fields.InstallerPath;
            QFile::remove(fields.InstallerPath);
            QDir().rmdir(QFileInfo(fields.InstallerPath).absolutePath());
            return;
        }
    }
    if (isDebianPackage(fields.InstallerPath) && !fields.InstallerPath.endsWith(QLatin1String(".deb"))) {
        // Renamed inside its private folder, where nothing else lies.
        const QString renamed = QFileInfo(fields.InstallerPath).absolutePath() + QLatin1Char('/') +
                                packageFileName(fields.DownloadLink);
        if (!QFile::rename(fields.InstallerPath, renamed))
            throw RamuxError(QStringLiteral("Cannot rename %1 to %2").arg(fields.InstallerPath, renamed));
        fields.InstallerPath = renamed;
    }
    fields.InstallerReady = true;
}

void RunProgramUpdateCheck(UpdateRun &run)
{
    UpdateFields &worker = run.fields;
    ProgramUpdateFields fields;
    fields.StatusText = worker.StatusText;
    fields.InstallerPath = worker.InstallerPath;
    fields.DialogResult = worker.DialogResult;
    fields.InstallerReady = worker.InstallerReady;

    auto toWorker = [&worker](const ProgramUpdateFields &f) {
        worker.StatusText = f.StatusText;
        worker.NewVersion = f.NewVersion;
        worker.DownloadLink = f.DownloadLink;
        worker.AboutText = f.AboutText;
        worker.AboutUrl = f.AboutUrl;
        worker.InstallerPath = f.InstallerPath;
        worker.DialogResult = f.DialogResult;
        worker.InstallerReady = f.InstallerReady;
    };
    // The worker's fields follow the check also when an error ends it half-way.
    struct WriteBack
    {
        std::function<void()> write;
        ~WriteBack() { write(); }
    } writeBack{[&] { toWorker(fields); }};

    UpdateHost &host = run.host();
    ProgramUpdateHooks hooks;
    hooks.stopRequested = [&host] { return host.stopRequested(); };
    hooks.reportStatus = [&run](const ProgramUpdateFields &f) { run.reportStatus(f.StatusText); };
    hooks.askProgramUpdate = [&](const ProgramUpdateFields &f) {
        toWorker(f);
        host.AskProgramUpdate(worker);
        return worker.DialogResult;
    };
    hooks.serverRequest = [&host](QStringList &parameters, QString &answer, QString &errorText,
                                  const QString &serverAddress) {
        return host.request(parameters, answer, errorText, serverAddress);
    };
    CheckProgramUpdate(worker.ServerAddress, worker.ProgramUpdateEnabled, fields, hooks);
}

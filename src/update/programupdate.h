// The program update check of the update run: asks the server which version it offers, offers
// it to the user and downloads an accepted installer into a private folder in the temporary folder.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QFileDevice;
class UpdateRun;

// The worker's fields the check reads and writes.
struct ProgramUpdateFields
{
    QString StatusText;
    QString NewVersion;
    QString DownloadLink;
    QString AboutText;
    QString AboutUrl;
    // SHA-256 of the installer as the server states it (hex); empty when the server sent none.
    QString DownloadSha256;
    QString InstallerPath;
    int DialogResult = 0;
    bool InstallerReady = false;
};

using ServerRequestFunction = std::function<int(QStringList &parameters, QString &answer, QString &errorText,
                                                const QString &serverAddress)>;
using DownloadFileFunction = std::function<bool(const QString &url, QFileDevice &file)>;

// What the worker lends the check. Empty functions fall back to: no stop request, no status
// display, offer declined (7), the real request layer.
struct ProgramUpdateHooks
{
    std::function<bool()> stopRequested;
    // ReportStatus: the fields' StatusText has just changed.
    std::function<void(const ProgramUpdateFields &fields)> reportStatus;
    // AskProgramUpdate: runs the offer window and returns its modal result.
    std::function<int(const ProgramUpdateFields &fields)> askProgramUpdate;
    ServerRequestFunction serverRequest;
    DownloadFileFunction downloadFile;
    // The running program's version; GetProductVersion() when empty.
    QString runningVersion;
    // Where the installer's private download folder is made; GetTempFolder() when empty (must
    // end with a separator).
    QString tempFolder;
};

// The offer read from a check_update answer (the DATA element's markup).
struct ProgramUpdateOffer
{
    QString version;
    QString downloadLink;
    QString about;
    QString aboutUrl;
    QString sha256;
};

// Reads VERSION, DL_LINK, ABOUT, ABOUT_URL and DL_SHA256 from the DATA markup. Each value is
// the element's single text or CDATA child; an absent or empty element gives an empty value.
// Throws RamuxError when the markup is not XML or a value element holds anything else.
ProgramUpdateOffer parseProgramUpdateAnswer(const QString &answer);

// The installer's file name: what follows the last "/" of the link (the whole link without one).
QString installerFileName(const QString &downloadLink);
// The name a downloaded package is saved under: the link's last path segment without query or
// fragment, in plain characters, ending in ".deb" (the package system takes a local file for a
// package only by that ending).
QString packageFileName(const QString &downloadLink);
// Whether a file name may be created in the temporary folder as it stands.
bool isUsableInstallerFileName(const QString &name);

// Lower-case hex SHA-256 of the file's whole content; empty when it cannot be read.
QString fileSha256(const QString &path);

// The check itself. Returns normally when it ends quietly (switched off, no answer, same
// version, offer declined, failed or unverified download); throws RamuxError when the error
// must end the update run (the version or, for another version, the offer unreadable; unusable
// file name; file cannot be created). The rest of a same-version answer is never read.
void CheckProgramUpdate(const QString &serverAddress, bool programUpdateEnabled, ProgramUpdateFields &fields,
                        const ProgramUpdateHooks &hooks);

// The check as a step of the update run: reads and writes the run's fields, reports and asks
// through the run's host, and sends its request through the host's request.
void RunProgramUpdateCheck(UpdateRun &run);

// Shared by the sync benchmarks: the large synthetic content served by ramux-server on a free
// loopback port, both programs taken from the build's bin folder.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QString>

#include <cstdio>

inline QString binProgram(const QString &name)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/") + name;
}

// Writes the content (unless the file exists) and starts the server; returns its address.
inline QString startContentServer(QProcess &server, const QString &contentPath)
{
    if (!QFileInfo::exists(contentPath)) {
        std::fprintf(stderr, "writing the synthetic content to %s ...\n", qPrintable(contentPath));
        if (QProcess::execute(binProgram(QStringLiteral("ramuxctl")), {QStringLiteral("synth"), contentPath, QStringLiteral("--content")}) != 0)
            return QString();
    }
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start(binProgram(QStringLiteral("ramux-server")),
                 {QStringLiteral("--content"), contentPath, QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                  QStringLiteral("--details-url"), QStringLiteral("http://127.0.0.1/news")});
    if (!server.waitForStarted())
        return QString();
    QByteArray log;
    const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && server.state() == QProcess::Running) {
        server.waitForReadyRead(100);
        log += server.readAllStandardError();
        const auto match = listening.match(QString::fromUtf8(log));
        if (match.hasMatch())
            return match.captured(1);
    }
    std::fprintf(stderr, "%s", log.constData());
    return QString();
}

inline void stopServer(QProcess &server)
{
    server.terminate();
    if (!server.waitForFinished(5000))
        server.kill();
}

// Shared pieces of the fault drills: the served content as a child ramux-server, and the checks
// every drill ends with (the file is sound, each table holds exactly what its position promises).
#pragma once

#include "sync/syncprocess.h"

#include "db/options.h"

#include <QFile>

#include <memory>

// ramux-server on a free loopback port, serving a content database file.
class ServerProcess final
{
public:
    explicit ServerProcess(const QStringList &arguments)
    {
        m_process.start(programPath(QStringLiteral("ramux-server")),
                        arguments + QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")});
        if (!m_process.waitForStarted())
            return;
        const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
        QByteArray log;
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_address.isEmpty() && m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(200);
            log += m_process.readAllStandardError();
            const auto match = listening.match(QString::fromUtf8(log));
            if (match.hasMatch())
                m_address = match.captured(1);
        }
    }
    ~ServerProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    // Empty when the server did not come up.
    const QString &address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
};

inline QString integrityOf(const QString &path)
{
    Database db;
    db.open(path, schema::databasePassword());
    Statement check = db.prepare(QStringLiteral("PRAGMA integrity_check"));
    return check.step() ? check.text(0) : QStringLiteral("no answer");
}

// Every data table and the options row: what two runs must agree on.
inline QStringList databaseState(const QString &path)
{
    Database db;
    db.open(path, schema::databasePassword());
    QStringList state;
    for (const QString &table : schema::dataTables())
        state << QStringLiteral("[%1]").arg(table) << dumpTable(db, table);
    state << QStringLiteral("[options]") << dumpTable(db, QStringLiteral("options"));
    return state;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Checks a client database synced (possibly partly) from an empty start against the content
// database it was served from: every table holds exactly the content rows stamped at or below
// its stored position, value for value. A page applied without its position, or a position
// moved without its page, shows as a difference. Holds for contents where each row was written
// once (the synthetic one), which the check asserts. Returns an empty string when consistent.
inline QString prefixMismatch(const QString &clientPath, const QString &contentPath)
{
    Database client, content;
    client.open(clientPath, schema::databasePassword());
    content.open(contentPath, QByteArray());
    {
        Statement tombs = content.prepare(QStringLiteral("SELECT count(*) FROM tombstones"));
        if (tombs.step() && tombs.int64(0) != 0)
            return QStringLiteral("content has deletions; the prefix check does not apply");
    }
    for (const QString &table : schema::dataTables()) {
        const qint64 position = readTablePosition(client, table);
        const QStringList got = dumpTable(client, table);
        QStringList columns;
        for (const QString &column : client.columns(table))
            columns << QStringLiteral("typeof(%1) || ':' || coalesce(%1, '')").arg(quoteIdentifier(column));
        Statement st = content.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE last_update <= ?1 ORDER BY id")
                                           .arg(columns.join(QLatin1String(", ")), quoteIdentifier(table)));
        st.bind(1, position);
        QStringList expected;
        while (st.step()) {
            QStringList values;
            for (int i = 0; i < st.columnCount(); ++i)
                values << st.text(i);
            expected << values.join(QLatin1Char('|'));
        }
        if (got != expected)
            return QStringLiteral("%1 at position %2: %3 rows, expected %4").arg(table).arg(position).arg(got.size()).arg(expected.size());
    }
    return QString();
}

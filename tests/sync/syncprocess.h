// Helpers for the tests that run the built programs (ramuxctl, ramux-server) as child processes.
#pragma once

#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

inline QString programPath(const QString &name)
{
    return qEnvironmentVariable("RAMUX_BIN_DIR") + QLatin1Char('/') + name;
}

// Runs a program to its end; returns its exit code (-1 when it did not end normally).
inline int runProgram(const QString &name, const QStringList &arguments, QByteArray *out = nullptr,
                      QByteArray *err = nullptr, int timeoutMs = 60000)
{
    QProcess process;
    process.start(programPath(name), arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (out)
        *out = process.readAllStandardOutput();
    if (err)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Every row of a table in id order, each column as "type:value", so that 5 and "5" differ.
inline QStringList dumpTable(Database &db, const QString &table, const QStringList &leaveOut = {})
{
    QStringList columns;
    for (const QString &column : db.columns(table))
        if (!leaveOut.contains(column, Qt::CaseInsensitive))
            columns << QStringLiteral("typeof(%1) || ':' || coalesce(%1, '')").arg(quoteIdentifier(column));
    Statement st = db.prepare(QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(columns.join(QLatin1String(", ")), quoteIdentifier(table)));
    QStringList rows;
    while (st.step()) {
        QStringList values;
        for (int i = 0; i < st.columnCount(); ++i)
            values << st.text(i);
        rows << values.join(QLatin1Char('|'));
    }
    return rows;
}

inline QStringList positionColumns()
{
    QStringList names;
    for (const QString &table : schema::dataTables())
        names << QStringLiteral("lu_") + table;
    return names;
}

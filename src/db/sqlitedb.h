// A thin RAII wrapper over the SQLCipher C API: one connection, prepared statements, transactions.
#pragma once

#include "text/ramuxerror.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

class DbError : public RamuxError
{
public:
    DbError(const QString &message, int code) : RamuxError(message), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};

class Statement final
{
public:
    Statement() = default;
    Statement(sqlite3 *db, sqlite3_stmt *stmt) : m_db(db), m_stmt(stmt) {}
    ~Statement();
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Binding is by 1-based index, as in SQL.
    Statement &bind(int index, qint64 value);
    Statement &bind(int index, int value) { return bind(index, qint64(value)); }
    Statement &bind(int index, const QString &value); // a null QString binds NULL
    Statement &bind(int index, const std::optional<QString> &value);
    Statement &bindBlob(int index, const QByteArray &value);
    Statement &bindNull(int index);
    // Steps once: true while a row is available, false when done.
    bool step();
    // Runs to completion (for statements without rows).
    void run();
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int column) const;
    qint64 int64(int column) const;
    // The column as text; NULL gives a null QString.
    QString text(int column) const;
    std::optional<QString> optText(int column) const;
    std::optional<qint64> optInt64(int column) const;

    sqlite3_stmt *handle() const { return m_stmt; }

private:
    void check(int rc) const;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};

class Database final
{
public:
    enum class OpenMode { Existing, Create };

    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens a database file with its key: key first, then WAL and the busy time-out, then the
    // first query (which is where a wrong key shows). A missing file is an error unless the
    // mode is Create. Throws DbError with the store's message.
    void open(const QString &path, const QByteArray &key, OpenMode mode = OpenMode::Existing);
    // Opens from a connection string made by BuildConnectionString.
    void openConnectionString(const QString &connectionString);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    // True outside a transaction, also after SQLite has rolled one back on its own.
    bool autocommit() const;
    // How long a statement waits for another connection's write lock before it fails.
    void setBusyTimeout(int milliseconds);
    const QString &path() const { return m_path; }

    void exec(const QString &sql);
    Statement prepare(const QString &sql);
    qint64 lastInsertRowId() const;
    int changes() const;

    bool hasTable(const QString &table);
    // Real column names of a table, as declared (cached per connection).
    const QStringList &columns(const QString &table);
    // The declared name of a column matched without regard to letter case, if the table has it.
    std::optional<QString> findColumn(const QString &table, const QString &name);

    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
    QHash<QString, QStringList> m_columns;
};

// BEGIN IMMEDIATE ... COMMIT; rolls back unless committed.
class Transaction final
{
public:
    explicit Transaction(Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Database &m_db;
    bool m_done = false;
};

// A named savepoint inside a transaction; rolls back to itself unless released.
class Savepoint final
{
public:
    explicit Savepoint(Database &db);
    ~Savepoint();
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;
    void release();

private:
    Database &m_db;
    bool m_done = false;
};

// Quotes an identifier for SQL. Only ever called with names read from the schema.
QString quoteIdentifier(const QString &name);

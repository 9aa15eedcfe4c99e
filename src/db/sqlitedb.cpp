#include "db/sqlitedb.h"

#include <QFileInfo>
#include <sqlcipher/sqlite3.h>

namespace {

constexpr int kBusyTimeoutMs = 10000;

QString errorText(sqlite3 *db, int rc)
{
    if (db)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(rc));
}

} // namespace

Statement::~Statement()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement &&other) noexcept : m_db(other.m_db), m_stmt(other.m_stmt)
{
    other.m_stmt = nullptr;
}

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        if (m_stmt)
            sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = other.m_stmt;
        other.m_stmt = nullptr;
    }
    return *this;
}

void Statement::check(int rc) const
{
    if (rc != SQLITE_OK)
        throw DbError(errorText(m_db, rc), rc);
}

Statement &Statement::bind(int index, qint64 value)
{
    check(sqlite3_bind_int64(m_stmt, index, value));
    return *this;
}

Statement &Statement::bind(int index, const QString &value)
{
    if (value.isNull())
        return bindNull(index);
    const QByteArray utf8 = value.toUtf8();
    check(sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement &Statement::bindBlob(int index, const QByteArray &value)
{
    check(sqlite3_bind_blob(m_stmt, index, value.constData(), int(value.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement &Statement::bind(int index, const std::optional<QString> &value)
{
    if (!value)
        return bindNull(index);
    return bind(index, value->isNull() ? QString(QLatin1String("")) : *value);
}

Statement &Statement::bindNull(int index)
{
    check(sqlite3_bind_null(m_stmt, index));
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = errorText(m_db, rc);
    sqlite3_reset(m_stmt);
    throw DbError(message, rc);
}

void Statement::run()
{
    while (step()) {
    }
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QString Statement::text(int column) const
{
    if (isNull(column))
        return QString();
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (size == 0)
        return QString(QLatin1String("")); // empty, but not NULL
    return QString::fromUtf8(data, size);
}

std::optional<QString> Statement::optText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return text(column);
}

std::optional<qint64> Statement::optInt64(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return std::nullopt;
    case SQLITE_INTEGER:
        return sqlite3_column_int64(m_stmt, column);
    default: {
        // Text or real from a foreign file: only a whole number in range counts.
        bool ok = false;
        const qint64 v = text(column).trimmed().toLongLong(&ok);
        if (ok)
            return v;
        const double d = sqlite3_column_double(m_stmt, column);
        if (sqlite3_column_type(m_stmt, column) == SQLITE_FLOAT && d == double(qint64(d)))
            return qint64(d);
        return std::nullopt;
    }
    }
}

Database::~Database()
{
    close();
}

void Database::open(const QString &path, const QByteArray &key, OpenMode mode)
{
    close();
    if (mode == OpenMode::Existing && !QFileInfo(path).isFile())
        throw DbError(QStringLiteral("Не найден файл базы данных: %1").arg(path), SQLITE_CANTOPEN);
    // A file emptied to nothing would open as a new empty database and be rewritten by the first
    // statement. Its content may still sit in the write-ahead log of a file never checkpointed.
    if (mode == OpenMode::Existing && QFileInfo(path).size() == 0 && QFileInfo(path + QLatin1String("-wal")).size() == 0)
        throw DbError(QStringLiteral("%1: %2").arg(QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB)), path), SQLITE_NOTADB);
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode == OpenMode::Create)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3 *db = nullptr;
    const QByteArray file = path.toUtf8();
    int rc = sqlite3_open_v2(file.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = errorText(db, rc);
        sqlite3_close(db);
        throw DbError(QStringLiteral("%1: %2").arg(message, path), rc);
    }
    m_db = db;
    m_path = path;
    try {
        // An empty key opens a plain file (the update server's content database).
        if (!key.isEmpty()) {
            rc = sqlite3_key(db, key.constData(), int(key.size()));
            if (rc != SQLITE_OK)
                throw DbError(errorText(db, rc), rc);
        }
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // The first statement reads the file: a wrong key or a damaged file fails here.
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        Statement probe = prepare(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        probe.step();
        exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
        // Pages are 1 KiB and each is decrypted on every read from the file: the default 2 MiB
        // cache would re-read most of a sync page's writes (rows, text index) before commit.
        exec(QStringLiteral("PRAGMA cache_size=-8192"));
        // The library is built to overwrite every freed page with zeros, and the text index
        // frees many at each sync page. The key is the same in every copy of the program, so
        // the zeros protect nothing.
        exec(QStringLiteral("PRAGMA secure_delete=OFF"));
    } catch (...) {
        close();
        throw;
    }
}

void Database::setBusyTimeout(int milliseconds)
{
    if (m_db)
        sqlite3_busy_timeout(m_db, milliseconds);
}

void Database::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_columns.clear();
}

bool Database::autocommit() const
{
    return !m_db || sqlite3_get_autocommit(m_db) != 0;
}

void Database::exec(const QString &sql)
{
    if (!m_db)
        throw DbError(QStringLiteral("База данных не открыта"), SQLITE_MISUSE);
    char *err = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_exec(m_db, utf8.constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString message = err ? QString::fromUtf8(err) : errorText(m_db, rc);
        sqlite3_free(err);
        throw DbError(message, rc);
    }
}

Statement Database::prepare(const QString &sql)
{
    if (!m_db)
        throw DbError(QStringLiteral("База данных не открыта"), SQLITE_MISUSE);
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &stmt, nullptr);
    if (rc != SQLITE_OK)
        throw DbError(errorText(m_db, rc), rc);
    return Statement(m_db, stmt);
}

qint64 Database::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Database::changes() const
{
    return sqlite3_changes(m_db);
}

bool Database::hasTable(const QString &table)
{
    Statement st = prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE"));
    st.bind(1, table);
    return st.step();
}

const QStringList &Database::columns(const QString &table)
{
    const QString key = table.toLower();
    auto it = m_columns.find(key);
    if (it != m_columns.end())
        return *it;
    if (!hasTable(table))
        throw DbError(QStringLiteral("no such table: %1").arg(table), SQLITE_ERROR);
    QStringList names;
    Statement st = prepare(QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table)));
    while (st.step())
        names << st.text(1);
    return *m_columns.insert(key, names);
}

std::optional<QString> Database::findColumn(const QString &table, const QString &name)
{
    for (const QString &column : columns(table))
        if (column.compare(name, Qt::CaseInsensitive) == 0)
            return column;
    return std::nullopt;
}

Transaction::Transaction(Database &db) : m_db(db)
{
    m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (!m_done) {
        try {
            m_db.exec(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
    }
}

void Transaction::commit()
{
    m_db.exec(QStringLiteral("COMMIT"));
    m_done = true;
}

Savepoint::Savepoint(Database &db) : m_db(db)
{
    m_db.exec(QStringLiteral("SAVEPOINT row"));
}

Savepoint::~Savepoint()
{
    if (!m_done) {
        try {
            m_db.exec(QStringLiteral("ROLLBACK TO row"));
            m_db.exec(QStringLiteral("RELEASE row"));
        } catch (...) {
        }
    }
}

void Savepoint::release()
{
    m_db.exec(QStringLiteral("RELEASE row"));
    m_done = true;
}

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

#include "db/location.h"

void Database::openConnectionString(const QString &connectionString)
{
    const ConnectionSettings settings = parseConnectionString(connectionString);
    open(settings.path, settings.password, OpenMode::Existing);
}

#include "search/storedrow.h"

#include "db/sqlitedb.h"
#include "search/indexrow.h"

#include <QtEndian>
#include <sqlcipher/sqlite3.h>

namespace textindex::detail {

namespace {

// A product's terms are a few KiB; anything claiming more than this is not one of our rows, and
// unpacking it would only allocate.
constexpr quint32 kMaxUnpacked = 8u << 20;

// search_field_terms(row, field): the terms of one field of a packed row, for the view.
void fieldTermsFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (argc != 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_text(context, "", 0, SQLITE_STATIC);
        return;
    }
    const int field = sqlite3_value_int(argv[1]);
    const QByteArray packed(static_cast<const char *>(sqlite3_value_blob(argv[0])),
                            sqlite3_value_bytes(argv[0]));
    // The view reads a product's row once per field column: every field is split out on the
    // first call, and the row's fields kept, per thread, as its connections are.
    thread_local QByteArray lastPacked;
    thread_local std::vector<QByteArray> lastFields;
    if (lastPacked.isNull() || packed != lastPacked) {
        lastFields.clear();
        if (const std::optional<StoredRow> row = unpackRow(packed)) {
            for (const QString &terms : allFieldTerms(*row))
                lastFields.push_back(terms.toUtf8());
        }
        lastPacked = packed;
    }
    if (field < 0 || size_t(field) >= lastFields.size()) {
        sqlite3_result_text(context, "", 0, SQLITE_STATIC);
        return;
    }
    const QByteArray &text = lastFields[size_t(field)];
    sqlite3_result_text(context, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

} // namespace

QString termsTable()
{
    return QStringLiteral("search_text_terms");
}

QString fieldsView()
{
    return QStringLiteral("search_text_fields");
}

QByteArray packRow(const StoredRow &row)
{
    QByteArray plain = row.terms.toUtf8();
    plain += '\0';
    plain += row.fields.toUtf8();
    return qCompress(plain);
}

std::optional<StoredRow> unpackRow(const QByteArray &packed)
{
    // The writer reads a product's row, and forgetting its old terms reads the same row again
    // through the view just after: the last row unpacked is kept, per thread, as its
    // connections are.
    thread_local QByteArray lastPacked;
    thread_local std::optional<StoredRow> lastRow;
    if (!lastPacked.isNull() && packed == lastPacked)
        return lastRow;
    std::optional<StoredRow> row;
    if (packed.size() >= 4 && qFromBigEndian<quint32>(packed.constData()) <= kMaxUnpacked) {
        const QByteArray plain = qUncompress(packed);
        const qsizetype split = plain.indexOf('\0');
        if (split >= 0) {
            row.emplace();
            row->terms = QString::fromUtf8(plain.constData(), split);
            row->fields = QString::fromUtf8(plain.constData() + split + 1, plain.size() - split - 1);
        }
    }
    lastPacked = packed;
    lastRow = row;
    return row;
}

std::vector<QString> allFieldTerms(const StoredRow &row)
{
    std::vector<QString> out(static_cast<size_t>(fieldCount()));
    forEachStoredTerm(row.terms, row.fields, [&](QStringView term, FieldMask mask) {
        for (int field = 0; field < fieldCount(); ++field) {
            if (!(mask & FieldMask(1u << field)))
                continue;
            QString &terms = out[size_t(field)];
            if (!terms.isEmpty())
                terms += QLatin1Char(' ');
            terms += term;
        }
    });
    return out;
}

void registerViewFunction(Database &db)
{
    const int rc =
        sqlite3_create_function(db.handle(), "search_field_terms", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                nullptr, fieldTermsFunction, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db.handle())), rc);
}

std::optional<StoredRow> readRow(Statement &select, qint64 itemId, bool *damaged)
{
    select.reset();
    select.bind(1, itemId);
    std::optional<StoredRow> row;
    if (damaged)
        *damaged = false;
    if (select.step()) {
        sqlite3_stmt *st = select.handle();
        const QByteArray packed(static_cast<const char *>(sqlite3_column_blob(st, 0)),
                                sqlite3_column_bytes(st, 0));
        row = unpackRow(packed);
        if (damaged)
            *damaged = !row;
    }
    select.reset();
    return row;
}

} // namespace textindex::detail

// The reader's pages: the shell every page shares (landmarks, search box, footer), the browse
// lists, the record pages composed by the desktop's composers, the results page and images.
#pragma once

#include "readersite.h"

#include "db/browselists.h"
#include "db/snapshot.h"
#include "pages/links.h"
#include "pages/searchpage.h"

#include <QHash>
#include <QString>
#include <optional>

class Database;

// What the pages read, made once per state of the content file and shared by requests.
struct ReaderModel
{
    QByteArray version;  // the content's stamps, its publishing time and the index state
    QString publishedAt; // ISO 8601 UTC as recorded; empty when the file has none
    bool textIndex = false;
    ReferenceSnapshot snapshot;
    NameLists names;
    QVector<BrowseNode> products; // two roots (Russian, Latin), letters under them
    QVector<BrowseNode> groups;
    QVector<BrowseNode> makers;
    SearchCatalogs catalogs;
};

// Builds the model from a connection inside the caller's read transaction.
std::shared_ptr<const ReaderModel> buildReaderModel(Database &db, const QByteArray &version);

struct ReaderContext
{
    const ReaderModel &model;
    Database &db; // packed texts are read by id, in the same read transaction as the model's version
    bool demo = false;
};

namespace readerpages {

// The parts of one page inside the shell.
struct Shell
{
    QString title;       // plain text: the h1 and the document title
    QString query;       // plain text for the search box
    QString breadcrumbs; // HTML built of escaped parts, or empty
    QString main;        // HTML after the h1
    QString kind;        // the body's class: "home", "item", "group", ...
};
QByteArray render(const ReaderContext &context, const Shell &shell);

ReaderAnswer home(const ReaderContext &context);
ReaderAnswer letter(const ReaderContext &context, const QString &letter);
ReaderAnswer groups(const ReaderContext &context);
ReaderAnswer makers(const ReaderContext &context);
ReaderAnswer notFound(const ReaderContext &context);

// readerrecords.cpp
// A product page also carries its dose calculator and withdrawal table, filled from `parameters`.
ReaderAnswer record(const ReaderContext &context, LinkTarget kind, qint64 id, std::optional<qint64> from,
                    const QHash<QString, QString> &parameters = {});
ReaderAnswer image(const ReaderContext &context, LinkTarget kind, qint64 id, const QString &name);
ReaderAnswer search(const ReaderContext &context, const QString &typed);

// readeranswers.cpp: a product's calculator and withdrawal table after its composed page, and
// the links to them under its name; both empty for a product without structured rows.
struct AnswersHtml
{
    QString jumps;
    QString section;
};
AnswersHtml answersSection(const ReaderContext &context, qint64 itemId, const QHash<QString, QString> &parameters);

} // namespace readerpages

// Publishing: brings a content database to exactly what a sources folder holds. Every
// difference becomes one change under a new stamp (changed fields, new rows, deletions as
// tombstones, changed settings), all in one transaction, so a serving ramux-server sees all
// of a publish or none of it.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct PublishOptions
{
    bool dryRun = false;
    // In place of details_text / details_url of the offer settings file; empty clears.
    std::optional<QString> detailsText;
    std::optional<QString> detailsUrl;
    // How long to wait for another publish to finish before failing.
    int lockWaitMs = 30000;
    // Lets a publish remove more than half of a big table (see publishguard.h).
    bool allowMassDelete = false;
};

struct TableChanges
{
    QString table; // a data table, or "meta" for the settings
    int added = 0;
    int changed = 0;
    int deleted = 0;
};

struct PublishReport
{
    QStringList errors;   // "file:line: what"; nothing was applied when there is one
    QStringList warnings;
    std::vector<TableChanges>
        tables; // the data tables (nine, then the four structured) in synchronisation order, then meta
    bool applied = false;             // a transaction with changes was committed
};

// Reads the sources, compares them with the content database (created when missing) and
// applies the differences, or with dryRun only counts them. Problems of the sources, of the
// file and a publish that cannot get the file's write lock are reported, never thrown.
PublishReport publishSources(const QString &sourceDir, const QString &contentPath, const PublishOptions &options);

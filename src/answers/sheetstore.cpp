// Bound statements only; the section column is one of two names fixed here.
#include "answers/sheetstore.h"

#include "answers/answerstore.h"
#include "answers/sheetprint.h"
#include "db/runstatus.h"
#include "db/sheetsettings.h"
#include "db/sqlitedb.h"
#include "search/plaintext.h"

SheetLineInput loadSheetLine(Database &db, qint64 itemId, const SheetChoice &choice,
                             const std::optional<QDateTime> &lastDose, const QString &lastName,
                             const QString &lastQuote)
{
    SheetLineInput in;
    in.itemId = itemId;
    in.choice = choice;
    in.lastDose = lastDose;
    in.name = lastName;
    in.lastQuote = lastQuote;
    in.inReference = false;
    if (db.hasTable(QStringLiteral("items"))) {
        Statement st = db.prepare(QStringLiteral("SELECT name FROM items WHERE id = ?1"));
        st.bind(1, itemId);
        if (st.step()) {
            in.inReference = true;
            if (!st.text(0).isEmpty())
                in.name = st.text(0);
        }
    }
    if (in.name.isEmpty())
        in.name = QStringLiteral("ITEM:%1").arg(itemId);
    if (in.inReference)
        in.answers = loadProductAnswers(db, itemId);
    return in;
}

QString productSectionText(Database &db, qint64 itemId, const QString &column)
{
    if (column != QLatin1String("side_effects") && column != QLatin1String("storage_instructions"))
        return {};
    if (!db.hasTable(QStringLiteral("items")) || !db.findColumn(QStringLiteral("items"), column))
        return {};
    Statement st = db.prepare(QStringLiteral("SELECT %1 FROM items WHERE id = ?1").arg(column));
    st.bind(1, itemId);
    return st.step() ? packedToPlainText(st.text(0)) : QString();
}

SheetPrintOptions sheetPrintOptions(Database &db, const SheetComposition &sheet)
{
    SheetPrintOptions options;
    const sheetsettings::Settings settings = sheetsettings::load(db);
    options.clinic = settings.clinic;
    options.vet = settings.vet;
    options.dataAsOf = runstatus::statusLine(db);
    for (const SheetLine &line : sheet.lines) {
        if (!line.inReference)
            continue;
        if (settings.sideEffects)
            options.sideEffects.insert(line.itemId, productSectionText(db, line.itemId, QStringLiteral("side_effects")));
        if (settings.storage)
            options.storage.insert(line.itemId,
                                   productSectionText(db, line.itemId, QStringLiteral("storage_instructions")));
    }
    return options;
}

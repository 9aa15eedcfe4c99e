// The first start of an installed program and its empty reference: the user's copy of the
// shipped database, and the page the product view shows until the first update fills it.
#include "app/mainform.h"

#include "app/messageboxes.h"
#include "db/firststart.h"
#include "pages/htmljoiner.h"
#include "pages/ui/htmlrenderer.h"

bool TKalmedaRamuxMainForm::firstStartSucceeded() const
{
    return m_firstStart.outcome != FirstStartResult::Outcome::FolderFailed
        && m_firstStart.outcome != FirstStartResult::Outcome::Damaged;
}

bool TKalmedaRamuxMainForm::provideDatabaseOnFirstStart()
{
    const FirstStartResult &result = m_firstStart;
    switch (result.outcome) {
    case FirstStartResult::Outcome::FolderFailed:
        showErrorBox(result.message);
        return false;
    case FirstStartResult::Outcome::Damaged:
        // As any database that does not open: the store's text, then the general one.
        showErrorBox(result.message);
        showErrorBox(QStringLiteral("Не удается открыть базу данных"));
        return false;
    case FirstStartResult::Outcome::NotNeeded:
    case FirstStartResult::Outcome::NothingShipped:
    case FirstStartResult::Outcome::Copied:
        break;
    }
    return true;
}

void TKalmedaRamuxMainForm::showEmptyReferencePage()
{
    if (!m_productView)
        return;
    if (Tables.items.rows.isEmpty()) {
        THTMLJoiner joiner;
        joiner.AddHTML(QString::fromUtf8(builtInResource(QStringLiteral("EMPTY_HTML")).value_or(QByteArray())));
        m_productView->LoadDocument(joiner.GetDocument());
        m_emptyPageShown = true;
    } else if (m_emptyPageShown) {
        // The reference has just been filled: the note no longer holds (an empty page replaces it;
        // a document without an HTML part would leave it on screen).
        m_productView->LoadDocument(THTMLJoiner().GetDocument());
        m_emptyPageShown = false;
    }
}

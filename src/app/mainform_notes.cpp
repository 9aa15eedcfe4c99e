// The user's notes in the main window: the note editor of the product strip, the settings
// page's "data as of" line, export and import, and whether print carries the notes.
#include "app/mainform.h"

#include "app/messageboxes.h"
#include "app/notedialogs.h"
#include "db/notesfile.h"
#include "db/runstatus.h"
#include "db/userdata.h"
#include "pages/notebox.h"
#include "pages/ui/htmlrenderer.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace {

QString errorText(const std::exception &e)
{
    if (const auto *ramux = dynamic_cast<const RamuxError *>(&e))
        return ramux->message();
    return QString::fromUtf8(e.what());
}

} // namespace

void TKalmedaRamuxMainForm::installNotesSettings()
{
    GroupBoxNotes = new QGroupBox(QStringLiteral(" Данные и мои заметки "), tsSettings);
    auto *box = new QVBoxLayout(GroupBoxNotes);
    box->setContentsMargins(8, 4, 8, 6);
    box->setSpacing(4);
    DataStatus = new QLabel(GroupBoxNotes);
    DataStatus->setObjectName(QStringLiteral("DataStatus"));
    DataStatus->setTextFormat(Qt::PlainText);
    QFont bold = DataStatus->font();
    bold.setBold(true);
    DataStatus->setFont(bold);
    box->addWidget(DataStatus);
    PrintNotes = new QCheckBox(QStringLiteral("Печатать мои заметки"), GroupBoxNotes);
    box->addWidget(PrintNotes, 0, Qt::AlignLeft);
    auto *row = new QHBoxLayout;
    btnExportNotes = new QPushButton(QStringLiteral("Экспорт заметок…"), GroupBoxNotes);
    btnImportNotes = new QPushButton(QStringLiteral("Импорт заметок…"), GroupBoxNotes);
    row->addWidget(btnExportNotes);
    row->addWidget(btnImportNotes);
    row->addStretch(1);
    box->addLayout(row);
    NotesMessage = new QLabel(GroupBoxNotes);
    NotesMessage->setTextFormat(Qt::PlainText);
    NotesMessage->setWordWrap(true);
    box->addWidget(NotesMessage);
    // Above the closing stretch of the settings page.
    if (auto *page = qobject_cast<QBoxLayout *>(tsSettings->layout()))
        page->insertWidget(qMax(0, page->count() - 1), GroupBoxNotes);

    connect(PrintNotes, &QCheckBox::toggled, this, [this](bool on) {
        try {
            userdata::setPrintNotes(DBConn, on);
        } catch (const std::exception &e) {
            showErrorBox(errorText(e));
        }
    });
    connect(btnExportNotes, &QPushButton::clicked, this, [this] { ExportNotes(); });
    connect(btnImportNotes, &QPushButton::clicked, this, [this] { ImportNotes(); });

    // Printed pages often go to animal owners: the note box stays off paper unless asked for.
    m_productView->PrintFilter = [this](const QString &html) {
        return PrintNotes->isChecked() ? html : notebox::withoutNotes(html);
    };
}

void TKalmedaRamuxMainForm::loadUserSettings()
{
    if (!PrintNotes)
        return;
    bool on = false;
    try {
        on = userdata::printNotes(DBConn);
    } catch (const std::exception &) {
    }
    const QSignalBlocker blocker(PrintNotes);
    PrintNotes->setChecked(on);
    RefreshDataStatus();
}

void TKalmedaRamuxMainForm::RefreshDataStatus()
{
    if (DataStatus && DBConn.isOpen())
        DataStatus->setText(runstatus::statusLine(DBConn));
}

void TKalmedaRamuxMainForm::watchUpdateWorker(QThread *worker)
{
    connect(worker, &QThread::finished, this, [this] { RefreshDataStatus(); });
}

void TKalmedaRamuxMainForm::EditNote()
{
    if (!m_shownItemId)
        return;
    const qint64 id = *m_shownItemId;
    QString name;
    QString note;
    try {
        name = userdata::referenceName(DBConn, id).value_or(QString());
        if (const std::optional<userdata::UserItem> item = userdata::item(DBConn, id))
            note = item->note;
    } catch (const std::exception &e) {
        showErrorBox(errorText(e));
        return;
    }
    const std::optional<QString> edited = runNoteEditor(name, note, this);
    if (!edited || *edited == note)
        return;
    try {
        userdata::setNote(DBConn, id, *edited);
    } catch (const std::exception &e) {
        showErrorBox(errorText(e)); // nothing stored: the old note stays
        return;
    }
    recomposeShownProduct();
    refreshFavouritesIfShown();
}

void TKalmedaRamuxMainForm::ExportNotes()
{
    const QString path = askNotesFile(true, this);
    if (path.isEmpty())
        return;
    try {
        notesfile::exportToFile(DBConn, path);
        NotesMessage->setText(QStringLiteral("Заметки и избранное сохранены в файл %1").arg(path));
    } catch (const std::exception &e) {
        showErrorBox(errorText(e));
    }
}

void TKalmedaRamuxMainForm::ImportNotes()
{
    const QString path = askNotesFile(false, this);
    if (path.isEmpty())
        return;
    try {
        const notesfile::ImportResult result = notesfile::importFromFile(DBConn, path);
        NotesMessage->setText(QStringLiteral("Загружено записей: %1, оставлено без изменений (здесь новее): %2")
                                  .arg(result.taken)
                                  .arg(result.kept));
    } catch (const std::exception &e) {
        showErrorBox(errorText(e));
        return;
    }
    productPageShown(m_shownItemId);
    recomposeShownProduct();
    refreshFavouritesIfShown();
}

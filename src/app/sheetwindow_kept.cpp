// The sheet window's kept sheets: the list, keeping, reopening, copying for the next animal and
// deleting. A reopened line finds its row again by the choice's text.
#include "app/sheetwindow.h"

#include "answers/sheetstore.h"
#include "db/keptsheets.h"
#include "app/messageboxes.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

void SheetWindow::buildKeptRow(QBoxLayout *into)
{
    auto *row = new QHBoxLayout;
    auto *keep = new QPushButton(QStringLiteral("Сохранить лист"), this);
    keep->setObjectName(QStringLiteral("SheetKeep"));
    m_kept = new QComboBox(this);
    m_kept->setObjectName(QStringLiteral("SheetKept"));
    m_kept->setAccessibleName(QStringLiteral("Сохранённые листы"));
    m_kept->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto *open = new QPushButton(QStringLiteral("Открыть"), this);
    open->setObjectName(QStringLiteral("SheetKeptOpen"));
    auto *copy = new QPushButton(QStringLiteral("Копировать для другого животного"), this);
    copy->setObjectName(QStringLiteral("SheetKeptCopy"));
    auto *drop = new QPushButton(QStringLiteral("Удалить"), this);
    drop->setObjectName(QStringLiteral("SheetKeptDelete"));
    row->addWidget(keep);
    row->addSpacing(12);
    row->addWidget(m_kept, 1);
    row->addWidget(open);
    row->addWidget(copy);
    row->addWidget(drop);
    into->addLayout(row);
    const auto chosen = [this] { return m_kept->currentData().toString(); };
    connect(keep, &QPushButton::clicked, this, [this] { keepSheet(); });
    connect(open, &QPushButton::clicked, this, [this, chosen] { openKept(chosen()); });
    connect(copy, &QPushButton::clicked, this, [this, chosen] { copyKeptForAnotherAnimal(chosen()); });
    connect(drop, &QPushButton::clicked, this, [this, chosen] { deleteKept(chosen()); });
}

void SheetWindow::fillKept()
{
    QList<keptsheets::Sheet> sheets;
    try {
        sheets = keptsheets::all(m_db);
    } catch (const std::exception &e) {
        showErrorBox(QString::fromUtf8(e.what()));
    }
    const QSignalBlocker blocker(m_kept);
    m_kept->clear();
    for (const keptsheets::Sheet &s : sheets)
        m_kept->addItem(keptsheets::title(s), s.id);
    const int at = m_kept->findData(m_keptId);
    m_kept->setCurrentIndex(at >= 0 ? at : (m_kept->count() > 0 ? 0 : -1));
}

void SheetWindow::keepSheet()
{
    keptsheets::Sheet sheet;
    sheet.id = m_keptId;
    const SheetPatient p = patient();
    sheet.species = p.species.code;
    sheet.weight = p.weightText.trimmed();
    sheet.animal = p.name.trimmed();
    sheet.owner = p.owner.trimmed();
    sheet.date = p.date;
    sheet.course = m_course->text().trimmed();
    for (int i = 0; i < m_entries.size(); ++i) {
        const Entry &e = m_entries.at(i);
        keptsheets::Line line;
        line.itemId = e.itemId;
        line.name = e.input.name;
        line.route = e.choice.route;
        line.indication = e.choice.indication;
        line.form = e.choice.form;
        line.lastDose = e.lastDoseText;
        line.printed = e.printed;
        line.quote = i < m_sheet.lines.size() ? m_sheet.lines.at(i).quote : e.input.lastQuote;
        sheet.lines << line;
    }
    try {
        keptsheets::store(m_db, sheet);
        m_keptId = sheet.id;
    } catch (const std::exception &e) {
        showErrorBox(QString::fromUtf8(e.what()));
    }
    fillKept();
}

void SheetWindow::openSheet(const keptsheets::Sheet &sheet)
{
    fillSpecies();
    {
        const QSignalBlocker a(m_species), b(m_weight), c(m_name), d(m_owner), e(m_date), f(m_course);
        for (int i = 0; i < m_species->count(); ++i) {
            for (const Species &s : std::as_const(m_allSpecies)) {
                if (s.code == sheet.species && m_species->itemData(i).toLongLong() == s.id)
                    m_species->setCurrentIndex(i);
            }
        }
        m_weight->setText(sheet.weight);
        m_name->setText(sheet.animal);
        m_owner->setText(sheet.owner);
        m_date->setDate(sheet.date.isValid() ? sheet.date : QDate::currentDate());
        m_course->setText(sheet.course);
    }
    m_entries.clear();
    for (const keptsheets::Line &line : sheet.lines) {
        Entry entry;
        entry.itemId = line.itemId;
        entry.choice = SheetChoice{line.route, line.indication, line.form};
        entry.lastDoseText = line.lastDose;
        entry.printed = line.printed;
        try {
            entry.input = loadSheetLine(m_db, line.itemId, entry.choice, std::nullopt, line.name, line.quote);
        } catch (const std::exception &) {
            entry.input.itemId = line.itemId;
            entry.input.name = line.name;
            entry.input.lastQuote = line.quote;
            entry.input.inReference = false;
        }
        m_entries << entry;
    }
    m_lines->setCurrentRow(-1);
    recompute();
}

std::optional<keptsheets::Sheet> SheetWindow::findKept(const QString &id)
{
    try {
        return keptsheets::find(m_db, id);
    } catch (const std::exception &e) {
        showErrorBox(QString::fromUtf8(e.what()));
    }
    return std::nullopt;
}

bool SheetWindow::openKept(const QString &id)
{
    const std::optional<keptsheets::Sheet> sheet = findKept(id);
    if (!sheet)
        return false;
    m_keptId = sheet->id;
    openSheet(*sheet);
    fillKept();
    return true;
}

void SheetWindow::copyKeptForAnotherAnimal(const QString &id)
{
    const std::optional<keptsheets::Sheet> sheet = findKept(id);
    if (!sheet)
        return;
    m_keptId.clear(); // kept as a sheet of its own once kept or printed
    openSheet(keptsheets::copyForAnotherAnimal(*sheet));
    fillKept();
}

void SheetWindow::deleteKept(const QString &id)
{
    try {
        keptsheets::remove(m_db, id);
    } catch (const std::exception &e) {
        showErrorBox(QString::fromUtf8(e.what()));
    }
    if (id == m_keptId)
        m_keptId.clear();
    fillKept();
}

void SheetWindow::markPrinted()
{
    for (int i = 0; i < m_entries.size() && i < m_sheet.lines.size(); ++i)
        m_entries[i].printed = m_sheet.lines.at(i).resultText();
    keepSheet();
    recompute();
}

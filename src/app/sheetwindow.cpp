#include "app/sheetwindow.h"

#include "answers/answerstore.h"
#include "answers/sheetprint.h"
#include "answers/sheetstore.h"
#include "app/messageboxes.h"
#include "app/pdfdialog.h"
#include "db/demoreference.h"
#include "db/sheetsettings.h"
#include "pages/render/pagedocument.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcSheet, "ramux.sheet")

namespace {

QLineEdit *lineEdit(QWidget *parent, const char *name, const QString &accessible, int maxLength = 200)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(accessible);
    edit->setMaxLength(maxLength);
    return edit;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

PageResourceFunction noResources()
{
    return [](int, const QUrl &) { return QVariant(); };
}

} // namespace

SheetWindow::SheetWindow(Database &db, QWidget *parent) : QWidget(parent, Qt::Window), m_db(db)
{
    setObjectName(QStringLiteral("SheetWindow"));
    setWindowTitle(QStringLiteral("Лист назначения"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildForm();
    resize(900, 650);
}

void SheetWindow::buildForm()
{
    auto *top = new QVBoxLayout(this);
    auto *patient = new QFormLayout;
    m_species = new QComboBox(this);
    m_species->setObjectName(QStringLiteral("SheetSpecies"));
    m_species->setAccessibleName(QStringLiteral("Вид животного"));
    m_weight = lineEdit(this, "SheetWeight", QStringLiteral("Масса тела, кг"), 20);
    m_weight->setPlaceholderText(QStringLiteral("например, 450"));
    m_name = lineEdit(this, "SheetAnimal", QStringLiteral("Животное или группа"));
    m_owner = lineEdit(this, "SheetOwner", QStringLiteral("Владелец"));
    m_date = new QDateEdit(QDate::currentDate(), this);
    m_date->setObjectName(QStringLiteral("SheetDate"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);
    auto *first = new QHBoxLayout;
    first->addWidget(m_species, 1);
    first->addWidget(new QLabel(QStringLiteral("Масса тела, кг:"), this));
    first->addWidget(m_weight);
    first->addWidget(new QLabel(QStringLiteral("Дата:"), this));
    first->addWidget(m_date);
    patient->addRow(QStringLiteral("Вид:"), first);
    patient->addRow(QStringLiteral("Животное или группа:"), m_name);
    patient->addRow(QStringLiteral("Владелец:"), m_owner);
    top->addLayout(patient);

    auto *split = new QSplitter(Qt::Horizontal, this);
    auto *left = new QWidget(split);
    auto *leftBox = new QVBoxLayout(left);
    leftBox->setContentsMargins(0, 0, 0, 0);
    m_lines = new QListWidget(left);
    m_lines->setObjectName(QStringLiteral("SheetLines"));
    m_lines->setAccessibleName(QStringLiteral("Препараты листа"));
    m_lines->setWordWrap(true);
    leftBox->addWidget(m_lines, 1);
    auto *moves = new QHBoxLayout;
    m_up = button(left, "SheetUp", QStringLiteral("Выше"));
    m_down = button(left, "SheetDown", QStringLiteral("Ниже"));
    m_remove = button(left, "SheetRemove", QStringLiteral("Убрать"));
    moves->addWidget(m_up);
    moves->addWidget(m_down);
    moves->addWidget(m_remove);
    moves->addStretch(1);
    leftBox->addLayout(moves);
    auto *times = new QFormLayout;
    m_lineLast = lineEdit(left, "SheetLineLast", QStringLiteral("Последнее введение препарата"), 20);
    m_lineLast->setPlaceholderText(QStringLiteral("ДД.ММ.ГГГГ ЧЧ:ММ"));
    times->addRow(QStringLiteral("Последнее введение препарата:"), m_lineLast);
    auto *course = new QHBoxLayout;
    m_course = lineEdit(left, "SheetCourse", QStringLiteral("Последнее введение курса"), 20);
    m_course->setPlaceholderText(QStringLiteral("ДД.ММ.ГГГГ ЧЧ:ММ"));
    auto *forAll = button(left, "SheetCourseApply", QStringLiteral("Всем препаратам"));
    course->addWidget(m_course);
    course->addWidget(forAll);
    times->addRow(QStringLiteral("Последнее введение курса:"), course);
    leftBox->addLayout(times);
    auto *print = new QHBoxLayout;
    m_sideEffects = new QCheckBox(QStringLiteral("Побочные действия"), left);
    m_sideEffects->setObjectName(QStringLiteral("SheetSideEffects"));
    m_storage = new QCheckBox(QStringLiteral("Условия хранения"), left);
    m_storage->setObjectName(QStringLiteral("SheetStorage"));
    print->addWidget(m_sideEffects);
    print->addWidget(m_storage);
    print->addStretch(1);
    leftBox->addLayout(print);
    auto *out = new QHBoxLayout;
    auto *printButton = button(left, "SheetPrint", QStringLiteral("Печать…"));
    auto *pdfButton = button(left, "SheetPdf", QStringLiteral("Сохранить в PDF…"));
    out->addWidget(printButton);
    out->addWidget(pdfButton);
    out->addStretch(1);
    leftBox->addLayout(out);
    m_preview = new QTextBrowser(split);
    m_preview->setObjectName(QStringLiteral("SheetPreview"));
    m_preview->setAccessibleName(QStringLiteral("Лист назначения, как он будет напечатан"));
    m_preview->setOpenLinks(false);
    split->addWidget(left);
    split->addWidget(m_preview);
    split->setStretchFactor(1, 1);
    top->addWidget(split, 1);
    buildKeptRow(top);

    connect(m_species, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { recompute(); });
    connect(m_weight, &QLineEdit::textChanged, this, [this] { recompute(); });
    for (QLineEdit *edit : {m_name, m_owner})
        connect(edit, &QLineEdit::textChanged, this, [this] { recompute(); });
    connect(m_date, &QDateEdit::dateChanged, this, [this] { recompute(); });
    connect(m_lines, &QListWidget::currentRowChanged, this, [this] { showCurrentLine(); });
    connect(m_lines, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        const int row = m_lines->row(item);
        if (row >= 0 && row < m_entries.size())
            emit productRequested(QStringLiteral("ITEM:%1").arg(m_entries.at(row).itemId));
    });
    connect(m_up, &QPushButton::clicked, this, [this] { moveLine(m_lines->currentRow(), -1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveLine(m_lines->currentRow(), 1); });
    connect(m_remove, &QPushButton::clicked, this, [this] { removeLine(m_lines->currentRow()); });
    connect(m_lineLast, &QLineEdit::textChanged, this, [this](const QString &text) {
        const int row = m_lines->currentRow();
        if (m_settingLine || row < 0 || row >= m_entries.size())
            return;
        m_entries[row].lastDoseText = text.trimmed();
        recompute();
    });
    connect(forAll, &QPushButton::clicked, this, [this] { applyCourseTime(); });
    connect(m_course, &QLineEdit::returnPressed, this, [this] { applyCourseTime(); });
    const auto remember = [this] {
        try {
            sheetsettings::Settings s = sheetsettings::load(m_db);
            s.sideEffects = m_sideEffects->isChecked();
            s.storage = m_storage->isChecked();
            sheetsettings::save(m_db, s);
        } catch (const std::exception &e) {
            qCWarning(lcSheet) << "sheet settings not saved:" << e.what();
        }
        recompute();
    };
    connect(m_sideEffects, &QCheckBox::toggled, this, remember);
    connect(m_storage, &QCheckBox::toggled, this, remember);
    connect(printButton, &QPushButton::clicked, this, [this] { printSheet(); });
    connect(pdfButton, &QPushButton::clicked, this, [this] { savePdf(); });
}

void SheetWindow::fillSpecies()
{
    if (!m_allSpecies.isEmpty())
        return;
    try {
        m_allSpecies = loadSpecies(m_db);
        const sheetsettings::Settings s = sheetsettings::load(m_db);
        const QSignalBlocker a(m_sideEffects), b(m_storage);
        m_sideEffects->setChecked(s.sideEffects);
        m_storage->setChecked(s.storage);
    } catch (const std::exception &e) {
        qCWarning(lcSheet) << "species not read:" << e.what();
    }
    const QSignalBlocker blocker(m_species);
    for (const Species &s : std::as_const(m_allSpecies))
        m_species->addItem(s.name, s.id);
}

void SheetWindow::showSheet()
{
    fillSpecies();
    fillKept();
    recompute();
    show();
    raise();
    activateWindow();
}

void SheetWindow::addLine(qint64 itemId, const SheetChoice &choice, const QString &lastDoseText)
{
    fillSpecies();
    Entry entry;
    entry.itemId = itemId;
    entry.choice = choice;
    entry.lastDoseText = lastDoseText.trimmed();
    try {
        entry.input = loadSheetLine(m_db, itemId, choice, std::nullopt);
    } catch (const std::exception &e) {
        qCWarning(lcSheet) << "product" << itemId << "not read:" << e.what();
        entry.input.itemId = itemId;
        entry.input.inReference = false;
    }
    m_entries << entry;
    recompute();
    m_lines->setCurrentRow(int(m_entries.size()) - 1);
}

void SheetWindow::addCalculation(qint64 itemId, const DoseCalculation &calculation, const QString &lastDoseText)
{
    fillSpecies();
    if (m_entries.isEmpty()) {
        // The first product brings its patient: the panel's species and weight.
        const int at = m_species->findText(calculation.speciesName);
        if (at >= 0) {
            const QSignalBlocker blocker(m_species);
            m_species->setCurrentIndex(at);
        }
        const QSignalBlocker blocker(m_weight);
        m_weight->setText(calculation.weightText);
    }
    SheetChoice choice;
    choice.form = calculation.formText;
    if (!calculation.routeChoice.isEmpty() && !calculation.answers.isEmpty()) {
        choice.route = calculation.answers.first().row.route;
        choice.indication = calculation.answers.first().row.indication;
    }
    addLine(itemId, choice, lastDoseText);
}

void SheetWindow::removeLine(int row)
{
    if (row < 0 || row >= m_entries.size())
        return;
    m_entries.removeAt(row);
    recompute();
    m_lines->setCurrentRow(qMin(row, int(m_entries.size()) - 1));
}

void SheetWindow::moveLine(int row, int by)
{
    const int to = row + by;
    if (row < 0 || row >= m_entries.size() || to < 0 || to >= m_entries.size())
        return;
    m_entries.move(row, to);
    recompute();
    m_lines->setCurrentRow(to);
}

void SheetWindow::reload()
{
    m_demo.reset();
    for (Entry &entry : m_entries) {
        try {
            entry.input = loadSheetLine(m_db, entry.itemId, entry.choice, std::nullopt, entry.input.name,
                                        entry.input.lastQuote);
        } catch (const std::exception &e) {
            qCWarning(lcSheet) << "product" << entry.itemId << "not read again:" << e.what();
        }
    }
    m_allSpecies.clear();
    const QVariant chosen = m_species->currentData();
    {
        const QSignalBlocker blocker(m_species);
        m_species->clear();
    }
    fillSpecies();
    const int at = m_species->findData(chosen);
    if (at >= 0) {
        const QSignalBlocker blocker(m_species);
        m_species->setCurrentIndex(at);
    }
    recompute();
}

void SheetWindow::applyCourseTime()
{
    const QString text = m_course->text().trimmed();
    for (Entry &entry : m_entries)
        entry.lastDoseText = text;
    recompute();
    showCurrentLine();
}

SheetPatient SheetWindow::patient() const
{
    SheetPatient p;
    const qint64 id = m_species->currentData().toLongLong();
    for (const Species &s : m_allSpecies) {
        if (s.id == id)
            p.species = s;
    }
    p.weightText = m_weight->text();
    p.name = m_name->text();
    p.owner = m_owner->text();
    p.date = m_date->date();
    return p;
}

void SheetWindow::recompute()
{
    QList<SheetLineInput> inputs;
    for (Entry &entry : m_entries) {
        SheetLineInput in = entry.input;
        in.choice = entry.choice;
        in.lastDose = entry.lastDoseText.isEmpty() ? std::nullopt : parseLastDose(entry.lastDoseText);
        inputs << in;
    }
    m_sheet = composeSheet(patient(), inputs);
    // Keep each line's last quote, so a product a sync removes still shows what it said.
    for (int i = 0; i < m_entries.size(); ++i) {
        if (!m_sheet.lines.at(i).quote.isEmpty())
            m_entries[i].input.lastQuote = m_sheet.lines.at(i).quote;
    }
    const int current = m_lines->currentRow();
    {
        const QSignalBlocker blocker(m_lines);
        while (m_lines->count() > m_sheet.lines.size())
            delete m_lines->takeItem(m_lines->count() - 1);
        while (m_lines->count() < m_sheet.lines.size())
            m_lines->addItem(QString());
        for (int i = 0; i < m_sheet.lines.size(); ++i)
            m_lines->item(i)->setText(m_sheet.lines.at(i).sentence());
        m_lines->setCurrentRow(qMin(current, m_lines->count() - 1));
    }
    m_preview->setHtml(html());
    m_up->setEnabled(m_entries.size() > 1);
    m_down->setEnabled(m_entries.size() > 1);
    m_remove->setEnabled(!m_entries.isEmpty());
}

void SheetWindow::showCurrentLine()
{
    const int row = m_lines->currentRow();
    m_settingLine = true;
    m_lineLast->setEnabled(row >= 0 && row < m_entries.size());
    m_lineLast->setText(row >= 0 && row < m_entries.size() ? m_entries.at(row).lastDoseText : QString());
    m_settingLine = false;
}

QString SheetWindow::html(bool paper) const
{
    SheetPrintOptions options;
    try {
        options = sheetPrintOptions(m_db, m_sheet);
        if (!m_demo)
            m_demo = demoreference::holdsDemo(m_db);
        options.demo = *m_demo;
    } catch (const std::exception &e) {
        qCWarning(lcSheet) << "print settings not read:" << e.what();
    }
    // The screen tells the vet what changed since the owner's copy; the new copy just says it.
    for (int i = 0; !paper && i < m_entries.size() && i < m_sheet.lines.size(); ++i) {
        const QString before = m_entries.at(i).printed;
        const SheetLine &line = m_sheet.lines.at(i);
        // A product gone from the reference shows no number, not even the one printed before.
        const bool changed = !before.isEmpty() && line.inReference && before != line.resultText();
        options.printedBefore << (changed ? before : QString());
    }
    return sheetHtml(m_sheet, options);
}

bool SheetWindow::writePdf(const QString &path)
{
    QString error;
    if (writePagePdf(html(true), noResources(), path, &error) == 0) {
        showErrorBox(QStringLiteral("Не удалось сохранить PDF-файл «%1»: %2").arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    markPrinted();
    return true;
}

void SheetWindow::savePdf()
{
    const QString suggested = QDir::home().filePath(QStringLiteral("Лист назначения.pdf"));
    const QString path = askPdfFileName(this, suggested);
    if (!path.isEmpty())
        writePdf(path);
}

void SheetWindow::printSheet()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        printTo(printer);
}

void SheetWindow::printTo(QPrinter &printer)
{
    std::unique_ptr<QTextDocument> doc = layOutForPaper(html(true), noResources(), printer);
    doc->print(&printer);
    markPrinted();
}

// "Лист назначения": a window of its own beside the main window, holding one patient and the
// products given to it. Every figure comes from the sheet's composition in the core; this class
// only collects the inputs and shows, prints or saves what the composition says.
#pragma once

#include "answers/sheet.h"
#include "app/answerstext.h"

#include <QWidget>
#include <optional>

class Database;
class QBoxLayout;
namespace keptsheets {
struct Sheet;
}
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QListWidget;
class QPrinter;
class QPushButton;
class QTextBrowser;

class SheetWindow final : public QWidget
{
    Q_OBJECT

public:
    SheetWindow(Database &db, QWidget *parent);

    // One line of the sheet as the window keeps it: the product and the choice by content.
    struct Entry
    {
        qint64 itemId = 0;
        SheetChoice choice;
        QString lastDoseText;
        SheetLineInput input; // the product's rows as last read
        QString printed;      // the line's result when last printed
    };

    const SheetComposition &composition() const { return m_sheet; }
    // The preview's HTML; on paper without the marks of what changed since the last print.
    QString html(bool paper = false) const;
    // Writes the printout to a PDF file; false with the reason shown when it cannot.
    bool writePdf(const QString &path);
    // Prints the sheet on a printer already set up (the print dialog's, or a test's).
    void printTo(QPrinter &printer);

    QComboBox *speciesBox() const { return m_species; }
    QLineEdit *weightEdit() const { return m_weight; }
    QLineEdit *courseEdit() const { return m_course; }
    QLineEdit *lineLastDoseEdit() const { return m_lineLast; }
    QListWidget *lineList() const { return m_lines; }
    QTextBrowser *preview() const { return m_preview; }
    QComboBox *keptBox() const { return m_kept; }
    QString keptId() const { return m_keptId; }

public slots:
    // Shows the window in front, filling its species list on first use.
    void showSheet();
    // A product with the calculator's choice; an empty sheet takes the species and weight too.
    void addLine(qint64 itemId, const SheetChoice &choice, const QString &lastDoseText = {});
    void addCalculation(qint64 itemId, const DoseCalculation &calculation, const QString &lastDoseText);
    void removeLine(int row);
    void moveLine(int row, int by);
    // Reads every product again (after an update run) and recomputes.
    void reload();
    // Sets one last administration for every line ("последнее введение курса").
    void applyCourseTime();
    // Kept sheets (sheetwindow_kept.cpp): stored with what was printed, reopened by their id and
    // computed again from today's data.
    void keepSheet();
    bool openKept(const QString &id);
    void copyKeptForAnotherAnimal(const QString &id);
    void deleteKept(const QString &id);

signals:
    void productRequested(const QString &link);

private:
    // A kept sheet by its id; none (with an error box) when it cannot be read.
    std::optional<keptsheets::Sheet> findKept(const QString &id);
    void buildForm();
    void fillSpecies();
    void recompute();
    void showCurrentLine();
    SheetPatient patient() const;
    void printSheet();
    void savePdf();
    void buildKeptRow(QBoxLayout *into);
    void fillKept();
    void markPrinted();
    void openSheet(const keptsheets::Sheet &sheet);

    Database &m_db;
    QList<Species> m_allSpecies;
    QList<Entry> m_entries;
    SheetComposition m_sheet;
    bool m_settingLine = false;

    QComboBox *m_species = nullptr;
    QLineEdit *m_weight = nullptr, *m_name = nullptr, *m_owner = nullptr;
    QDateEdit *m_date = nullptr;
    QLineEdit *m_course = nullptr, *m_lineLast = nullptr;
    QListWidget *m_lines = nullptr;
    QPushButton *m_up = nullptr, *m_down = nullptr, *m_remove = nullptr;
    QCheckBox *m_sideEffects = nullptr, *m_storage = nullptr;
    QTextBrowser *m_preview = nullptr;
    QComboBox *m_kept = nullptr;
    QString m_keptId; // the kept sheet shown, empty for a new one
    // Read at the first composition and again after a reload, not at every keystroke: the
    // stored greeting it comes from can be large.
    mutable std::optional<bool> m_demo;
};

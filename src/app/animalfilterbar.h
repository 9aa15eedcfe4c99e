// The species filter of the window: "Вид животного" beside the search box, the notice above the
// product tree, and which products a narrowed list keeps. It narrows the product tree itself and
// tells the window (changed) when the shown pages should be composed anew, and the product panel
// (speciesChanged) which species the window is about.
#pragma once

#include "answers/animalfilter.h"
#include "db/browselists.h"
#include "pages/searchpage.h"

#include <QList>
#include <QObject>
#include <memory>
#include <optional>

class Database;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QSplitter;
class QTreeWidget;
class QWidget;

class AnimalFilterBar final : public QObject
{
    Q_OBJECT

public:
    // `russian` and `latin` are the window's whole name lists, read again at every narrowing.
    AnimalFilterBar(Database &db, const NameList &russian, const NameList &latin, QObject *window);

    // Puts the box after `before` in the search row and the notice above `tree` in its splitter;
    // both stay hidden until refresh finds species.
    void attach(QHBoxLayout *searchRow, QWidget *boxParent, QWidget *before, QSplitter *splitter,
                QTreeWidget *tree);
    QComboBox *box() const { return m_box; }
    QLabel *notice() const { return m_notice; }

    // Reads the species anew (a data load or a change of the structured rows), keeping the
    // choice while its species is still there, and narrows again.
    void refresh(bool shownPagesToo);
    QString choice() const; // the chosen species' code; empty for "все"
    void choose(const QString &code);
    const AnimalFilter *filter() const { return m_filter.get(); } // null for "все"

    const NameList &shownNames(bool latin) const;
    // The results page's catalogues while narrowed, built once per narrowing; `all` otherwise.
    const SearchCatalogs &searchCatalogs(const SearchCatalogs &all);

public slots:
    // The calculator's species, chosen by the user: the filter follows it while it narrows to
    // a species, and stays at "все" otherwise.
    void followCalculator(const QString &code);

signals:
    // The choice was applied; the window composes the pages it shows again when asked to.
    void changed(bool shownPagesToo);
    void speciesChanged(const QString &code);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply(bool shownPagesToo);
    void narrowTree();

    Database &m_db;
    const NameList &m_allRussian;
    const NameList &m_allLatin;
    QObject *m_window;
    QList<Species> m_species; // in the box after "все"
    QString m_wanted;         // the chosen code; empty for "все"
    std::shared_ptr<const AnimalFilter> m_filter;
    std::optional<AnimalIndex> m_index; // read once per data load, when a species is first chosen
    NameList m_russian, m_latin;        // the name lists narrowed to the species
    SearchCatalogs m_catalogs;
    bool m_catalogsBuilt = false;
    bool m_watching = false;
    QComboBox *m_box = nullptr;
    QLabel *m_caption = nullptr;
    QLabel *m_notice = nullptr;
    QTreeWidget *m_tree = nullptr;
};

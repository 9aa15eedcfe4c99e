// The name search of the product page (ComboBox1 chooses the alphabet, ComboBox2 is the box).
#include "app/mainform.h"

#include "app/searchcombobox.h"
#include "app/animalfilterbar.h"
#include "db/namesearch.h"

#include <QAbstractListModel>
#include <QLineEdit>
#include <QTreeWidget>

namespace {

// The drop-down's items straight from a result list: refilling is one reset, not one insert
// per item, which keeps a keystroke cheap over large lists.
class TNameListModel final : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void setEntries(NameList entries)
    {
        beginResetModel();
        m_entries = std::move(entries);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_entries.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_entries.size())
            return {};
        const NameEntry &entry = m_entries[index.row()];
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return entry.key;
        if (role == Qt::UserRole)
            return entry.id;
        return {};
    }

private:
    NameList m_entries;
};

TNameListModel *resultsModel(QComboBox *box)
{
    auto *model = dynamic_cast<TNameListModel *>(box->model());
    if (!model) {
        model = new TNameListModel(box);
        box->setModel(model);
    }
    return model;
}

} // namespace

void TKalmedaRamuxMainForm::ComboBox2Change()
{
    if (!m_typed)
        return;
    m_typed = false;
    const QString text = searchTextOf(ComboBox2->currentText());
    QLineEdit *edit = ComboBox2->lineEdit();

    // The box clears and refills its items; the typed text stays as the user left it.
    m_changeAttached = false;
    TNameListModel *model = resultsModel(ComboBox2);
    NameList found;
    if (text.size() >= namesearch::kMinimumLength)
        found = searchNames(m_speciesFilter->shownNames(ComboBox1->currentIndex() == 1), text);
    const int count = int(found.size());
    model->setEntries(std::move(found));
    ComboBox2->setCurrentIndex(-1);
    edit->setText(text);
    m_changeAttached = true;
    ComboBox2->setFocus();
    edit->setCursorPosition(int(text.size()));
    if (text.size() < namesearch::kMinimumLength)
        return;
    if (opensDropDown(count)) {
        ComboBox2->showPopup();
        ComboBox2->setFocus();
        edit->setCursorPosition(int(text.size()));
        edit->setSelection(int(text.size()), 255);
    }
}

void TKalmedaRamuxMainForm::ComboBox2CloseUp()
{
    // The closing drop-down may set the text; that is no typing and starts no search.
    m_changeAttached = false;
    m_typed = false;
    ComboBox2->setFocus();
    ComboBox2->lineEdit()->setCursorPosition(int(ComboBox2->lineEdit()->text().size()));
    m_changeAttached = true;
}

void TKalmedaRamuxMainForm::ComboBox2Select(int index)
{
    m_typed = false;
    if (index < 0 || index >= ComboBox2->count())
        return;
    const qint64 id = ComboBox2->itemData(index, Qt::UserRole).toLongLong();
    QTreeWidgetItem *node = FindNodeByData(TreeView1->topLevelItem(0), id);
    if (!node)
        return;
    if (TreeView1->currentItem() == node)
        TreeView1Change(node); // already selected: the page is composed all the same
    else
        TreeView1->setCurrentItem(node); // the selection handler composes the page
}

// The spoken names of the window. A button that shows its text keeps that text as its name
// (it may change, like the favourites button's); it gets a description only.
#include "app/accessibility.h"

#include "app/mainform.h"
#include "app/searchcombobox.h"
#include "pages/ui/htmlrenderer.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace {

// How a page view is read: the caret and the links, as the keys of the window work.
const char kViewKeys[] = "Стрелки перемещают курсор по тексту, Tab переходит к следующей ссылке, Enter "
                         "открывает её, Backspace возвращает на предыдущую страницу";

void name(QWidget *widget, const QString &text, const QString &description = QString())
{
    if (!widget)
        return;
    if (!text.isEmpty())
        widget->setAccessibleName(text);
    if (!description.isEmpty())
        widget->setAccessibleDescription(description);
}

void describe(QWidget *widget, const QString &description)
{
    name(widget, QString(), description);
}

void nameView(TPBearHTMLRenderer *view, const QString &text)
{
    if (view)
        name(view->Viewer(), text, QString::fromUtf8(kViewKeys));
}

void nameToolBar(TKalmedaRamuxMainForm &w)
{
    name(w.ToolBar1, QStringLiteral("Разделы справочника"));
    name(w.tbDrugs, QStringLiteral("Препараты"),
         QStringLiteral("Список препаратов и страница выбранного препарата"));
    name(w.tbGroups, QStringLiteral("Фармакологические группы"),
         QStringLiteral("Дерево фармакологических групп и страница выбранной группы"));
    name(w.tbVendors, QStringLiteral("Производители"),
         QStringLiteral("Список производителей и страница выбранного производителя"));
    name(w.tbFavourites, QStringLiteral("Избранное"), QStringLiteral("Избранные препараты и заметки к ним"));
    name(w.tbSettings, QStringLiteral("Настройка"),
         QStringLiteral("Настройки обновления, прокси-сервера и заметок"));
    name(w.tbAppendix, QStringLiteral("Дополнительно"),
         QStringLiteral("Дополнительные материалы справочника"));
    name(w.tbAbout, QStringLiteral("О программе"), QStringLiteral("Сведения о программе"));
    name(w.tbExit, QStringLiteral("Выход"), QStringLiteral("Закрыть программу"));
    // Qt's own button for what does not fit on a narrow window.
    if (w.ToolBar1) {
        name(w.ToolBar1->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")),
             QStringLiteral("Другие разделы"), QStringLiteral("Кнопки разделов, не поместившиеся на панели"));
    }
}

void nameSearch(TKalmedaRamuxMainForm &w)
{
    if (w.ComboBox1) {
        name(w.ComboBox1, QStringLiteral("Алфавит названия"),
             QStringLiteral("Искать по русскому или по латинскому названию"));
        name(w.ComboBox1->view(), QStringLiteral("Алфавиты названия"));
    }
    if (w.ComboBox2) {
        const QString search = QStringLiteral("Поиск по названию");
        const QString how = QStringLiteral("Введите не меньше трёх букв названия; Enter показывает все "
                                           "результаты поиска, в том числе по описаниям");
        name(w.ComboBox2, search, how);
        name(w.ComboBox2->lineEdit(), search, how);
        name(w.ComboBox2->view(), QStringLiteral("Найденные препараты"));
    }
    describe(w.FindButton,
             QStringLiteral("Показать все результаты поиска, в том числе по описаниям (Ctrl+F — "
                            "перейти к полю поиска)"));
}

void nameLists(TKalmedaRamuxMainForm &w)
{
    const QString opens = QStringLiteral("; выбранная запись открывается справа, F6 переходит к её странице");
    name(w.TreeView1, QStringLiteral("Список препаратов"),
         QStringLiteral("Препараты по буквам алфавита") + opens);
    name(w.TreeView2, QStringLiteral("Дерево фармакологических групп"),
         QStringLiteral("Группы и подгруппы") + opens);
    name(w.TreeView3, QStringLiteral("Список производителей"),
         QStringLiteral("Производители по алфавиту") + opens);
}

void nameProductStrip(TKalmedaRamuxMainForm &w)
{
    describe(w.BitBtn1, QStringLiteral("Напечатать страницу препарата (Ctrl+P)"));
    describe(w.PdfButton, QStringLiteral("Сохранить страницу препарата в файл PDF (Ctrl+S)"));
    describe(w.btnFavourite, QStringLiteral("Добавить препарат в избранное или убрать из него (Ctrl+D)"));
    describe(w.btnNote, QStringLiteral("Написать или изменить свою заметку к препарату"));
    for (QToolButton *back : w.BackButtons)
        name(back, QStringLiteral("Назад"), QStringLiteral("Предыдущая показанная страница (Alt+←)"));
    for (QToolButton *forward : w.ForwardButtons)
        name(forward, QStringLiteral("Вперёд"), QStringLiteral("Следующая показанная страница (Alt+→)"));
}

void nameSettings(TKalmedaRamuxMainForm &w)
{
    describe(w.ProgUpd, QStringLiteral("При запуске спрашивать сервер о новой версии программы"));
    describe(w.DataUpd, QStringLiteral("При запуске загружать с сервера изменения справочника"));
    name(w.ApiAddr, QStringLiteral("Адрес сервера обновлений"), QStringLiteral("Не изменяйте этот параметр"));
    name(w.ProxyHost, QStringLiteral("Адрес прокси-сервера"));
    name(w.ProxyPort, QStringLiteral("Порт прокси-сервера"));
    name(w.ProxyUser, QStringLiteral("Логин прокси-сервера"));
    name(w.ProxyPass, QStringLiteral("Пароль прокси-сервера"));
    describe(w.PrintNotes, QStringLiteral("Добавлять мои заметки к печати и PDF страницы препарата"));
    describe(w.btnExportNotes, QStringLiteral("Сохранить избранное и заметки в файл, чтобы перенести их на "
                                              "другой компьютер"));
    describe(w.btnImportNotes, QStringLiteral("Добавить избранное и заметки из файла"));
}

} // namespace

void nameForScreenReaders(TKalmedaRamuxMainForm &window)
{
    nameToolBar(window);
    nameSearch(window);
    nameLists(window);
    nameProductStrip(window);
    nameSettings(window);
    nameView(window.m_productView, QStringLiteral("Страница препарата"));
    nameView(window.m_groupView, QStringLiteral("Страница группы"));
    nameView(window.m_vendorView, QStringLiteral("Страница производителя"));
    nameView(window.m_appendixView, QStringLiteral("Дополнительно"));
    nameView(window.m_aboutView, QStringLiteral("О программе"));
    nameView(window.m_favouritesView, QStringLiteral("Избранное"));
}

void nameFavouritesView(QWidget *viewer)
{
    name(viewer, QStringLiteral("Избранное"), QString::fromUtf8(kViewKeys));
}

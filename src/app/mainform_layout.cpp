// A layout that remembers: the window's geometry (size, place, maximised), the three list
// splitters and the zoom level are kept per user between starts; long list names that the list
// cuts show whole as tooltips.
#include "app/mainform.h"

#include "app/answerspanel.h"
#include "pages/stylezoom.h"

#include <QHelpEvent>
#include <algorithm>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QToolTip>
#include <QTreeWidget>

namespace {

QSettings userSettings()
{
    return QSettings(QStringLiteral("Ramux"), QStringLiteral("Ramux"));
}

} // namespace

void TKalmedaRamuxMainForm::restoreLayout()
{
    // Nothing stored is the first start: the size, place and widths the window was built with.
    QSettings settings = userSettings();
    const QByteArray geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const std::pair<const char *, QSplitter *> splitters[] = {
        {"layout/products", Splitter1}, {"layout/groups", Splitter2}, {"layout/vendors", Splitter3}};
    for (const auto &[key, splitter] : splitters) {
        const QByteArray state = settings.value(QLatin1String(key)).toByteArray();
        if (!state.isEmpty())
            splitter->restoreState(state);
    }
    const int zoom = stylezoom::clamped(settings.value(QStringLiteral("view/zoom"), stylezoom::kDefault).toInt());
    if (zoom != stylezoom::kDefault)
        SetZoom(zoom);
    if (m_answers)
        m_answers->setCollapsed(settings.value(QStringLiteral("layout/answersCollapsed"), false).toBool());
    SetAnimalChoice(settings.value(QStringLiteral("filter/species")).toString());
    m_layoutRestored = true;
}

void TKalmedaRamuxMainForm::saveLayout()
{
    if (!m_layoutRestored)
        return;
    QSettings settings = userSettings();
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    const std::pair<const char *, QSplitter *> splitters[] = {
        {"layout/products", Splitter1}, {"layout/groups", Splitter2}, {"layout/vendors", Splitter3}};
    for (const auto &[key, splitter] : splitters) {
        // A page never shown has no widths of its own yet: what is stored stays.
        const QList<int> sizes = splitter->sizes();
        if (std::all_of(sizes.begin(), sizes.end(), [](int size) { return size > 0; }))
            settings.setValue(QLatin1String(key), splitter->saveState());
    }
    settings.setValue(QStringLiteral("view/zoom"), m_zoom);
    if (m_answers)
        settings.setValue(QStringLiteral("layout/answersCollapsed"), m_answers->isCollapsed());
    settings.setValue(QStringLiteral("filter/species"), AnimalChoice());
    settings.sync();
}

bool TKalmedaRamuxMainForm::IsNameCut(const QTreeWidget *tree, const QTreeWidgetItem *item)
{
    if (!tree || !item)
        return false;
    const QRect rect = tree->visualItemRect(item).intersected(tree->viewport()->rect());
    QFont font = tree->font();
    if (item->isSelected())
        font.setBold(true); // the selected item is drawn bold, so it needs more room
    // The style keeps this margin on either side of an item's text.
    const int margin = tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1;
    return QFontMetrics(font).horizontalAdvance(item->text(0)) > rect.width() - 2 * margin;
}

bool TKalmedaRamuxMainForm::listToolTipEvent(QWidget *widget, QHelpEvent *event)
{
    for (QTreeWidget *tree : {TreeView1, TreeView2, TreeView3}) {
        if (!tree || widget != tree->viewport())
            continue;
        const QTreeWidgetItem *item = tree->itemAt(event->pos());
        if (item && IsNameCut(tree, item))
            QToolTip::showText(event->globalPos(), item->text(0), widget, tree->visualItemRect(item));
        else
            QToolTip::hideText();
        return true;
    }
    return false;
}

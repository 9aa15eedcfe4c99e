// The page views and their handlers: placeholders until the HTML view and page composers exist.
#include "app/mainform.h"

void TKalmedaRamuxMainForm::createViews()
{
}

void TKalmedaRamuxMainForm::TreeView1Change(QTreeWidgetItem *)
{
}

void TKalmedaRamuxMainForm::TreeView2Change(QTreeWidgetItem *)
{
}

void TKalmedaRamuxMainForm::TreeView3Change(QTreeWidgetItem *)
{
}

void TKalmedaRamuxMainForm::PageLinkClick(QObject *, const QString &)
{
}

void TKalmedaRamuxMainForm::BitBtn1Click()
{
}

// The settings page and the stored options it shows.
#include "app/mainform.h"

#include "db/options.h"
#include "update/proxysettings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

QWidget *TKalmedaRamuxMainForm::buildSettingsPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    GroupBox3 = new QGroupBox(QStringLiteral(" Настройки обновления "), page);
    GroupBox3->setFixedHeight(99);
    auto *updates = new QVBoxLayout(GroupBox3);
    updates->setContentsMargins(8, 4, 8, 6);
    updates->setSpacing(3);
    ProgUpd = new QCheckBox(QStringLiteral("Проверять наличие обновлений программы"), GroupBox3);
    DataUpd =
        new QCheckBox(QStringLiteral("Проверять наличие обновлений информации о лекарствах"), GroupBox3);
    Label6 = new QLabel(QStringLiteral("Адрес сервера обновлений (не изменяйте этот параметр):"), GroupBox3);
    ApiAddr = new QLineEdit(GroupBox3);
    ApiAddr->setFixedWidth(316);
    for (QWidget *w : {static_cast<QWidget *>(ProgUpd), static_cast<QWidget *>(DataUpd),
                       static_cast<QWidget *>(Label6), static_cast<QWidget *>(ApiAddr)})
        updates->addWidget(w, 0, Qt::AlignLeft);
    layout->addWidget(GroupBox3);

    GroupBox6 = new QGroupBox(QStringLiteral(" Настройки прокси-сервера "), page);
    GroupBox6->setFixedHeight(77);
    auto *proxy = new QGridLayout(GroupBox6);
    proxy->setContentsMargins(8, 4, 8, 6);
    proxy->setHorizontalSpacing(6);
    proxy->setVerticalSpacing(4);
    auto label = [&](const QString &text) {
        auto *l = new QLabel(text, GroupBox6);
        QFont bold = l->font();
        bold.setBold(true);
        l->setFont(bold);
        return l;
    };
    auto edit = [&](int width) {
        auto *e = new QLineEdit(GroupBox6);
        e->setFixedWidth(width);
        return e;
    };
    Label9 = label(QStringLiteral("Адрес:"));
    ProxyHost = edit(121);
    Label12 = label(QStringLiteral("Порт:"));
    ProxyPort = edit(53);
    Label11 = label(QStringLiteral("Логин:"));
    ProxyUser = edit(121);
    Label13 = label(QStringLiteral("Пароль:"));
    ProxyPass = edit(121); // shown in clear text, as the page always has
    proxy->addWidget(Label9, 0, 0);
    proxy->addWidget(ProxyHost, 0, 1);
    proxy->addWidget(Label12, 0, 2);
    proxy->addWidget(ProxyPort, 0, 3);
    proxy->addWidget(Label11, 1, 0);
    proxy->addWidget(ProxyUser, 1, 1);
    proxy->addWidget(Label13, 1, 2);
    proxy->addWidget(ProxyPass, 1, 3);
    proxy->setColumnStretch(4, 1);
    layout->addWidget(GroupBox6);
    layout->addStretch(1);

    setTabOrder(ProgUpd, DataUpd);
    setTabOrder(DataUpd, ApiAddr);
    setTabOrder(ApiAddr, ProxyHost);
    setTabOrder(ProxyHost, ProxyPort);
    setTabOrder(ProxyPort, ProxyUser);
    setTabOrder(ProxyUser, ProxyPass);

    for (QLineEdit *e : {ProxyHost, ProxyPort, ProxyUser, ProxyPass})
        connect(e, &QLineEdit::textChanged, this, [this] { ChangeProxyVar(); });
    return page;
}

void TKalmedaRamuxMainForm::LoadOptions()
{
    // The core reads field by field: unreadable → default, NULL or no row → empty / unticked.
    const StoredOptions o = LoadStoredOptions(DBConn);
    ApiAddr->setText(o.updServ);
    ProgUpd->setChecked(o.progUpd);
    DataUpd->setChecked(o.dataUpd);
    ProxyHost->setText(o.proxyHost);
    ProxyPort->setText(o.proxyPort);
    ProxyUser->setText(o.proxyUser);
    ProxyPass->setText(o.proxyPass);
    // setText of an unchanged text fires nothing; the process-wide values follow the page anyway.
    ChangeProxyVar();
    loadUserSettings();
}

void TKalmedaRamuxMainForm::ChangeProxyVar()
{
    setProxyValues(ProxyValues{ProxyHost->text(), ProxyPort->text(), ProxyUser->text(), ProxyPass->text()});
}

void TKalmedaRamuxMainForm::SaveOptions()
{
    // Update-only mode never loaded the page: there is nothing of the user's to store.
    if (m_updateOnly || !DBConn.isOpen())
        return;
    StoredOptions o;
    o.updServ = ApiAddr->text();
    o.progUpd = ProgUpd->isChecked();
    o.dataUpd = DataUpd->isChecked();
    o.proxyHost = ProxyHost->text();
    o.proxyPort = ProxyPort->text();
    o.proxyUser = ProxyUser->text();
    o.proxyPass = ProxyPass->text();
    SaveStoredOptions(DBConn, o);
}

// The greeting page from the update server: fetched at start-up, stored for the next start
// and shown in the splash window at once.
#include "app/mainform.h"

#include "app/splashhooks.h"
#include "db/options.h"
#include "update/greeting.h"

#include <QLineEdit>

void TKalmedaRamuxMainForm::FetchGreetingPage()
{
    ShowStatus(QStringLiteral("Проверка связи с сервером..."));
    // The request lets window events run while it waits, so the address is read once, here.
    const GreetingResult result = RequestGreetingPage(ApiAddr->text());
    if (result.code == 0) {
        storeSplash(DBConn, result.page);
        ShowPage(result.page);
    } else if (result.code < 0) {
        ShowStatus(QStringLiteral("Невозможно соединиться с сервером..."));
    }
    // A FAIL answer from the server changes nothing.
}

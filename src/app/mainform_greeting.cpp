// The greeting page from the update server: arrives with the splash window.
#include "app/mainform.h"

void TKalmedaRamuxMainForm::FetchGreetingPage()
{
}

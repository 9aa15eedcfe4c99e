// No update run yet: the worker arrives with the update service.
#include "app/workerhook.h"

void StartUpdateWorker(TKalmedaRamuxMainForm *)
{
}

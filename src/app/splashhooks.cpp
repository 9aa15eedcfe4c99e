// Empty until the splash window exists; the start-up sequence already calls these at each step.
#include "app/splashhooks.h"

void ShowStatus(const QString &)
{
}

void ShowPage(const QString &)
{
}

void CloseSplash()
{
}

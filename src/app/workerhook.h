// Starts the background update run for the main window (step 5 of the program entry).
#pragma once

class TKalmedaRamuxMainForm;

void StartUpdateWorker(TKalmedaRamuxMainForm *window);

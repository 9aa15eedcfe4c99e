// Names and descriptions a screen reader speaks for the window's controls, lists and page
// views. The window names its widgets once they are built; a widget made later (the
// favourites' view) is named where it is made.
#pragma once

class QWidget;
class TKalmedaRamuxMainForm;

// Names every control the window has built so far; widgets not built yet are left alone.
void nameForScreenReaders(TKalmedaRamuxMainForm &window);

// The favourites page's view, which is made when the page is first shown.
void nameFavouritesView(QWidget *viewer);

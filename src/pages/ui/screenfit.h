// Pages on screen wrap to the view's width: a table never makes the view scroll sideways.
#pragma once

class QTextDocument;

// Fits every table of the laid-out page to the width it is shown at: a width the page fixed
// (or above 100 %) and fixed column widths give way to the content's, cells wrap although the
// page forbade it, and a word longer than a line breaks where it must. For the screen only:
// paper keeps the page as written.
void fitTablesToView(QTextDocument *document);

// The print button of the product page: the print dialog, then all pages or a page range.
#pragma once

#include <functional>

class QPrinter;
class QWidget;
class TPBearHTMLRenderer;

// Shows the print dialog for `printer` (print to file, page range 1..pageCount preset);
// returns false when the user cancels. Replaceable so tests can play the user; an empty
// function puts the real dialog back.
using PrintDialogFunction = std::function<bool(QPrinter &printer, int pageCount, QWidget *parent)>;
void setPrintDialogFunction(PrintDialogFunction function);

// BitBtn1Click: asks the dialog, then prints the view's page as the user chose.
void printViewWithDialog(TPBearHTMLRenderer &view, QWidget *parent);

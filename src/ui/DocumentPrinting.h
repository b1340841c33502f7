// Printing a report as a document: HTML (built with runs/ReportHtml, so
// outside text is never markup) laid out in pages of the printer, each
// with a footer of the document's title and "Page 2 of 5"; a table's
// header row repeats on every page it spans.
#pragma once

#include <QString>

class QPrinter;
class QWidget;

// Prints html on printer, which is ready to print (output chosen); footer
// names the document on every page. Throws EztException when the printer
// cannot print.
void PrintHtmlDocument(QPrinter& printer, const QString& html, const QString& footer);

// The print dialog over parent (ChoosePrinter), landscape chosen, then
// PrintHtmlDocument; a cancelled dialog prints nothing.
void PrintDocument(QWidget* parent, const QString& html, const QString& footer);

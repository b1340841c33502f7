// Printing a report or a log as plain text: the system's print dialog, then
// the text in the printer's default font. A form feed starts a new page, a
// tab advances to the next multiple of eight character columns, a line feed
// starts a new line, a carriage return is ignored, and a line wider than
// the page continues on the next line; the text is followed by one line end.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QPainter;
class QPrinter;
class QWidget;

// The pages of text as printed lines: fits tells whether a line fits the
// page width, linesPerPage how many lines a page holds (at least one). A
// form feed on an empty page starts no other page.
QList<QStringList> LayOutPlainText(const QString& text,
                                   const std::function<bool(const QString&)>& fits,
                                   int linesPerPage);

// Sets margins of at least half an inch and begins painter on printer.
// Throws EztException when the printer cannot print.
void BeginPrinting(QPrinter& printer, QPainter& painter);

// Prints text on printer, which is ready to print (output chosen). Throws
// EztException when the printer cannot print.
void PrintPlainText(QPrinter& printer, const QString& text);

// The print dialog over parent (ChoosePrinter), then PrintPlainText to the
// printer chosen; a cancelled dialog prints nothing.
void PrintText(QWidget* parent, const QString& text);

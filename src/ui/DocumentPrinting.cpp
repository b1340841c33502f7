#include "ui/DocumentPrinting.h"

#include "base/ztExceptions.h"
#include "base/ztFormat.h"
#include "ui/PlainTextPrinting.h"
#include "ui/UserDialogBoxes.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>

void PrintHtmlDocument(QPrinter& printer, const QString& html, const QString& footer) {
    QPainter painter;
    BeginPrinting(printer, painter);
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&printer);
    document.setHtml(html);
    const QRectF page = painter.viewport();
    QFont footerFont = document.defaultFont();
    footerFont.setPointSizeF(8);
    const QFontMetricsF footerMetrics(footerFont, &printer);
    const qreal footerHeight = footerMetrics.lineSpacing() * 2;
    const QSizeF body(page.width(), page.height() - footerHeight);
    document.setPageSize(body);
    const int pages = document.pageCount();
    for (int p = 0; p < pages; ++p) {
        if (p > 0 && !printer.newPage()) {
            painter.end();
            throw EztException(QStringLiteral("The printer could not start a new page"));
        }
        painter.save();
        painter.translate(0, -p * body.height());
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = QRectF(0, p * body.height(), body.width(), body.height());
        painter.setClipRect(context.clip);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        painter.setFont(footerFont);
        const QRectF footerRect(0, body.height() + footerMetrics.lineSpacing(), body.width(),
                                footerMetrics.lineSpacing());
        painter.drawText(footerRect, Qt::AlignLeft | Qt::AlignVCenter, footer);
        painter.drawText(footerRect, Qt::AlignRight | Qt::AlignVCenter,
                         Format("Page %d of %d", {p + 1, pages}));
    }
    if (!painter.end())
        throw EztException(QStringLiteral("The printer could not finish printing"));
}

void PrintDocument(QWidget* parent, const QString& html, const QString& footer) {
    QPrinter printer;
    // The reports' tables are wide; the dialog lets the user turn it back.
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!ChoosePrinter(parent, printer))
        return;
    PrintHtmlDocument(printer, html, footer);
}

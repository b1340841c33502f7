#include "ui/PlainTextPrinting.h"

#include "base/ztExceptions.h"
#include "ui/UserDialogBoxes.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

namespace {

constexpr int kTabColumns = 8;

// Collects printed lines into pages.
class TPageBuilder {
public:
    explicit TPageBuilder(int linesPerPage) : m_linesPerPage(qMax(1, linesPerPage)) {
        m_pages.append(QStringList());
    }
    void AddLine(const QString& line) {
        if (m_pages.back().size() >= m_linesPerPage)
            m_pages.append(QStringList());
        m_pages.back().append(line);
    }
    void NewPage() {
        if (!m_pages.back().isEmpty())
            m_pages.append(QStringList());
    }
    QList<QStringList> Pages() {
        if (m_pages.size() > 1 && m_pages.back().isEmpty())
            m_pages.removeLast();
        return m_pages;
    }

private:
    int m_linesPerPage;
    QList<QStringList> m_pages;
};

} // namespace

QList<QStringList> LayOutPlainText(const QString& text,
                                   const std::function<bool(const QString&)>& fits,
                                   int linesPerPage) {
    TPageBuilder pages(linesPerPage);
    QString line;
    // Appends one character, moving what does not fit to the next line.
    const auto put = [&](QChar c) {
        QString longer = line + c;
        if (!line.isEmpty() && !fits(longer)) {
            pages.AddLine(line);
            longer = QString(c);
        }
        line = longer;
    };
    // The text is followed by one line end.
    const QString printed = text + u'\n';
    for (const QChar c : printed) {
        switch (c.unicode()) {
        case u'\n':
            pages.AddLine(line);
            line.clear();
            break;
        case u'\r':
            break;
        case u'\f':
            if (!line.isEmpty())
                pages.AddLine(line);
            line.clear();
            pages.NewPage();
            break;
        case u'\t': {
            // Blanks up to the next tab stop; they may wrap like any text.
            const int blanks = kTabColumns - line.size() % kTabColumns;
            for (int i = 0; i < blanks; ++i)
                put(u' ');
            break;
        }
        default:
            put(c);
        }
    }
    return pages.Pages();
}

void BeginPrinting(QPrinter& printer, QPainter& painter) {
    // A printer's own margins are only what it can reach, a few millimetres
    // on most; half an inch keeps every line on the paper of any printer.
    constexpr qreal MinMarginMm = 12.7;
    const QMarginsF own = printer.pageLayout().margins(QPageLayout::Millimeter);
    printer.setPageMargins(QMarginsF(qMax(own.left(), MinMarginMm), qMax(own.top(), MinMarginMm),
                                     qMax(own.right(), MinMarginMm),
                                     qMax(own.bottom(), MinMarginMm)),
                           QPageLayout::Millimeter);
    if (!painter.begin(&printer)) {
        const QString target = printer.outputFileName().isEmpty()
                                   ? QStringLiteral(" on ") + printer.printerName()
                                   : QStringLiteral(" to ") + printer.outputFileName();
        throw EztException(QStringLiteral("The printer could not start printing") + target);
    }
}

void PrintPlainText(QPrinter& printer, const QString& text) {
    QPainter painter;
    BeginPrinting(printer, painter);
    const QFontMetrics metrics = painter.fontMetrics();
    const QRect page = painter.viewport();
    const int lineHeight = qMax(1, metrics.lineSpacing());
    const QList<QStringList> pages = LayOutPlainText(
        text, [&](const QString& line) { return metrics.horizontalAdvance(line) <= page.width(); },
        page.height() / lineHeight);
    for (int p = 0; p < pages.size(); ++p) {
        if (p > 0 && !printer.newPage()) {
            painter.end();
            throw EztException(QStringLiteral("The printer could not start a new page"));
        }
        int y = metrics.ascent();
        for (const QString& line : pages[p]) {
            painter.drawText(0, y, line);
            y += lineHeight;
        }
    }
    if (!painter.end())
        throw EztException(QStringLiteral("The printer could not finish printing"));
}

void PrintText(QWidget* parent, const QString& text) {
    QPrinter printer;
    if (!ChoosePrinter(parent, printer))
        return;
    PrintPlainText(printer, text);
}

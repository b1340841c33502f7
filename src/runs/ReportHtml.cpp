#include "runs/ReportHtml.h"

#include "base/vlxTextUtils.h"

QString HtmlText(const QString& text) {
    QString plain = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Line breaks stay breaks; every other control character is shown.
    QStringList lines = plain.split(u'\n');
    for (QString& line : lines)
        line = EscapeControlChars(line).toHtmlEscaped();
    return lines.join(QStringLiteral("<br>"));
}

QString HtmlDocumentStart(const QString& title) {
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") +
           HtmlText(title) +
           QStringLiteral("</title><style>"
                          "body{font-family:sans-serif;font-size:9pt}"
                          "h1{font-size:14pt}h2{font-size:11pt;margin-top:12pt}"
                          "table{border-collapse:collapse;margin-bottom:6pt}"
                          "td,th{border:1px solid #999;padding:2px 6px;vertical-align:top}"
                          "th{background-color:#e8e8e8;text-align:left}"
                          // Amounts and counts never break inside.
                          "td.n,th.n{text-align:right;white-space:nowrap}"
                          "table.fields td{border:none;padding:1px 6px}"
                          ".attention{color:#b00000}"
                          "</style></head><body>\n<h1>") +
           HtmlText(title) + QStringLiteral("</h1>\n");
}

QString HtmlDocumentEnd() {
    return QStringLiteral("</body></html>\n");
}

THtmlFields& THtmlFields::Add(const QString& label, const QString& value) {
    if (!value.isEmpty())
        m_rows += QStringLiteral("<tr><td><b>") + HtmlText(label) +
                  QStringLiteral("</b></td><td>") + HtmlText(value) +
                  QStringLiteral("</td></tr>\n");
    return *this;
}

QString THtmlFields::Html() const {
    return QStringLiteral("<table class=\"fields\">\n") + m_rows + QStringLiteral("</table>\n");
}

THtmlTable& THtmlTable::Column(const QString& title, bool right) {
    m_titles << title;
    m_right << right;
    return *this;
}

THtmlTable& THtmlTable::Row(const QStringList& cells, const QString& cssClass) {
    m_rows += cssClass.isEmpty()
                  ? QStringLiteral("<tr>")
                  : QStringLiteral("<tr class=\"") + cssClass + QStringLiteral("\">");
    for (qsizetype i = 0; i < cells.size(); ++i)
        m_rows += (m_right.value(i) ? QStringLiteral("<td class=\"n\" align=\"right\">")
                                    : QStringLiteral("<td>")) +
                  HtmlText(cells[i]) + QStringLiteral("</td>");
    m_rows += QStringLiteral("</tr>\n");
    return *this;
}

QString THtmlTable::Html() const {
    // The header row repeats on every printed page.
    QString h = QStringLiteral("<table cellspacing=\"0\"><thead><tr>");
    for (qsizetype i = 0; i < m_titles.size(); ++i)
        h += (m_right[i] ? QStringLiteral("<th class=\"n\" align=\"right\">")
                         : QStringLiteral("<th>")) +
             HtmlText(m_titles[i]) + QStringLiteral("</th>");
    return h + QStringLiteral("</tr></thead>\n") + m_rows + QStringLiteral("</table>\n");
}
